#include "linux/QtWindowCapture.h"

#include "linux/XErrorTrap.h"

#include <QGuiApplication>
#include <QPixmap>
#include <QScreen>
#include <X11/Xlib.h>

namespace murmelo::linuxdesktop {

QtWindowCapture::QtWindowCapture(const QString& displayName) : displayName_(displayName.toLocal8Bit()) {}

QtWindowCapture::~QtWindowCapture() {
    if (dpy_) XCloseDisplay(dpy_);
}

WindowCapture::Result QtWindowCapture::capture(quint64 windowId, QSize pixelSize) {
    {
        std::lock_guard lock(lock_);
        if (!dpy_) dpy_ = XOpenDisplay(displayName_.isEmpty() ? nullptr : displayName_.constData());
        if (!dpy_) return {QImage(), QStringLiteral("нет соединения с X-сервером")};
        XErrorTrap trap(dpy_);
        XWindowAttributes attrs;
        const bool ok = XGetWindowAttributes(dpy_, static_cast<Window>(windowId), &attrs);
        if (trap.finish() || !ok) return {QImage(), QStringLiteral("окна больше нет (") + trap.describe() + QLatin1Char(')')};
        if (attrs.map_state != IsViewable) return {QImage(), QStringLiteral("окно не показано на экране")};
    }
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen) return {QImage(), QStringLiteral("нет экрана")};
    const QPixmap shot = screen->grabWindow(static_cast<WId>(windowId));
    if (shot.isNull()) return {QImage(), QStringLiteral("X-сервер не отдал изображение окна")};
    return {shot.toImage().scaled(pixelSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), {}};
}

}  // namespace murmelo::linuxdesktop
