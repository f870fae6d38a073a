#include "ui/AppState.h"

#include "base/BuildStamp.h"
#include "base/Defaults.h"
#include "platform/MainQueue.h"
#include "platform/RunningApplication.h"
#include "ui/AppPalette.h"

#include <QCoreApplication>
#include <QCursor>
#include <QGuiApplication>
#include <QMenu>
#include <QPalette>
#include <QPixmap>
#include <QScreen>
#include <QSystemTrayIcon>

namespace murmelo {
namespace {

AppState::PresenceFactory& presenceFactory() {
    static AppState::PresenceFactory factory;
    return factory;
}

// Trays do not tint template images, so the silhouette follows the desktop's palette, not the
// theme our own windows were given.
bool darkBar() { return AppPalette::desktopIsDark(); }

bool isThisApplication(const AppIdentity& app) {
    if (app.pid == QCoreApplication::applicationPid()) return true;
    const auto own = RunningApplication::shared().bundleIdentifier();
    return own && !own->isEmpty() && app.bundleIdentifier == *own;
}

}  // namespace

StatusItem::StatusItem() : tray_(std::make_unique<QSystemTrayIcon>()) {
    QObject::connect(tray_.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger) emit clicked(false, QGuiApplication::queryKeyboardModifiers());
        else if (reason == QSystemTrayIcon::Context) emit clicked(true, QGuiApplication::queryKeyboardModifiers());
    });
}

StatusItem::~StatusItem() { tray_->hide(); }

void StatusItem::setMode(const OrbIconMode& mode) {
    mode_ = mode;
    QIcon icon;
    const bool dark = darkBar();
    for (double scale : {1.0, 2.0}) {
        QPixmap pm = QPixmap::fromImage(orbBarIcon(mode, scale, dark));
        pm.setDevicePixelRatio(scale);
        icon.addPixmap(pm);
    }
    tray_->setIcon(icon);
}

void StatusItem::setTitle(const QString& title) {
    title_ = title;
    tray_->setToolTip(QStringLiteral("Ondrix") + title);
}

QIcon StatusItem::icon() const { return tray_->icon(); }

QRect StatusItem::geometry() const { return tray_->geometry(); }

void AppState::setPresenceFactory(PresenceFactory factory) { presenceFactory() = std::move(factory); }

AppState::AppState(std::unique_ptr<LadderPresence> ladder, std::unique_ptr<DropPresence> drop) {
    if ((!ladder || !drop) && presenceFactory()) {
        auto made = presenceFactory()();
        if (!ladder) ladder = std::move(made.first);
        if (!drop) drop = std::move(made.second);
    }
    ladder_ = ladder ? std::move(ladder) : std::make_unique<LadderPresence>();
    drop_ = drop ? std::move(drop) : std::make_unique<DropPresence>();
    openMenu = [this](QMenu* menu) {
        const QRect at = item ? item->geometry() : QRect();
        menu->popup(at.isValid() ? at.bottomLeft() : QCursor::pos());
    };
}

AppState::~AppState() = default;

AppState& AppState::shared() {
    static AppState* hub = new AppState;  // lives as long as the process
    return *hub;
}

bool AppState::barIconLit() { return Defaults::shared().realBool(QStringLiteral("barIconLit")).value_or(false); }

void AppState::idle() {
    ++indGen_;
    setBar(OrbIconMode::templated());
    ladder_->set(LadderState::rest);
    drop_->set(DropState::idle, false, false);
}

void AppState::succeeded(bool cloud) {
    ++indGen_;
    setBar(OrbIconMode::templated());
    ladder_->set(LadderState::rest);
    drop_->set(DropState::succeeded, false, cloud);
}

void AppState::recording(const QString& /*app*/, const QIcon& /*icon*/) {
    ++indGen_;
    setBar(barIconLit() ? OrbIconMode::chrome() : OrbIconMode::templated());
    ladder_->set(LadderState::live);
    drop_->set(DropState::recording, false, false);
}

void AppState::recordingQuickReply() {
    ++indGen_;
    setBar(OrbIconMode::solid(OrbColors::purple()));
    ladder_->set(LadderState::live);
    drop_->set(DropState::recording, false, true);
}

void AppState::generatingQuickReply() {
    ++indGen_;
    setBar(OrbIconMode::solid(OrbColors::purple()));
    ladder_->set(LadderState::think);
    drop_->set(DropState::recognizing, false, true);
}

void AppState::transcribing(bool cloud) {
    ++indGen_;
    setBar(barIconLit() ? OrbIconMode::chrome() : OrbIconMode::templated());
    ladder_->set(LadderState::think);
    drop_->set(DropState::recognizing, false, cloud);
}

void AppState::transcribeFailed() { failed(OrbColors::orange()); }

void AppState::captureFailed() { failed(OrbColors::red()); }

void AppState::failed(const QColor& color) {
    const qint64 G = ++indGen_;
    setBar(OrbIconMode::solid(color));
    ladder_->set(LadderState::error);
    drop_->set(DropState::idle, false, false);
    // No cancellation: a newer state simply makes the fall-back a no-op.
    QPointer<AppState> self(this);
    MainQueue::shared().after(FAILURE_FALLBACK_SECONDS, [self, G] {
        if (!self || self->indGen_ != G) return;
        self->setBar(OrbIconMode::templated());
        self->ladder_->set(LadderState::rest);
    });
}

void AppState::setBar(const OrbIconMode& mode) {
    if (!item) return;
    item->setMode(mode);
    item->setTitle(BuildStamp::isWork() ? QStringLiteral(" ") + BuildStamp::badge() : QString());
}

void AppState::ensureStatusItem() {
    if (item) return;
    auto made = std::make_unique<StatusItem>();
    made->setMode(OrbIconMode::templated());
    connect(made.get(), &StatusItem::clicked, this, &AppState::statusItemClicked);
    made->tray().show();
    item = std::move(made);
    if (trayHostAvailable) trayHostAvailable();
}

void AppState::removeStatusItem() { item.reset(); }

void AppState::statusItemClicked(bool rightMouse, Qt::KeyboardModifiers modifiers) {
    if ((rightMouse || (modifiers & Qt::ControlModifier)) && appMenu && item) {
        if (openMenu) openMenu(appMenu);
        return;
    }
    rememberFrontApp();
    QuickPanelController& panel = QuickPanelController::shared();
    const QRect frame = item ? item->geometry() : QRect();
    QScreen* screen = nullptr;
    if (frame.isValid()) {
        panel.anchorX = frame.x() + frame.width() / 2.0;
        screen = QGuiApplication::screenAt(frame.center());
    } else {
        panel.anchorX.reset();
    }
    panel.toggle(screen);
}

void AppState::rememberFrontApp() {
    const auto front = Workspace::shared().frontmostApplication();
    if (!front || isThisApplication(*front)) return;
    frontAppBeforeMenu = front;
}

}  // namespace murmelo
