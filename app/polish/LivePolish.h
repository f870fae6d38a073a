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

    // What live polish asks of the rest of polish and of the system: its switches, the
    // corrector, the result step, the typing of a fix by keys, the underline marks, the journal
    // and the card. The application's are ApplicationLivePolishParts; tests answer their own.
    class Parts {
    public:
        virtual ~Parts() = default;
        virtual bool liveEnabled() = 0;
        virtual bool polishEnabled() = 0;
        virtual bool isRecording() = 0;
        // Seconds of quiet in typing before a tick.
        virtual double quiet() = 0;
        // The completion hears the corrector's answer once, none when it gave none.
        virtual void requestCorrection(const QString& text, std::function<void(std::optional<QString>)> completion) = 0;
        virtual Context polishContext(const QString& chunk, const QString& text, qint64 at) = 0;
        virtual std::optional<FieldResult> polishForField(const QString& raw, const QString& model,
                                                          const Context& context) = 0;
        virtual bool polishTypeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret,
                                   const QString& have, const QString& want, const QString& tag, qint64 maxKeys,
                                   bool trustGap) = 0;
        virtual void underline(const AXElementPtr& el, qint64 base, const QString& before, const QString& after) = 0;
        virtual void journalNote(const QString& rule, const QString& before, const QString& after, qint64 at,
                                 std::optional<qint64> pid) = 0;
        virtual bool cardEnabled() = 0;
        virtual void showCardEdits(const std::vector<PolishDiff::Edit>& edits) = 0;
    };

    struct Scope {
        std::optional<AXRange> range;
        QString why;
    };

    LivePolish(LayoutSwitcher& engine, Parts& parts);
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
    Parts& parts_;
    std::optional<quint64> heldLock_;
    // Lets pending work notice that this object is gone.
    std::shared_ptr<LivePolish*> self_;
};

// Live polish's parts as the application has them.
class ApplicationLivePolishParts final : public LivePolish::Parts {
public:
    explicit ApplicationLivePolishParts(PolishProtectedWords& words) : words_(words) {}
    bool liveEnabled() override;
    bool polishEnabled() override;
    bool isRecording() override;
    double quiet() override;
    void requestCorrection(const QString& text, std::function<void(std::optional<QString>)> completion) override;
    LivePolish::Context polishContext(const QString& chunk, const QString& text, qint64 at) override;
    std::optional<LivePolish::FieldResult> polishForField(const QString& raw, const QString& model,
                                                          const LivePolish::Context& context) override;
    bool polishTypeFix(const AXElementPtr& el, const QString& value, AXRange fix, qint64 caret, const QString& have,
                       const QString& want, const QString& tag, qint64 maxKeys, bool trustGap) override;
    void underline(const AXElementPtr& el, qint64 base, const QString& before, const QString& after) override;
    void journalNote(const QString& rule, const QString& before, const QString& after, qint64 at,
                     std::optional<qint64> pid) override;
    bool cardEnabled() override;
    void showCardEdits(const std::vector<PolishDiff::Edit>& edits) override;

private:
    PolishProtectedWords& words_;
};

}  // namespace murmelo
