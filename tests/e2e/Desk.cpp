#include "Desk.h"

#include "input/AXText.h"
#include "input/DeliveryAudit.h"
#include "input/GlobalEventTap.h"
#include "input/SecureInput.h"
#include "platform/Accessibility.h"
#include "platform/KeyEventPoster.h"
#include "platform/Pasteboard.h"
#include "platform/Screens.h"
#include "platform/SecureEventInput.h"
#include "platform/Service.h"
#include "platform/Workspace.h"
#include "shell/StatusMenuSections.h"
#include "ui/AppState.h"

#include <QAction>
#include <QGuiApplication>
#include <QScreen>
#include <QMenu>

namespace murmelo::e2e {

// Every subsystem's lines and the menu built from them, made when a test first opens it.
struct DeskMenu {
    StatusMenuSections sections;
    StatusMenu menu;
};

namespace {

constexpr quint16 kSpace = 49;
constexpr quint16 kReturn = 36;
bool isModifier(quint16 keyCode) { return keyCode >= 54 && keyCode <= 63; }

template <class T>
std::function<void()> installFor(T* impl) {
    T* previous = installedService<T>();
    installService<T>(impl);
    return [previous] { installService<T>(previous); };
}

}  // namespace

Desk::Desk() : keys(desktop, pasteboard), ax(desktop), clipboard(&pasteboard), tap(desktop) {
    restore_.push_back(installFor<Workspace>(&desktop));
    restore_.push_back(installFor<Pasteboard>(&pasteboard));
    restore_.push_back(installFor<KeyEventPoster>(&keys));
    restore_.push_back(installFor<Accessibility>(&ax));
    restore_.push_back(installFor<SecureEventInput>(&secure));
    restore_.push_back(installFor<ClipboardManager>(&clipboard));
    restore_.push_back(installFor<DeliveryRepairCardController>(&cards));
    restore_.push_back(installFor<EventTap>(&tap));
    restore_.push_back(installFor<Screens>(&screens));
    const QScreen* primary = QGuiApplication::primaryScreen();
    const QRectF frame = primary ? QRectF(QPointF(0, 0), primary->geometry().size()) : QRectF(0, 0, 800, 600);
    screens.setScreens({sim::SimScreens::screen(frame, 1, 0)});
    AXText::resetForTesting();
    SecureInput::resetForTesting();
    DeliveryAudit::setCorrectionSink(false);
    // The program's own tap and dispatcher, in front of the user's keys and its own posts.
    tap.attach(keys);
    GlobalEventTap::resetForTesting();
    GlobalEventTap::installTap();
    GlobalEventTap::startTapGuard();
    clipboard.start();
    start_ = env.clock().uptime();
}

Desk::~Desk() {
    if (menu_) {
        AppState& state = AppState::shared();
        state.appMenu = nullptr;
        state.modelItem = state.secureInputItem = state.tapFuseItem = state.rivalItem = nullptr;
        state.historyMenu = state.clipboardMenu = nullptr;
        menu_.reset();
    }
    GlobalEventTap::resetForTesting();
    cards.hide();
    clipboard.stop();
    AXText::resetForTesting();
    SecureInput::resetForTesting();
    for (auto it = restore_.rbegin(); it != restore_.rend(); ++it) (*it)();
}

Field Desk::open(const QString& bundleId, const QString& value, const QString& role) {
    desktop.addApp(bundleId, bundleId.section('.', -1));
    Field f = desktop.addField(bundleId, role, value);
    desktop.focus(bundleId, f);
    return f;
}

Desk& Desk::focus(const QString& bundleId, const Field& field) {
    desktop.focus(bundleId, field);
    return *this;
}

Field Desk::focusedField() { return desktop.focusedField(); }

Desk& Desk::caret(qsizetype position, qsizetype selectionLength) {
    if (Field f = focusedField()) f->select(position, selectionLength);
    return *this;
}

void Desk::key(quint16 keyCode, bool down, quint64 flags, const QString& chars) {
    if (isModifier(keyCode)) tap.flagsChanged(keyCode, down ? flags : 0);
    else if (down) tap.keyDown(keyCode, chars, flags);
    else tap.keyUp(keyCode, flags);
}

Desk& Desk::type(const QString& text) {
    for (const QChar c : text) {
        const quint16 code = c == ' ' ? kSpace : c == '\n' ? kReturn : 0;
        key(code, true, 0, QString(c));
        key(code, false, 0);
    }
    env.runPending();
    return *this;
}

Desk& Desk::press(quint16 keyCode, quint64 flags) {
    key(keyCode, true, flags);
    key(keyCode, false, flags);
    env.runPending();
    return *this;
}

Desk& Desk::hold(quint16 keyCode, double seconds, quint64 flags) {
    key(keyCode, true, flags);
    env.runPending();
    wait(seconds);
    key(keyCode, false, flags);
    env.runPending();
    return *this;
}

void Desk::mouse(InputEventType type, QPointF at, int clickState) {
    InputEvent e;
    e.type = type;
    e.location = at;
    e.clickState = clickState;
    screens.setMouse(QPointF(at.x(), screens.screens().front().frame.height() - at.y()));
    tap.deliver(e);
    env.runPending();
}

Desk& Desk::click(QPointF at, int clicks) {
    for (int n = 1; n <= clicks; ++n) {
        mouse(InputEventType::leftMouseDown, at, n);
        mouse(InputEventType::leftMouseUp, at, n);
    }
    return *this;
}

Desk& Desk::drag(QPointF from, QPointF to) {
    mouse(InputEventType::leftMouseDown, from, 1);
    mouse(InputEventType::leftMouseUp, to, 1);
    return *this;
}

Desk& Desk::copy(const QString& text) {
    pasteboard.copyFromOtherApp(text);
    wait(ClipboardManager::POLL_INTERVAL);
    return *this;
}

QList<MenuEntry> Desk::openMenu() {
    if (!menu_) {
        menu_ = std::make_unique<DeskMenu>();
        menu_->menu.build();
    }
    // What the menu does as it opens: lines read afresh, submenus wired to refill.
    Q_EMIT menu_->menu.menu()->aboutToShow();
    env.runPending();
    return StatusMenu::model();
}

bool Desk::choose(const QString& name, const QString& which) {
    openMenu();
    auto matches = [&](QAction* a) {
        return which.isEmpty() || a->data().toString() == which || a->text() == which || a->text().startsWith(which);
    };
    QAction* chosen = nullptr;
    for (QAction* a : menu_->menu.actions(name)) {
        if (QMenu* sub = a->menu()) {
            // A submenu filled as it opens: the line is one of its items.
            Q_EMIT sub->aboutToShow();
            env.runPending();
            for (QAction* item : sub->actions())
                if (!item->isSeparator() && !item->menu() && matches(item)) {
                    chosen = item;
                    break;
                }
        } else if (matches(a)) {
            chosen = a;
        }
        if (chosen) break;
    }
    if (!chosen || !chosen->isEnabled()) return false;
    chosen->trigger();
    env.runPending();
    return true;
}

Desk& Desk::dropTypedText(bool on) {
    if (Field f = focusedField()) f->dropsTypedText = on;
    return *this;
}

Desk& Desk::ignorePaste(bool on) {
    if (Field f = focusedField()) f->ignoresPaste = on;
    return *this;
}

Desk& Desk::refuseAXWrites(bool on) {
    if (Field f = focusedField()) f->refusesWrites = on;
    return *this;
}

Desk& Desk::pasteReadDelay(double seconds) {
    keys.setPasteReadDelay(seconds);
    return *this;
}

Desk& Desk::setting(const QString& key, const QVariant& value) {
    env.defaults().set(key, value);
    return *this;
}

Desk& Desk::wait(double seconds) {
    env.advance(seconds);
    return *this;
}

double Desk::now() const { return const_cast<Desk*>(this)->env.clock().uptime() - start_; }

std::optional<QString> Desk::clipboardText() const {
    // A promised text (a paste in flight) is not read: that would be the canary's signal.
    if (pasteboard.types().contains(QStringLiteral("org.nspasteboard.TransientType"))) return std::nullopt;
    return pasteboard.string();
}

int Desk::logCount(const QString& fragment) const {
    int n = 0;
    for (const QString& line : log()) n += line.contains(fragment);
    return n;
}

int Desk::pastesPosted() const {
    int n = 0;
    for (const KeyEvent& e : keys.posted()) n += e.keyCode == 9 && e.keyDown && (e.flags & KeyFlags::command);
    return n;
}

}  // namespace murmelo::e2e
