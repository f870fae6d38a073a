#pragma once
#include "ai/CloudResultState.h"
#include "ui/Water.h"

#include <QList>
#include <QTextEdit>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QHBoxLayout;
class QVBoxLayout;

namespace murmelo {

// Sizes shared by the card's view and its window.
namespace CloudResultMetrics {
inline constexpr double minWidth = 420;
inline constexpr double compactMinWidth = 340;
inline constexpr double readingMaxWidth = 620;
inline constexpr double textInset = 14;
inline constexpr double compactActionInset = 38;
inline constexpr double textFontSize = 14;
inline constexpr double lineSpacing = 5;
inline constexpr double paragraphSpacing = 6;
}  // namespace CloudResultMetrics

enum class CloudResultAction { primary, copy, cancel, revert, settings };

struct CloudResultButton {
    CloudResultAction action = CloudResultAction::primary;
    QString title;    // empty for an icon button
    QString icon;     // symbol name
    QString tooltip;  // empty: none
    bool accent = false;
    bool enabled = true;
    bool operator==(const CloudResultButton&) const = default;
};

// What the card shows for a state: the rows, their texts and the buttons in order.
struct CloudResultLayout {
    bool compact = false;
    bool header = false;  // title, status dot, context line and close button
    QString title;
    QString contextLine;
    bool dotIsWarning = false;
    std::optional<QString> warningRow;
    bool warningIsWarning = false;
    bool editedRow = false;                 // with the revert button
    QList<CloudResultButton> buttons;       // the actions row, or the compact icons
    std::optional<QString> compactWarning;  // the compact card's warning icon tooltip
    bool textEditable = true;
    double textBottomInset = 0;

    static CloudResultLayout of(const CloudResultState& state);
};

// The card's text box: plain text at 14 pt with the reading spacing, reloaded only when the
// state's revision moves (caret at the end), reporting the user's edits to the state.
class CloudResultTextField : public QTextEdit {
public:
    CloudResultTextField(CloudResultState& state, const Water& w, QWidget* parent = nullptr);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    void update(const CloudResultLayout& layout);

private:
    CloudResultState& st_;
    qint64 applied_ = -1;
};

// The card: draws the state, hands clicks and keys (Esc, Ctrl+Return) to the actions.
class CloudResultView : public QWidget {
public:
    CloudResultView(CloudResultState& state, const Water& w, std::function<void(CloudResultAction)> act,
                    QWidget* parent = nullptr);
    void rebuild();
    // The height the card takes at this width, laid out.
    int heightAtWidth(int width);
    CloudResultTextField* textField() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    bool handleKey(QKeyEvent* event);
    QWidget* button(const CloudResultButton& b);
    void clearRows();

    CloudResultState& st_;
    Water w_;
    std::function<void(CloudResultAction)> act_;
    CloudResultLayout shown_;
    bool built_ = false;
    QVBoxLayout* column_ = nullptr;
    CloudResultTextField* text_ = nullptr;
    QWidget* textBox_ = nullptr;
    QList<QWidget*> rows_;       // rebuilt on every change of the layout
    QWidget* overlay_ = nullptr; // the compact icons over the text box
};

// The text of a symbol name, drawn as a glyph of the interface font.
QString cloudResultGlyph(const QString& symbolName);

}  // namespace murmelo
