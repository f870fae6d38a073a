#include "sim/SimDesktop.h"

#include <algorithm>

namespace murmelo::sim {

void SimField::select(qsizetype start, qsizetype length) {
    selectionStart = std::clamp<qsizetype>(start, 0, value.size());
    selectionLength = std::clamp<qsizetype>(length, 0, value.size() - selectionStart);
}

SimApp& SimDesktop::addApp(const QString& bundleId, const QString& name) {
    if (SimApp* existing = app(bundleId)) return *existing;
    auto a = std::make_unique<SimApp>();
    a->identity = {bundleId, name, nextPid_++};
    apps_.push_back(std::move(a));
    return *apps_.back();
}

std::shared_ptr<SimField> SimDesktop::addField(const QString& bundleId, const QString& role, const QString& value) {
    SimApp& a = addApp(bundleId, bundleId);
    auto f = std::make_shared<SimField>();
    f->role = role;
    f->secure = role == QStringLiteral("AXSecureTextField");
    f->value = value;
    f->select(value.size());
    a.fields.push_back(f);
    if (!a.focused) a.focused = f;
    return f;
}

void SimDesktop::focus(const QString& bundleId, std::shared_ptr<SimField> field) {
    SimApp& a = addApp(bundleId, bundleId);
    a.running = true;
    if (field) a.focused = std::move(field);
    const bool changed = front_ != &a;
    front_ = &a;
    if (changed && onActivate_) onActivate_(a.identity);
    if (changed) notifyActivationObservers(a.identity);
}

void SimDesktop::quit(const QString& bundleId) {
    SimApp* a = app(bundleId);
    if (!a) return;
    a->running = false;
    if (front_ == a) front_ = nullptr;
}

SimApp* SimDesktop::app(const QString& bundleId) {
    for (auto& a : apps_)
        if (a->identity.bundleIdentifier == bundleId) return a.get();
    return nullptr;
}

SimApp* SimDesktop::front() { return front_; }

std::shared_ptr<SimField> SimDesktop::focusedField() { return front_ ? front_->focused : nullptr; }

void SimDesktop::insertText(SimField& field, const QString& text) {
    field.value.replace(field.selectionStart, field.selectionLength, text);
    field.selectionStart += text.size();
    field.selectionLength = 0;
}

void SimDesktop::deleteBackward(SimField& field) {
    if (field.selectionLength > 0) {
        insertText(field, {});
        return;
    }
    if (field.selectionStart == 0) return;
    // One user-perceived step back: a surrogate pair goes as a whole.
    qsizetype from = field.selectionStart - 1;
    if (from > 0 && field.value[from].isLowSurrogate() && field.value[from - 1].isHighSurrogate()) --from;
    field.value.remove(from, field.selectionStart - from);
    field.selectionStart = from;
}

std::optional<AppIdentity> SimDesktop::frontmostApplication() const {
    if (!front_) return std::nullopt;
    return front_->identity;
}

// A process id names one process, as on the real desktop.
bool SimDesktop::isRunning(const AppIdentity& id) const {
    for (const auto& a : apps_)
        if (a->identity.pid == id.pid) return a->running;
    return false;
}

std::vector<AppIdentity> SimDesktop::runningApplications() const {
    std::vector<AppIdentity> out;
    for (const auto& a : apps_)
        if (a->running && a->hasWindow) out.push_back(a->identity);
    return out;
}

std::optional<AppIdentity> SimDesktop::runningApplication(qint64 pid) const {
    for (const auto& a : apps_)
        if (a->identity.pid == pid && a->running) return a->identity;
    return std::nullopt;
}

bool SimDesktop::activate(const AppIdentity& id) {
    if (!isRunning(id)) return false;
    SimApp* a = appByPid(id.pid);
    // The request went out; a window manager that refuses it leaves the front as it was.
    if (a && a->refusesActivation) return true;
    focus(a ? a->identity.bundleIdentifier : id.bundleIdentifier);
    return true;
}

void SimDesktop::setActivationHandler(std::function<void(const AppIdentity&)> handler) {
    onActivate_ = std::move(handler);
}

std::vector<WindowInfo> SimDesktop::windowsOf(qint64 pid) const {
    for (const auto& a : apps_)
        if (a->identity.pid == pid && a->running) return a->windows;
    return {};
}

SimApp* SimDesktop::appByPid(qint64 pid) {
    for (auto& a : apps_)
        if (a->identity.pid == pid) return a.get();
    return nullptr;
}

SimApp* SimDesktop::ownerOf(const SimField* field) {
    for (auto& a : apps_)
        for (const auto& f : a->fields)
            if (f.get() == field) return a.get();
    return nullptr;
}

}  // namespace murmelo::sim
