#include "sim/SimKeyPoster.h"

#include "platform/MainQueue.h"
#include "sim/SimDesktop.h"
#include "sim/SimPasteboard.h"

#include <QTextBoundaryFinder>

namespace murmelo::sim {

namespace {
constexpr quint16 kDelete = 51;
constexpr quint16 kV = 9;
constexpr quint16 kReturn = 36;
constexpr quint16 kTab = 48;
constexpr quint64 kShortcutFlags = KeyFlags::command | KeyFlags::control | KeyFlags::option;
constexpr quint16 kC = 8;
constexpr quint16 kA = 0;
constexpr quint16 kLeft = 123;
constexpr quint16 kRight = 124;
constexpr quint16 kHome = 115;
constexpr quint16 kEnd = 119;

// The start of the word before pos: white space first, then the word's letters and digits.
qsizetype wordStartBefore(const QString& text, qsizetype pos) {
    while (pos > 0 && text[pos - 1].isSpace()) --pos;
    while (pos > 0 && (text[pos - 1].isLetterOrNumber() || text[pos - 1].isMark() || text[pos - 1].isSurrogate())) --pos;
    return pos;
}

// The UTF-16 position one character (grapheme cluster) before or after the position.
qsizetype stepBy(const QString& text, qsizetype at, bool forward) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    finder.setPosition(at);
    const qsizetype to = forward ? finder.toNextBoundary() : finder.toPreviousBoundary();
    return to < 0 ? at : to;
}

bool isLineBreak(QChar c) { return c == u'\n' || c == u'\r' || c == QChar(0x2028) || c == QChar(0x2029); }

// Navigation and the clipboard chords as a text field handles them; false for other keys.
// A Shift selection keeps its right end fixed while it grows or shrinks to the left, and its
// left end while it grows to the right: enough for the selections tests make.
bool navigate(SimField& f, const KeyEvent& event, SimPasteboard& pasteboard) {
    const bool shift = event.flags & KeyFlags::shift;
    const bool command = event.flags & KeyFlags::command;
    const qsizetype start = f.selectionStart, end = f.selectionStart + f.selectionLength;
    if (command && event.keyCode == kA && event.unicode.isEmpty()) {
        f.select(0, f.value.size());
    } else if (command && event.keyCode == kC && event.unicode.isEmpty()) {
        if (f.selectionLength > 0 && !f.secure) pasteboard.copyFromOtherApp(f.selectedText());
    } else if (event.keyCode == kLeft && shift && (event.flags & KeyFlags::option)) {
        // Word-wise selection: the selection grows to the start of the word before it.
        const qsizetype to = wordStartBefore(f.value, start);
        f.select(to, end - to);
    } else if (event.keyCode == kLeft) {
        if (shift) {
            const qsizetype to = stepBy(f.value, start, false);
            f.select(to, end - to);
        } else {
            f.select(f.selectionLength > 0 ? start : stepBy(f.value, start, false));
        }
    } else if (event.keyCode == kRight) {
        if (shift) f.select(start, stepBy(f.value, end, true) - start);
        else f.select(f.selectionLength > 0 ? end : stepBy(f.value, end, true));
    } else if (event.keyCode == kHome || event.keyCode == kEnd) {
        qsizetype at = end;
        if (event.keyCode == kHome)
            while (at > 0 && !isLineBreak(f.value[at - 1])) --at;
        else
            while (at < f.value.size() && !isLineBreak(f.value[at])) ++at;
        if (!shift) f.select(at);
        else if (at < start) f.select(at, end - at);
        else f.select(start, at - start);
    } else {
        return false;
    }
    return true;
}
}  // namespace

int SimKeyPoster::addObserver(std::function<void(const KeyEvent&)> observer) {
    const int id = nextObserver_++;
    observers_[id] = std::move(observer);
    return id;
}

void SimKeyPoster::removeObserver(int id) { observers_.erase(id); }

FrontEditing SimKeyPoster::frontEditing() {
    const std::optional<AppIdentity> front = desktop_.frontmostApplication();
    if (!front) return FrontEditing::editor;
    const auto it = terminalApps.find(front->bundleIdentifier);
    return it == terminalApps.end() ? FrontEditing::editor : it->second;
}

bool SimKeyPoster::post(const KeyEvent& event) {
    posted_.push_back(event);
    if (landingDelay_ <= 0 && onTheWay_ == 0) {
        land(event);
        return true;
    }
    ++onTheWay_;
    const double now = Clock::shared().uptime();
    nextLandingAt_ = std::max(now, nextLandingAt_) + landingDelay_;
    MainQueue::shared().after(nextLandingAt_ - now, [this, event] {
        land(event);
        --onTheWay_;
        std::vector<std::function<void()>> due;
        for (auto it = landing_.begin(); it != landing_.end();) {
            if (--it->first > 0) {
                ++it;
                continue;
            }
            due.push_back(std::move(it->second));
            it = landing_.erase(it);
        }
        for (auto& landed : due) landed();
    });
    return true;
}

void SimKeyPoster::afterLanding(std::function<void()> landed) {
    if (onTheWay_ == 0) landed();
    else landing_.push_back({onTheWay_, std::move(landed)});
}

void SimKeyPoster::land(const KeyEvent& event) {
    const auto observers = observers_;
    for (const auto& [id, fn] : observers) fn(event);
    if (tap && !tap(event)) return;
    deliver(event);
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
    if (event.unicode.isEmpty() && navigate(*field, event, pasteboard_)) return;
    if (field->dropsTypedText) return;
    if (!event.unicode.isEmpty()) SimDesktop::insertText(*field, event.unicode);
    else if (event.keyCode == kDelete) SimDesktop::deleteBackward(*field);
    // A plain field takes Return and Tab (with Shift too) as a line end and a tab.
    else if (event.keyCode == kReturn && !(event.flags & kShortcutFlags)) SimDesktop::insertText(*field, QStringLiteral("\n"));
    else if (event.keyCode == kTab && !(event.flags & kShortcutFlags)) SimDesktop::insertText(*field, QStringLiteral("\t"));
}

}  // namespace murmelo::sim
