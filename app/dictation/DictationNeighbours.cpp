#include "dictation/DictationNeighbours.h"

#include "base/Unbuilt.h"
#include "dictation/DictationHistory.h"
#include "dictation/DictationPreparation.h"
#include "dictation/OndrixBridge.h"
#include "dictation/VoiceCommands.h"
#include "dictation/WhisperReply.h"
#include "dictation/ServerManager.h"
#include "dictation/TranscriptionPipeline.h"
#include "input/DictationDelivery.h"
#include "platform/Workspace.h"
#include "ui/AppState.h"

namespace murmelo {

QString rawValue(ReplyTaskKind kind) {
    switch (kind) {
    case ReplyTaskKind::reply: return QStringLiteral("reply");
    case ReplyTaskKind::compose: return QStringLiteral("compose");
    case ReplyTaskKind::translate: return QStringLiteral("translate");
    case ReplyTaskKind::automatic: return QStringLiteral("auto");
    }
    return QStringLiteral("auto");
}

std::optional<ReplyTaskKind> replyTaskKindFromRaw(const QString& raw) {
    for (const auto kind : {ReplyTaskKind::reply, ReplyTaskKind::compose, ReplyTaskKind::translate,
                            ReplyTaskKind::automatic})
        if (rawValue(kind) == raw) return kind;
    return std::nullopt;
}

std::optional<DictationContext> DictationContext::current() {
    const auto front = Workspace::shared().frontmostApplication();
    if (!front) return std::nullopt;
    DictationContext c;
    c.bundleID = front->bundleIdentifier.isEmpty() ? QStringLiteral("pid.") + QString::number(front->pid)
                                                   : front->bundleIdentifier;
    c.appName = front->localizedName.isEmpty() ? QStringLiteral("Приложение") : front->localizedName;
    return c;
}

DictationNeighbours& DictationNeighbours::shared() {
    if (DictationNeighbours* installed = installedService<DictationNeighbours>()) return *installed;
    qFatal("dictation: no neighbours installed — the shell makes them at start-up");
}

DictationNeighbours::DictationNeighbours(DictationPolish& polish) : polish(polish) {
    transcribeAndPaste = [](const StoppedTake& take, std::function<void(DictationVisualCompletion)> completion) {
        murmelo::transcribeAndPaste(take, std::move(completion));
    };
    addToHistory = [](const QString& text) { murmelo::addToHistory(text); };

    recognitionEndpoint = [] { return SERVER(); };
    postRecognition = [](const QUrl& url, const QByteArray& contentType, const QByteArray& body) {
        return loopbackHttp("POST", url, contentType, body, WhisperRequest::DICTATION_TIMEOUT,
                            WhisperRequest::DICTATION_TIMEOUT, {}, MAX_REPLY_BYTES);
    };
    reviveServer = [] { ServerManager::shared().reviveIfNeeded(); };
    waitServerReady = [](double timeout) { return ServerManager::shared().waitReady(timeout); };

    // Without the trigger phrases every non-blank command-hotkey dictation is an "auto" task.
    replyTriggerByKey = [say = unbuilt("replyTriggerByKey")](const QString& text) -> std::optional<ReplyCommand> {
        say();
        const QString trimmed = text.trimmed();
        if (trimmed.isEmpty()) return std::nullopt;
        return ReplyCommand{ReplyTaskKind::automatic, trimmed};
    };
    replyTriggerDetect = [say = unbuilt("replyTriggerDetect")](const QString&, const std::optional<QString>&)
        -> std::optional<ReplyCommand> {
        say();
        return std::nullopt;
    };
    screenReplyStart = [say = unbuilt("screenReplyStart")](const ReplyCommand&, const std::optional<ReplyTarget>&) {
        say();
        AppState::shared().idle();
    };
    bridgeIsAddressed = [](const QString& text) { return OndrixBridge::shared().isAddressed(text); };
    bridgeRouteIfAddressed = [](const QString& text, std::function<void(bool)> done) {
        OndrixBridge::shared().routeIfAddressed(text, std::move(done));
    };
    dictationPrompt = [](const std::optional<DictationContext>& context) { return dictationVocabularyPrompt(context); };
    prepareDictationForDelivery = [](const QString& text, const std::optional<DictationContext>& context,
                                     SmartCleanupMode mode, const std::optional<QString>& language) {
        return murmelo::prepareDictationForDelivery(text, context, mode, language);
    };
    deliverDictation = [](const QString& text) { murmelo::deliverDictation(text); };
}

}  // namespace murmelo
