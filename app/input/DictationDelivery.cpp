#include "input/DictationDelivery.h"
#include "base/Graphemes.h"

#include "base/Log.h"
#include "input/ClipboardPaste.h"
#include "input/DeliveryAudit.h"
#include "input/SecureInput.h"
#include "input/SyntheticInputPostGate.h"
#include "input/UnicodeSender.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

namespace murmelo {

DictationInsertionRoute dictationInsertionRoute(const QString& text, bool clipboardMode) {
    if (text.contains(QChar('\n'))) return DictationInsertionRoute::clipboard;
    if (text.contains(QChar('\r')) || clipboardMode || graphemeCount(text) > DIRECT_TYPING_MAX_CHARS)
        return DictationInsertionRoute::clipboard;
    return DictationInsertionRoute::directUnicode;
}

void pasteText(const QString& text, TextWriteOrigin origin) {
    if (text.trimmed().isEmpty()) {
        logLine(QStringLiteral("⚠ вставка отменена: пустой текст (буфер не тронут)"));
        return;
    }
    switch (SecureInput::pasteVerdict()) {
    case SecureInput::WriteVerdict::denySecureField:
        logLine(QStringLiteral("⚠ вставка отменена: поле под кареткой парольное (HC-02 у вставки) - надиктовка осталась в истории"));
        return;
    case SecureInput::WriteVerdict::denyBlindAX:
        logLine(QStringLiteral("⚠ вставка отменена: скрытый ввод активен, а поле не опознать (AX молчит) - возможен пароль, "
                               "не рискуем; надиктовка осталась в истории"));
        return;
    case SecureInput::WriteVerdict::allow: break;
    }
    if (dictationInsertionRoute(text, isRemotePasteActive()) == DictationInsertionRoute::clipboard) {
        pasteViaClipboard(text, origin);
        return;
    }
    std::optional<DeliveryRepair::FieldSnapshot> before;
    if (!DeliveryAudit::hasCorrectionSink()) before = DeliveryRepair::snapshotFocusedField();
    const double started = Clock::shared().uptime();
    const auto token = sendUnicode(text, origin);
    const qint64 ms = qint64((Clock::shared().uptime() - started) * 1000.0);
    const int n = graphemeCount(text);
    QString line = QStringLiteral("вставка: напечатано ") + QString::number(n) + QStringLiteral(" симв. напрямую (без буфера) за ") +
                   QString::number(ms) + QStringLiteral(" мс");
    if (ms >= 501) line += QStringLiteral(" — ДОЛГО, это ") + QString::number(ms / n) + QStringLiteral(" мс на символ");
    logLine(line);
    QString app = QStringLiteral("?");
    if (auto front = Workspace::shared().frontmostApplication(); front && !front->localizedName.isEmpty())
        app = front->localizedName;
    DeliveryAudit::auditDictationDelivery(text, app, token, before, 0);
}

}  // namespace murmelo
