#pragma once
// What the event tap's dispatcher calls in the subsystems behind it. Each is the least the
// dispatcher needs, with defaults that do nothing; a subsystem installs its own object and
// the dispatcher never changes for it.
#include "platform/EventTap.h"
#include "platform/Service.h"

#include <QPointF>
#include <functional>

namespace murmelo {

// Dictation: hotkey starts and stops, and the key-release timing.
class TapDictation {
public:
    virtual ~TapDictation() = default;
    virtual void startRec(bool command) { (void)command; }
    virtual void stopRec() {}
    virtual void noteKeyUp() {}
    static TapDictation& shared() { return sharedService<TapDictation>(); }
    static void install(TapDictation* d) { installService<TapDictation>(d); }
};

class TapTypingStats {
public:
    virtual ~TapTypingStats() = default;
    virtual void note(quint64 stamp, qint64 keyCode, quint64 flags) { (void)stamp, (void)keyCode, (void)flags; }
    static TapTypingStats& shared() { return sharedService<TapTypingStats>(); }
    static void install(TapTypingStats* s) { installService<TapTypingStats>(s); }
};

// The keyboard layout switcher and the polish triggers that live in it.
class TapLayoutSwitcher {
public:
    virtual ~TapLayoutSwitcher() = default;
    // True swallows the key.
    virtual bool handleKeyDown(const InputEvent& event) { (void)event; return false; }
    virtual void noteCursorMoved() {}
    virtual void noteLeftCommandChanged(bool isDown) { (void)isDown; }
    virtual void noteUserShortcut() {}
    virtual void noteRealKeyDown() {}
    virtual void noteRightShift(bool down, bool polishBound) { (void)down, (void)polishBound; }
    virtual void notePolishDown() {}
    virtual void notePolishUp() {}
    virtual void notePolishLiveTyping() {}
    virtual void noteSpaceTyped() {}
    static TapLayoutSwitcher& shared() { return sharedService<TapLayoutSwitcher>(); }
    static void install(TapLayoutSwitcher* s) { installService<TapLayoutSwitcher>(s); }
};

class TapPolish {
public:
    virtual ~TapPolish() = default;
    virtual void revertLast() {}
    virtual bool isPolishLiveEnabled() const { return false; }
    // Polish is on when its setting says so (a stored real Boolean); unset, it follows
    // whether a corrector engine exists. The menu, the tap and the corrector read this one rule.
    static bool isPolishEnabled();
    // Answers "is there a corrector engine" for an unset switch; the shell sets it.
    static std::function<bool()>& whenUnset();
    // Stores the switch only; switching polish is setPolishEnabled of polish, which also
    // starts or stops the corrector server.
    static void setPolishEnabled(bool on);
    static TapPolish& shared() { return sharedService<TapPolish>(); }
    static void install(TapPolish* p) { installService<TapPolish>(p); }
};

// Quick Actions and its result card. Points are in the bottom-left screen model.
class TapQuickActions {
public:
    virtual ~TapQuickActions() = default;
    // True consumes the key.
    virtual bool keyDown(qint64 keyCode, quint64 flags, bool synthetic) { (void)keyCode, (void)flags, (void)synthetic; return false; }
    virtual void keyUp(qint64 keyCode, quint64 flags, bool synthetic) { (void)keyCode, (void)flags, (void)synthetic; }
    virtual void mouseDown(QPointF at) { (void)at; }
    virtual void mouseUp(QPointF at, qint64 clickCount) { (void)at, (void)clickCount; }
    virtual void dismiss() {}
    // The cloud result card.
    virtual bool resultCardIsKey() const { return false; }
    virtual bool resultCardContains(QPointF point, double margin) const { (void)point, (void)margin; return false; }
    static TapQuickActions& shared() { return sharedService<TapQuickActions>(); }
    static void install(TapQuickActions* q) { installService<TapQuickActions>(q); }
};

class TapMeetingHotkey {
public:
    virtual ~TapMeetingHotkey() = default;
    virtual void noteDictationKeyDown(bool otherModifiers) { (void)otherModifiers; }
    virtual void noteDictationKeyUp() {}
    virtual void noteRealKeyDown() {}
    static TapMeetingHotkey& shared() { return sharedService<TapMeetingHotkey>(); }
    static void install(TapMeetingHotkey* m) { installService<TapMeetingHotkey>(m); }
};

}  // namespace murmelo
