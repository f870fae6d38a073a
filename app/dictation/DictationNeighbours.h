#pragma once
#include "base/Unbuilt.h"
#include "platform/Service.h"

#include <QString>
#include <functional>
#include <optional>

namespace murmelo {

// The application a dictation was started in, taken at the press.
struct DictationContext {
    QString bundleID;
    QString appName;
    bool operator==(const DictationContext&) const = default;
    // The front application ("pid." + its process id without an id, "Приложение" without a
    // name); none when no application is in front.
    static std::optional<DictationContext> current();
};

// The application a screen reply would go to, taken at the press.
struct ReplyTarget {
    qint32 pid = 0;
    QString bundleID;
    QString appName;
    bool operator==(const ReplyTarget&) const = default;
};

// How a dictation ended for the eye: the indicator goes idle, shows a short success, or is
// left to whoever still runs (the pipeline, a screen reply).
enum class DictationVisualCompletion { idle, succeeded, continues };

// A stopped take, handed on with everything its press described.
struct StoppedTake {
    QString path;
    std::optional<DictationContext> context;
    std::optional<ReplyTarget> replyTarget;
    bool commandMode = false;
    // How much of the file to keep, from its start: up to the noted release plus the tail
    // pad. Travels with the take, so a later press cannot change it.
    std::optional<double> trimSeconds;
    // The timing measurement this take's stop began.
    quint64 timing = 0;
};

// What recording control needs of the subsystems above it and of the stages after the
// recording. Each of them fills its entries when it is built; until then an entry answers
// its empty value, or does nothing and says so once in the log (cancelling stays silent).
struct DictationNeighbours {
    static DictationNeighbours& shared() { return sharedService<DictationNeighbours>(); }
    DictationNeighbours();

    // Onboarding: true while the first model is still being prepared (it logs and shows
    // itself); the press then starts nothing.
    std::function<bool()> deferVoiceInputUntilModelReady = [] { return false; };
    // Vocabulary: whether the application has a vocabulary of its own; one use counted.
    std::function<bool(const QString& bundleID)> appHasOwnVocab = [](const QString&) { return false; };
    std::function<void(const std::optional<DictationContext>&)> appVocabNoteUse =
        unbuilt<const std::optional<DictationContext>&>("appVocabNoteUse");
    // Screen reply.
    std::function<std::optional<ReplyTarget>()> replyTargetCurrent = [] { return std::nullopt; };
    std::function<bool()> screenReplyIsGenerating = [] { return false; };
    std::function<void()> screenReplyCancel = [] {};
    std::function<void()> quickReplyPreviewCancel = [] {};
    // Polish: drops a pending live polish.
    std::function<void()> cancelPolishLive = [] {};
    // The transcription of a stopped take; reports its visual outcome once.
    std::function<void(const StoppedTake&, std::function<void(DictationVisualCompletion)>)> transcribeAndPaste;
    // The dictation history.
    std::function<void(const QString& text)> addToHistory;
};

}  // namespace murmelo
