#pragma once
#include "base/Unbuilt.h"
#include "cleanup/SmartCleanupEngine.h"
#include "dictation/DictationPolish.h"
#include "dictation/LoopbackHttp.h"
#include "platform/Service.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QStringList>
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

// The application a screen reply would go to, taken at the press. current() and isAlive are
// screen reply's (app/reply/ReplyTarget.cpp): only it and the shell, which link it, call them.
struct ReplyTarget {
    qint32 pid = 0;
    QString bundleID;
    QString appName;
    bool operator==(const ReplyTarget&) const = default;

    // The front application; none when nothing is in front, when it is this process, or when
    // it never takes a reply (notATarget). Main thread.
    static std::optional<ReplyTarget> current();
    // Whether the process still runs (a zombie does not). Any thread.
    bool isAlive() const;
    // Application ids that never receive a reply: system prompts, password dialogs, lockers.
    static const QStringList& notATarget();
};

// The task a screen-reply command asks for; the raw value goes into log lines and prompts.
// `automatic` is "auto": no trigger phrase, the model infers the task from the intent.
enum class ReplyTaskKind { reply, compose, translate, automatic };
QString rawValue(ReplyTaskKind kind);
std::optional<ReplyTaskKind> replyTaskKindFromRaw(const QString& raw);

// A screen-reply task: its kind and the spoken intent.
struct ReplyCommand {
    ReplyTaskKind kind = ReplyTaskKind::automatic;
    QString intent;
    bool operator==(const ReplyCommand&) const = default;
};

// A dictation made ready for delivery: the recognised text, the text after learned
// replacements, the clean-up output, its trace and the labels of what changed.
struct PreparedDictation {
    QString sourceText;
    QString learnedText;
    QString outputText;
    QList<SmartCleanupTrace> cleanupTrace;
    QStringList changes;
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
// recording. Polish, which is built, comes as its port at construction. Each of the others
// fills its entries when it is built; until then an entry answers its empty value, or does
// nothing and says so once in the log (cancelling stays silent).
struct DictationNeighbours {
    // The installed neighbours: the shell's in the program, a test's own in tests. Asked for
    // with none installed, the program stops with a line that says so.
    static DictationNeighbours& shared();
    explicit DictationNeighbours(DictationPolish& polish);

    DictationPolish& polish;

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
    // The transcription of a stopped take; reports its visual outcome once.
    std::function<void(const StoppedTake&, std::function<void(DictationVisualCompletion)>)> transcribeAndPaste;
    // The dictation history.
    std::function<void(const QString& text)> addToHistory;

    // Routing of a recognised text.
    // Screen reply: the command of a command-hotkey dictation (an "auto" task with the whole
    // text when no trigger phrase is recognised), a spoken trigger in an ordinary one.
    std::function<std::optional<ReplyCommand>(const QString& text)> replyTriggerByKey;
    std::function<std::optional<ReplyCommand>(const QString& text, const std::optional<QString>& bundleID)>
        replyTriggerDetect;
    // The screen reply drives the indicator from its start on; until it is built, the
    // indicator goes back to rest so that it does not wait for a reply that never comes.
    std::function<void(const ReplyCommand&, const std::optional<ReplyTarget>&)> screenReplyStart;
    // Voice bridge: whether the text addresses the companion; the hand-over answers on the
    // main thread whether the companion took it.
    std::function<bool(const QString& text)> bridgeIsAddressed;
    std::function<void(const QString& text, std::function<void(bool delivered)>)> bridgeRouteIfAddressed;
    // Where recognition requests go, and the recognition server's revival after it died.
    std::function<QUrl()> recognitionEndpoint;
    // One recognition request (url, content type, body); blocks, never on the main thread.
    std::function<HttpResult(const QUrl&, const QByteArray&, const QByteArray&)> postRecognition;
    std::function<void()> reviveServer;
    std::function<bool(double timeout)> waitServerReady;  // blocks; never on the main thread
    // The vocabulary prompt of a dictation's request (empty: no prompt).
    std::function<QString(const std::optional<DictationContext>&)> dictationPrompt;
    // Preparation: spoken mode trigger, term snapping, learned replacements, then the
    // clean-up engine in the mode.
    std::function<PreparedDictation(const QString& text, const std::optional<DictationContext>&, SmartCleanupMode,
                                    const std::optional<QString>& language)>
        prepareDictationForDelivery;
    // The last delivered dictation, for the flow that corrects it.
    std::function<void(const QString& source, const QString& delivered, const std::optional<DictationContext>&,
                       SmartCleanupMode)>
        learningRecordLast = unbuilt<const QString&, const QString&, const std::optional<DictationContext>&,
                                     SmartCleanupMode>("learningRecordLast");
    // Runs a voice command or inserts the text.
    std::function<void(const QString& text)> deliverDictation;
};

}  // namespace murmelo
