#include "sim/SimEventTap.h"

#include "sim/SimDesktop.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimModifierFlags.h"

#include <QCoreApplication>
#include <algorithm>

namespace murmelo::sim {

namespace {
constexpr qint64 kDelete = 51;
}

SimEventTap::~SimEventTap() {
    if (poster_) poster_->tap = nullptr;
}

bool SimEventTap::create(Callback callback) {
    if (refuseCreation) return false;
    ++creations;
    callback_ = std::move(callback);
    enabled_ = true;
    return true;
}

void SimEventTap::attach(SimKeyPoster& poster) {
    poster_ = &poster;
    poster.tap = [this](const KeyEvent& key) { return pass(inputEventFor(key, QCoreApplication::applicationPid())); };
}

bool SimEventTap::pass(const InputEvent& event) {
    if (!isEnabled()) return true;
    return callback_(event);
}

bool SimEventTap::deliver(const InputEvent& event) {
    if (!pass(event)) return false;
    if (event.type != InputEventType::keyDown) return true;
    std::shared_ptr<SimField> field = desktop_.focusedField();
    if (!field || !field->editable || field->dropsTypedText) return true;
    if (event.flags & 0x1C0000) return true;  // shortcuts insert nothing
    if (!event.unicode.isEmpty()) SimDesktop::insertText(*field, event.unicode);
    else if (event.keyCode == kDelete) SimDesktop::deleteBackward(*field);
    return true;
}

bool SimEventTap::keyDown(qint64 keyCode, const QString& chars, quint64 flags) {
    InputEvent e;
    e.type = InputEventType::keyDown;
    e.keyCode = keyCode;
    e.unicode = chars;
    e.flags = flags;
    return deliver(e);
}

bool SimEventTap::keyUp(qint64 keyCode, quint64 flags) {
    InputEvent e;
    e.type = InputEventType::keyUp;
    e.keyCode = keyCode;
    e.flags = flags;
    return deliver(e);
}

bool SimEventTap::flagsChanged(qint64 keyCode, quint64 flags) {
    InputEvent e;
    e.type = InputEventType::flagsChanged;
    e.keyCode = keyCode;
    e.flags = flags;
    if (session) session->flags = flags;
    return deliver(e);
}

void SimEventTap::disableByTimeout() {
    if (!isEnabled()) return;
    enabled_ = false;
    InputEvent e;
    e.type = InputEventType::tapDisabledByTimeout;
    callback_(e);
}

void SimEventTap::disableByUserInput() {
    if (!isEnabled()) return;
    enabled_ = false;
    InputEvent e;
    e.type = InputEventType::tapDisabledByUserInput;
    callback_(e);
}

InputEvent inputEventFor(const KeyEvent& key, qint64 ownPid) {
    InputEvent e;
    // Modifier keys reach a tap as modifier changes.
    const bool modifier = key.keyCode >= 54 && key.keyCode <= 63;
    e.type = modifier ? InputEventType::flagsChanged : key.keyDown ? InputEventType::keyDown : InputEventType::keyUp;
    e.keyCode = key.keyCode;
    e.flags = key.flags;
    e.unicode = key.unicode;
    e.userData = key.userData;
    e.sourcePID = ownPid;
    e.sourceStateID = key.source == KeySourceState::HIDSystem ? 1 : 0;
    return e;
}

bool SimEventTap::grabChord(int virtualKey, quint64 flags) {
    const Chord chord{virtualKey, flags};
    if (std::find(heldByOthers.begin(), heldByOthers.end(), chord) != heldByOthers.end()) return false;
    if (std::find(grabbed.begin(), grabbed.end(), chord) == grabbed.end()) grabbed.push_back(chord);
    return true;
}

void SimEventTap::ungrabChord(int virtualKey, quint64 flags) {
    grabbed.erase(std::remove(grabbed.begin(), grabbed.end(), Chord{virtualKey, flags}), grabbed.end());
}

}  // namespace murmelo::sim
