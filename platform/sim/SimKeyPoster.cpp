#include "sim/SimKeyPoster.h"

#include "platform/MainQueue.h"
#include "sim/SimDesktop.h"
#include "sim/SimPasteboard.h"

namespace murmelo::sim {

namespace {
constexpr quint16 kDelete = 51;
constexpr quint16 kV = 9;
constexpr quint16 kReturn = 36;
constexpr quint16 kTab = 48;
constexpr quint64 kShortcutFlags = KeyFlags::command | KeyFlags::control | KeyFlags::option;
}  // namespace

int SimKeyPoster::addObserver(std::function<void(const KeyEvent&)> observer) {
    const int id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void SimKeyPoster::removeObserver(int id) { observers_.erase(id); }

bool SimKeyPoster::post(const KeyEvent& event) {
    posted_.push_back(event);
    const auto observers = observers_;
    for (const auto& [id, fn] : observers) fn(event);
    if (tap && !tap(event)) return true;
    deliver(event);
    return true;
}

void SimKeyPoster::deliver(const KeyEvent& event) {
    if (!event.keyDown) return;
    std::shared_ptr<SimField> field = desktop_.focusedField();
    if (!field || !field->editable) return;
    if (event.keyCode == kV && (event.flags & KeyFlags::command)) {
        if (field->ignoresPaste) return;
        auto paste = [this, field] {
            if (auto text = pasteboard_.readAsClient()) SimDesktop::insertText(*field, *text);
        };
        if (pasteReadDelay_ <= 0) paste();
        else MainQueue::shared().after(pasteReadDelay_, paste);
        return;
    }
    if (field->dropsTypedText) return;
    if (!event.unicode.isEmpty()) SimDesktop::insertText(*field, event.unicode);
    else if (event.keyCode == kDelete) SimDesktop::deleteBackward(*field);
    // A plain field takes Return and Tab (with Shift too) as a line end and a tab.
    else if (event.keyCode == kReturn && !(event.flags & kShortcutFlags)) SimDesktop::insertText(*field, QStringLiteral("\n"));
    else if (event.keyCode == kTab && !(event.flags & kShortcutFlags)) SimDesktop::insertText(*field, QStringLiteral("\t"));
}

}  // namespace murmelo::sim
