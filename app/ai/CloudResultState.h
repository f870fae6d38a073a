#pragma once
#include <QObject>
#include <QTextEdit>
#include <QPointer>
#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// What a producer hands to the result card. The callbacks are the only way a result leaves
// the card; each runs at most once, and none runs when the request is replaced or the card is
// closed by the program.
struct CloudResultRequest {
    QString title;
    QString meta;  // one line of context; empty: the card shows its keyboard hint there
    QString text;
    QString warning;
    bool needsConfirmation = false;
    QString primaryTitle;
    bool showsSecondaryCopy = true;
    bool showsPrimaryAction = true;
    bool compact = false;
    std::optional<QString> historyTitle;  // showing the card records (this, text) in the history
    std::function<void(const QString&)> onPrimary;
    std::function<void(const QString&)> onCopy;
    std::function<void()> onCancel;
};

// The card's model, shared by the window, the view and the text field. One instance serves
// every result and every error. Main thread only.
class CloudResultState : public QObject {
    Q_OBJECT
public:
    static constexpr double CARD_FLOOR = 76;

    QString title;
    QString meta;
    QString warning;
    bool needsConfirmation = false;
    QString primaryTitle;
    QString hint;
    bool isEditable = true;
    bool showsActions = true;
    bool showsSecondaryCopy = true;
    bool showsPrimaryAction = true;
    bool compact = false;
    bool showsSettings = false;
    bool edited = false;
    double cardHeight = CARD_FLOOR;
    QString incoming;  // the last text the window put on the card; typing does not change it
    qint64 revision = 0;
    // Whether the text on the card, trimmed, is empty: nothing to deliver then.
    bool textIsBlank = true;

    QPointer<QTextEdit> textView;  // the live text box, while one exists
    QString original;                   // the request's text; empty with no request on the card

    // The three forms.
    void fill(const CloudResultRequest& request);
    void fillError(const QString& message, bool offerSettings);
    // Puts a text on the card: the text box reloads it, edits are discarded.
    void setText(const QString& text);
    void revert();
    // After each change the user makes in the text box.
    void noteUserText(const QString& current);
    void setCardHeight(double height);
    // Tells the view that fields were written directly.
    void publish() { emit changed(); }

signals:
    void changed();
};

}  // namespace murmelo
