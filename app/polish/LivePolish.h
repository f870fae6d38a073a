#pragma once
#include "platform/Accessibility.h"
#include "platform/MainQueue.h"
#include "polish/PolishDiff.h"
#include "polish/PolishResult.h"

#include <QSet>
#include <QString>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace murmelo {

class LayoutSwitcher;

// Removes the sentence marks (. ! ? …) a model appended at the very end of a text whose
// typed original did not end with one: an unfinished sentence stays unfinished.
QString stripAddedTerminator(const QString& raw, const QString& fixed);

// Polish of the sentence being typed, after a short pause in typing: the finished words of
// the current sentence go to the corrector and the merged answer is written back in place.
// Built complete but switched off by a constant (liveEnabled answers false), so in this
// product typing never schedules a tick. Shares the switcher's edit lock and key count.
// Main thread only.
class LivePolish {
public:
    static constexpr double POLISH_LIVE_QUIET = 0.35;
    static constexpr int POLISH_LIVE_MIN_CHARS = 12;
    static constexpr int POLISH_LIVE_MAX_CHARS = 100;
    static constexpr double POLISH_LIVE_COOLDOWN = 1.2;
    static constexpr double POLISH_LIVE_NOTE_EVERY = 30.0;

    // What the polish result step decides about one chunk, and what it answers.
    using Context = PolishContext;
    using FieldResult = PolishResultValue;

    // The rest of polish and the system, replaceable by tests. The result step, the typing of
    // a fix by keys, the underline marks, the journal and the card belong to the other half of
    // polish: until they are bound, the result step answers nothing (no write) and the others
    // say in the log that they did nothing.
    struct Steps {
        std::function<bool()> liveEnabled;
        std::function<bool()> polishEnabled;
        std::function<bool()> isRecording;
        std::function<double()> quiet;
        std::function<void(const QString& text, std::function<void(std::optional<QString>)> completion)>
            requestCorrection;
        std::function<Context(const QString& chunk, const QString& text, qint64 at)> polishContext;
        std::function<std::optional<FieldResult>(const QString& raw, const QString& model, const Context& context)>
            polishForField;
        std::function<bool(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                           const QString& want, const QString& tag, qint64 maxKeys, bool trustGap)>
            polishTypeFix;
        std::function<void(const AXElementPtr& el, qint64 base, const QString& before, const QString& after)> underline;
        std::function<void(const QString& rule, const QString& before, const QString& after, qint64 at,
                           std::optional<qint64> pid)>
            journalNote;
        std::function<bool()> cardEnabled;
        std::function<void(const std::vector<PolishDiff::Edit>& edits)> showCardEdits;
    };

    struct Scope {
        std::optional<AXRange> range;
        QString why;
    };

    explicit LivePolish(LayoutSwitcher& engine);
    ~LivePolish();
    LivePolish(const LivePolish&) = delete;
    LivePolish& operator=(const LivePolish&) = delete;

    // The application's live polish, over the application's switcher; made on first use.
    static LivePolish& shared();

    // Every key press of the user's own, after the switcher counted it: re-arms the tick.
    void notePolishLiveTyping();
    // Drops a pending tick (a dictation is starting).
    void cancelPolishLive();

    // The finished part of the sentence at the caret, or none and why.
    static Scope liveScope(const QString& text, qint64 caret);
    static std::optional<AXRange> liveSentenceRange(const QString& text, qint64 caret);

    // Capitalises the first word of the sentence at the caret; true when it wrote.
    bool liveCapitalize(const AXElementPtr& el, const QString& full, qint64 caret);

    bool hasPendingTick() const { return liveWork.isPending(); }

    Steps steps;

    TimerHandle liveWork;
    qint64 liveGen = 0;
    QString liveDone;
    std::optional<double> liveWroteAt;  // uptime
    QSet<QString> liveProduced;
    QString liveLastNote;
    std::optional<double> liveLastNoteAt;  // uptime
    std::optional<QString> liveCapPut;
    QSet<QString> liveCapVeto;

private:
    struct Request {
        quint64 typedGen = 0;
        QString chunk;
        Context context;
        AXRange range;
        AXElementPtr el;
        quint64 lockToken = 0;
    };

    void livePolishTick();
    void liveNote(const QString& reason);
    void handleAnswer(const Request& request, const std::optional<QString>& answer);
    void write(const Request& request, const FieldResult& result);
    void endCorrecting(const Request& request);

    LayoutSwitcher& engine_;
    std::optional<quint64> heldLock_;
    // Lets pending work notice that this object is gone.
    std::shared_ptr<LivePolish*> self_;
};

}  // namespace murmelo
