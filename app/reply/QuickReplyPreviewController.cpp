#include "reply/QuickReplyPreviewController.h"

#include "ai/CloudResultWindow.h"
#include "ai/QuickReplyCoordinator.h"
#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "input/ClipboardManager.h"
#include "input/ClipboardPaste.h"
#include "platform/MainQueue.h"
#include "platform/Pasteboard.h"
#include "platform/Workspace.h"
#include "reply/FocusedFieldProbe.h"
#include "stats/MonthlyStats.h"

namespace murmelo {

QuickReplyPreviewController& QuickReplyPreviewController::shared() {
    static QuickReplyPreviewController controller;
    return controller;
}

void QuickReplyPreviewController::showResult(const QuickReplyResult& result, qint32 targetPID,
                                             const std::optional<QString>& contextLabel) {
    MonthlyStats::noteQuickReply();
    const QString fallback = L(QStringLiteral("result.title.screenReply"), QStringLiteral("Ответ по содержимому экрана"));
    // The user decides after reading, so neither the auto-insert setting nor the warning
    // matters here: only whether a paste would land in an ordinary field of the target.
    const FocusedFieldSnapshot focus = FocusedFieldProbe::snapshot(targetPID);
    const bool canInsert = focus.frontmostPID == targetPID && focus.isEditableTextField && !focus.isSecure;

    CloudResultRequest request;
    request.title = QuickReplyCoordinator::normalizedDisplayTitle(result.actionTitle, fallback);
    request.meta = contextLabel.value_or(QStringLiteral("Ondrix"));
    request.text = result.reply;
    request.warning = result.warning;
    request.needsConfirmation = result.needsConfirmation;
    request.primaryTitle = L(QStringLiteral("result.insert"), QStringLiteral("Вставить"));
    request.showsSecondaryCopy = true;
    request.showsPrimaryAction = canInsert;
    request.compact = false;
    request.historyTitle = result.actionTitle;
    request.onPrimary = [this, targetPID](const QString& text) { insert(text, targetPID); };
    request.onCopy = [this](const QString& text) {
        putOnClipboard(text);
        logLine(QStringLiteral("Ответ: скопирован пользователем (") + QString::number(graphemeCount(text)) +
                QStringLiteral(" симв.)"));
    };
    request.onCancel = [] {};
    CloudResultWindow::shared().show(request);
}

void QuickReplyPreviewController::showError(const QString& message, bool offerSettings) {
    CloudResultWindow::shared().showError(message, offerSettings);
}

void QuickReplyPreviewController::cancel() { CloudResultWindow::shared().close(); }

bool QuickReplyPreviewController::isVisible() const { return CloudResultWindow::shared().isVisible(); }

void QuickReplyPreviewController::insert(const QString& text, qint32 pid) {
    Workspace& workspace = Workspace::shared();
    const auto app = workspace.runningApplication(pid);
    if (!app || !workspace.isRunning(*app)) {
        putOnClipboard(text);
        logLine(QStringLiteral("Ответ: приложение-адресат исчезло (pid ") + QString::number(pid) +
                QStringLiteral(") — результат положен в буфер"));
        showError(L(QStringLiteral("quickReply.targetClosed"),
                    QStringLiteral("Приложение, куда отвечали, закрыто. Ответ скопирован в буфер — вставь вручную.")),
                  false);
        return;
    }
    workspace.activate(*app);
    logLine(QStringLiteral("Quick Reply: пользователь подтвердил вставку (") + QString::number(graphemeCount(text)) +
            QStringLiteral(" симв.)"));
    MainQueue::shared().after(insertDelay, [this, text, pid] {
        // The window manager may refuse the activation, or the user may have moved on: a
        // paste now would land in whatever is in front, so the reply goes to the clipboard.
        const auto front = Workspace::shared().frontmostApplication();
        if (!front || front->pid != pid) {
            putOnClipboard(text);
            logLine(QStringLiteral("Ответ: приложение-адресат не впереди (pid ") +
                    (front ? QString::number(front->pid) : QStringLiteral("—")) + QStringLiteral(" вместо ") +
                    QString::number(pid) + QStringLiteral(") — результат положен в буфер"));
            showError(L(QStringLiteral("quickReply.targetNotFront"),
                        QStringLiteral("Приложение, куда отвечали, не вышло вперёд. Ответ скопирован в буфер — "
                                       "вставь вручную.")),
                      false);
            return;
        }
        pasteViaClipboard(text, TextWriteOrigin::quickReply);
    });
}

void QuickReplyPreviewController::putOnClipboard(const QString& text) {
    Pasteboard& board = Pasteboard::general();
    ClipboardManager::shared().writeInternally([&] {
        board.clearContents();
        PasteboardItem item;
        item.setData(Pasteboard::plainTextType, text.toUtf8());
        board.writeItems({item});
    });
    // The reply does appear once in the clipboard history.
    ClipboardManager::shared().capture(text);
}

}  // namespace murmelo
