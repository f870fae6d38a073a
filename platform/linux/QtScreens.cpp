#include "linux/QtScreens.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <X11/Xlib.h>

namespace murmelo::linuxdesktop {

QtScreens::QtScreens(const QString& displayName) {
    const QByteArray name = displayName.toLocal8Bit();
    dpy_ = XOpenDisplay(displayName.isEmpty() ? nullptr : name.data());
    auto* app = qobject_cast<QGuiApplication*>(QCoreApplication::instance());
    if (!app) return;
    for (QScreen* s : QGuiApplication::screens()) watch(s);
    connect(app, &QGuiApplication::screenAdded, this, [this](QScreen* s) {
        watch(s);
        notifyChanged();
    });
    connect(app, &QGuiApplication::screenRemoved, this, [this](QScreen*) { notifyChanged(); });
    connect(app, &QGuiApplication::primaryScreenChanged, this, [this](QScreen*) { notifyChanged(); });
}

QtScreens::~QtScreens() {
    if (dpy_) XCloseDisplay(dpy_);
}

void QtScreens::watch(QScreen* screen) {
    connect(screen, &QScreen::geometryChanged, this, [this] { notifyChanged(); });
    connect(screen, &QScreen::availableGeometryChanged, this, [this] { notifyChanged(); });
    connect(screen, &QScreen::logicalDotsPerInchChanged, this, [this] { notifyChanged(); });
}

std::vector<ScreenInfo> QtScreens::screens() const {
    std::vector<ScreenInfo> out;
    if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance())) return out;
    QList<QScreen*> list = QGuiApplication::screens();
    // The primary screen comes first, as the coordinates start from it.
    if (QScreen* primary = QGuiApplication::primaryScreen()) {
        list.removeAll(primary);
        list.prepend(primary);
    }
    if (list.isEmpty()) return out;
    const QRect first = list.front()->geometry();
    const double reference = first.y() + first.height();
    const auto flip = [reference](const QRect& r) {
        return QRectF(r.x(), reference - (r.y() + r.height()), r.width(), r.height());
    };
    for (QScreen* s : list) {
        ScreenInfo info;
        info.name = s->name();
        info.frame = flip(s->geometry());
        info.visibleFrame = flip(s->availableGeometry());
        info.backingScaleFactor = s->devicePixelRatio();
        out.push_back(info);
    }
    return out;
}

QPointF QtScreens::mouseLocation() const {
    const auto all = screens();
    const double reference = all.empty() ? 0 : all.front().frame.y() + all.front().frame.height();
    const QPoint p = QCursor::pos();
    return QPointF(p.x(), reference - p.y());
}

bool QtScreens::compositing() const {
    if (!dpy_) return false;
    const QByteArray name = "_NET_WM_CM_S" + QByteArray::number(DefaultScreen(dpy_));
    const Atom selection = XInternAtom(dpy_, name.constData(), False);
    return XGetSelectionOwner(dpy_, selection) != None;
}

}  // namespace murmelo::linuxdesktop
