#include "reply/ScreenReplyCoordinator.h"

#include "base/Log.h"
#include "input/ClipboardPaste.h"
#include "reply/FocusedFieldProbe.h"
#include "reply/QuickReplyPreviewController.h"
#include "reply/ScreenReplyDeliveryDecision.h"

namespace murmelo {

ScreenReplyCoordinator& ScreenReplyCoordinator::shared() {
    static ScreenReplyCoordinator coordinator;
    return coordinator;
}

void ScreenReplyCoordinator::deliver(const QuickReplyResult& result, qint32 targetPID,
                                     const std::optional<QString>& contextLabel) {
    const bool enabled = ScreenReplyAutoInsertPolicy::isEnabled();
    const FocusedFieldSnapshot focus = enabled ? FocusedFieldProbe::snapshot(targetPID) : FocusedFieldSnapshot::unknown();
    const bool empty = result.reply.trimmed().isEmpty();
    const ScreenReplyDelivery delivery =
        ScreenReplyDeliveryDecision::decide(enabled, targetPID, focus, result.needsConfirmation, empty);
    const QString reason = ScreenReplyDeliveryDecision::reason(enabled, targetPID, focus, result.needsConfirmation, empty);
    if (delivery == ScreenReplyDelivery::insertIntoField) {
        logLine(QStringLiteral("Ответ на экран: ") + reason + QStringLiteral(" — ") + priv(result.reply));
        pasteViaClipboard(result.reply, TextWriteOrigin::screenReply);
        return;
    }
    logLine(QStringLiteral("Ответ на экран: предпросмотр — ") + reason);
    QuickReplyPreviewController::shared().showResult(result, targetPID, contextLabel);
}

}  // namespace murmelo
