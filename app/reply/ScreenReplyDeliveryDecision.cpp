#include "reply/ScreenReplyDeliveryDecision.h"

#include "base/Defaults.h"
#include "base/Log.h"

namespace murmelo {

bool ScreenReplyAutoInsertPolicy::isEnabled() {
    return !Defaults::shared().contains(key) || Defaults::shared().boolValue(key);
}

void ScreenReplyAutoInsertPolicy::setEnabled(bool on) {
    Defaults::shared().set(key, on);
    logLine(QStringLiteral("Ответ на экран: вставка сразу в поле ") +
            (on ? QStringLiteral("включена") : QStringLiteral("выключена")));
}

namespace ScreenReplyDeliveryDecision {

ScreenReplyDelivery decide(bool autoInsertEnabled, qint32 targetPID, const FocusedFieldSnapshot& focus,
                           bool needsConfirmation, bool replyIsEmpty) {
    const bool insert = autoInsertEnabled && !replyIsEmpty && focus.frontmostPID == targetPID &&
                        focus.isEditableTextField && !focus.isSecure && !needsConfirmation;
    return insert ? ScreenReplyDelivery::insertIntoField : ScreenReplyDelivery::preview;
}

QString reason(bool autoInsertEnabled, qint32 targetPID, const FocusedFieldSnapshot& focus, bool needsConfirmation,
               bool replyIsEmpty) {
    if (!autoInsertEnabled) return QStringLiteral("настройка выключена");
    if (replyIsEmpty) return QStringLiteral("модель вернула пустой ответ — в поле не идём");
    if (!focus.frontmostPID) return QStringLiteral("не видно, какое приложение впереди");
    if (*focus.frontmostPID != targetPID)
        return QStringLiteral("впереди уже другое приложение (pid ") + QString::number(*focus.frontmostPID) +
               QStringLiteral(" вместо ") + QString::number(targetPID) + QStringLiteral(")");
    if (!focus.isEditableTextField) return QStringLiteral("курсор не в текстовом поле");
    if (focus.isSecure) return QStringLiteral("фокус в парольном поле");
    if (needsConfirmation) return QStringLiteral("у ответа есть предупреждение — читать до вставки");
    return QStringLiteral("вставляю сразу в поле");
}

}  // namespace ScreenReplyDeliveryDecision
}  // namespace murmelo
