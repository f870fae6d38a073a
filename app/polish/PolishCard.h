#pragma once
#include "platform/MainQueue.h"
#include "polish/PolishDiff.h"

#include <QPointF>
#include <QRectF>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <memory>
#include <optional>
#include <vector>

class QWidget;

namespace murmelo {

// What the polish card shows: its title, a note or the changed words (old struck through, an
// arrow, new), the count of word edits left out, the one-line summary of the other edits and
// the undo hint. Its colours follow the light or dark appearance.
struct PolishCardBody {
    bool dark = false;
    std::optional<QString> note;
    std::vector<PolishDiff::Edit> words;
    int more = 0;
    QString summary;
    bool showsUndo = false;

    PolishCardBody(std::optional<QString> note, std::vector<PolishDiff::Edit> words, int more, QString summary,
                   bool showsUndo, bool dark = false);

    // The texts from top to bottom; a word row reads "before → after".
    QStringList lines() const;
    // The card's content on the card surface, sized to fit.
    QWidget* makeView() const;
};

// The small card in the bottom-right corner of the screen under the pointer that tells what a
// polish changed, or why it changed nothing. It ignores the mouse, never takes focus and hides
// itself after 4 s (a short note after 1.6 s). Cards are built on a later turn of the main
// queue. Main thread only.
class PolishCardController {
public:
    static constexpr int maxRows = 6;
    static constexpr double lifetime = 4.0;
    static constexpr double shortLife = 1.6;

    // Whether a lowercased word is a Russian word form: only such a word replaced by another
    // earns a card. The program's is RuFormsWordForms; tests answer their own.
    class WordForms {
    public:
        virtual ~WordForms() = default;
        virtual bool isKnownForm(const QString& word) = 0;
    };

    explicit PolishCardController(WordForms& forms);
    ~PolishCardController();
    PolishCardController(const PolishCardController&) = delete;
    PolishCardController& operator=(const PolishCardController&) = delete;

    static PolishCardController& shared();
    static void install(PolishCardController* controller);

    // A card only when a known word was replaced by another; otherwise a log line.
    void show(const std::vector<PolishDiff::Edit>& edits);
    void showNote(const QString& note, bool isShort = false);
    void hide();

    // The card's origin in the bottom-left-origin model, inside the visible frame of a screen.
    static QPointF cardOrigin(const std::optional<QRectF>& visibleFrame, const QSizeF& size);

    // Texts of cards kept back while the switcher's test stand drives the engine.
    static QStringList& standCards();
    static void resetStandCards();

    bool isShowing() const { return panel_ != nullptr; }
    QWidget* panel() const { return panel_.get(); }
    const std::optional<PolishCardBody>& currentBody() const { return body_; }

private:
    void build(const std::vector<PolishDiff::Edit>& edits, const std::optional<QString>& note,
               std::optional<double> life);

    WordForms& forms_;
    std::unique_ptr<QWidget> panel_;
    TimerHandle hideWork_;
    std::optional<PolishCardBody> body_;
    std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

// The Russian word-form lexicon of the layout models.
class RuFormsWordForms final : public PolishCardController::WordForms {
public:
    bool isKnownForm(const QString& word) override;
};

}  // namespace murmelo
