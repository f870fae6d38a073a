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
constexpr quint16 kC = 8;
constexpr quint16 kLeft = 123;

// The start of the word before pos: white space first, then the word's letters and digits.
qsizetype wordStartBefore(const QString& text, qsizetype pos) {
    while (pos > 0 && text[pos - 1].isSpace()) --pos;
    while (pos > 0 && (text[pos - 1].isLetterOrNumber() || text[pos - 1].isMark() || text[pos - 1].isSurrogate())) --pos;
    return pos;
}
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
    if (event.keyCode == kC && (event.flags & KeyFlags::command)) {
        // An application copies only a selection; with none it leaves the pasteboard alone.
        if (field->selectionLength > 0 && !field->secure) pasteboard_.copyFromOtherApp(field->selectedText());
        return;
    }
    if (event.keyCode == kLeft && (event.flags & KeyFlags::shift) && (event.flags & KeyFlags::option)) {
        // Word-wise selection: the selection grows to the start of the word before it.
        const qsizetype end = field->caret();
        const qsizetype start = wordStartBefore(field->value, field->selectionStart);
        field->select(start, end - start);
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
