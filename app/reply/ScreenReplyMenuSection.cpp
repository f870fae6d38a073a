#include "reply/ScreenReplyMenuSection.h"

#include "base/Defaults.h"
#include "base/Localization.h"
#include "base/Log.h"

#include <QAction>

namespace murmelo {
namespace {

const QString SCREEN_REPLY_OCR_KEY = QStringLiteral("screenReply.ocrEnabled");
const QString PERMISSION_TITLE = QStringLiteral("Ответ на экран: разрешить снимок окна…");

QString screenReplyTitle() { return L(QStringLiteral("menu.screenReplyShot"), QStringLiteral("Ответ на экран: снимок окна")); }

QString titleFor(bool on, bool permitted) { return (!on || permitted) ? screenReplyTitle() : PERMISSION_TITLE; }

}  // namespace

bool ScreenReplyMenuSection::screenReplyOCREnabled() { return Defaults::shared().boolValue(SCREEN_REPLY_OCR_KEY); }

QList<MenuEntry> ScreenReplyMenuSection::entries() const {
    const bool on = screenReplyOCREnabled();
    return {MenuEntry::toggle("toggleScreenReplyOCR", titleFor(on, windowOCRHasPermission()), "text.viewfinder", on)};
}

void ScreenReplyMenuSection::trigger(const QString&, QAction* sender) {
    const bool on = screenReplyOCREnabled();
    if (!on || windowOCRHasPermission()) {
        const bool next = !on;
        Defaults::shared().set(SCREEN_REPLY_OCR_KEY, next);
        sender->setChecked(next);
        sender->setText(titleFor(next, windowOCRHasPermission()));
        return;
    }
    // On without permission: ask for it; the switch stays as it is.
    const bool granted = requestWindowOCRPermission();
    logLine(QStringLiteral("Ответ на экран: запрос разрешения на снимок экрана → ") +
            (granted ? QStringLiteral("true") : QStringLiteral("false")));
    if (!granted) openScreenCaptureSettings();
    sender->setText(windowOCRHasPermission() ? screenReplyTitle() : PERMISSION_TITLE);
}

void ScreenReplyMenuSection::refresh(StatusMenu& menu) {
    if (QAction* a = menu.action("toggleScreenReplyOCR")) {
        const bool on = screenReplyOCREnabled();
        a->setChecked(on);
        a->setText(titleFor(on, windowOCRHasPermission()));
    }
}

}  // namespace murmelo
