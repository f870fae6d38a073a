#include "Desk.h"

#include "input/AXText.h"
#include "input/DeliveryAudit.h"
#include "input/SecureInput.h"
#include "platform/Accessibility.h"
#include "platform/KeyEventPoster.h"
#include "platform/Pasteboard.h"
#include "platform/SecureEventInput.h"
#include "platform/Service.h"
#include "platform/Workspace.h"

namespace murmelo::e2e {
namespace {

template <class T>
std::function<void()> installFor(T* impl) {
    T* previous = installedService<T>();
    installService<T>(impl);
    return [previous] { installService<T>(previous); };
}

}  // namespace

Desk::Desk() : keys(desktop, pasteboard), ax(desktop), clipboard(&pasteboard) {
    restore_.push_back(installFor<Workspace>(&desktop));
    restore_.push_back(installFor<Pasteboard>(&pasteboard));
    restore_.push_back(installFor<KeyEventPoster>(&keys));
    restore_.push_back(installFor<Accessibility>(&ax));
    restore_.push_back(installFor<SecureEventInput>(&secure));
    restore_.push_back(installFor<ClipboardManager>(&clipboard));
    restore_.push_back(installFor<DeliveryRepairCardController>(&cards));
    AXText::resetForTesting();
    SecureInput::resetForTesting();
    DeliveryAudit::setCorrectionSink(false);
    clipboard.start();
    start_ = env.clock().uptime();
}

Desk::~Desk() {
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

void Desk::physical(const KeyEvent& e) {
    if (e.keyDown) DeliveryAudit::noteUserTyped();
    for (const auto& l : physicalListeners_) l(e);
}

Desk& Desk::type(const QString& text) {
    for (const QChar c : text) {
        physical({0, true, 0, QString(c), 0});
        if (Field f = focusedField(); f && f->editable) sim::SimDesktop::insertText(*f, QString(c));
        physical({0, false, 0, QString(c), 0});
    }
    env.runPending();
    return *this;
}

Desk& Desk::press(quint16 keyCode, quint64 flags) {
    physical({keyCode, true, flags, {}, 0});
    physical({keyCode, false, flags, {}, 0});
    env.runPending();
    return *this;
}

Desk& Desk::hold(quint16 keyCode, double seconds, quint64 flags) {
    physical({keyCode, true, flags, {}, 0});
    wait(seconds);
    physical({keyCode, false, flags, {}, 0});
    env.runPending();
    return *this;
}

void Desk::onPhysicalKey(std::function<void(const KeyEvent&)> listener) { physicalListeners_.push_back(std::move(listener)); }

Desk& Desk::copy(const QString& text) {
    pasteboard.copyFromOtherApp(text);
    return *this;
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
