#pragma once
// The end-to-end harness: the application's services built against the simulated desktop,
// the manual clock and a temporary home. A test scripts the desktop (applications and
// fields, the user's keys, the clipboard, fields that lose writes, time) and reads back
// what happened (log lines, field contents, the clipboard, posted events, cards).
//
// The user's keys go through the simulated event tap and the program's real dispatcher,
// as a physical keyboard's do; what the program posts comes back through the tap marked
// as its own. Grows with the program: a subsystem that joins adds its service to the
// constructor and, where the user can do something new, one scripting method here.
#include "TestEnvironment.h"
#include "input/ClipboardManager.h"
#include "input/DeliveryRepairCard.h"
#include "ui/StatusMenu.h"
#include "sim/SimAccessibility.h"
#include "sim/SimDesktop.h"
#include "sim/SimEventTap.h"
#include "sim/SimKeyPoster.h"
#include "sim/SimPasteboard.h"
#include "sim/SimScreens.h"
#include "sim/SimSecureEventInput.h"

#include <QStringList>
#include <functional>
#include <memory>
#include <vector>

namespace murmelo::e2e {

using Field = std::shared_ptr<sim::SimField>;

class Desk {
public:
    Desk();
    ~Desk();
    Desk(const Desk&) = delete;
    Desk& operator=(const Desk&) = delete;

    // ---- scripting the desktop
    // An application with a focused text field holding value (caret at its end), in front.
    Field open(const QString& bundleId, const QString& value = {}, const QString& role = QStringLiteral("AXTextField"));
    Desk& focus(const QString& bundleId, const Field& field = nullptr);
    Field focusedField();
    // Puts the caret (and selection) of the focused field.
    Desk& caret(qsizetype position, qsizetype selectionLength = 0);
    // The user types on the physical keyboard: each character goes through the event tap
    // and, unless swallowed or dropped by the field, lands in the focused field.
    Desk& type(const QString& text);
    // The user presses a physical key (down and up), or holds it for a while. A modifier
    // key (codes 54-63) reaches the tap as a modifier change: flags while it is down
    // (pass the key's own flag bits), none after.
    Desk& press(quint16 keyCode, quint64 flags = 0);
    Desk& hold(quint16 keyCode, double seconds, quint64 flags = 0);
    // The user clicks (clicks times in a row) or drags with the left button at window-system
    // points (top-left origin); the pointer stays where the button went up.
    Desk& click(QPointF at, int clicks = 1);
    Desk& drag(QPointF from, QPointF to);
    // The user copies a text in another program; returns once the clipboard poll has
    // seen it.
    Desk& copy(const QString& text);

    // ---- the status menu
    // Opens the menu as the user does (its lines read afresh) and returns what it shows.
    QList<MenuEntry> openMenu();
    // Chooses the line of that name (in a submenu too); with several of one name (a
    // choice among modes), the one whose represented object or title is `which`.
    // False when there is no such enabled line.
    bool choose(const QString& name, const QString& which = {});
    // How the focused field misbehaves.
    Desk& dropTypedText(bool on = true);
    Desk& ignorePaste(bool on = true);
    Desk& refuseAXWrites(bool on = true);
    // How long the focused application takes to read the pasteboard after Command-V.
    Desk& pasteReadDelay(double seconds);
    Desk& setting(const QString& key, const QVariant& value);
    // Lets virtual time pass, firing everything due on the main queue.
    Desk& wait(double seconds);
    double now() const;  // seconds since the desk was made

    // ---- what happened
    QString fieldText() { return focusedField() ? focusedField()->value : QString(); }
    // The clipboard's plain text, read without counting as a reader.
    std::optional<QString> clipboardText() const;
    qint64 clipboardChanges() const { return pasteboard.changeCount(); }
    QStringList log() const { return env.logLines(); }
    bool logHas(const QString& fragment) const { return env.logContains(fragment); }
    int logCount(const QString& fragment) const;
    // Synthetic events the program posted (all carry the own mark).
    const std::vector<KeyEvent>& posted() const { return keys.posted(); }
    int pastesPosted() const;  // Command-V chords
    bool cardVisible() const { return cards.isShowing(); }
    int cardsShown() const { return cards.shownCount(); }
    const DeliveryRepairCardController::Model& card() const { return cards.currentModel(); }
    void pressCardReinsert() { cards.reinsert(); }
    void pressCardOk() { cards.hide(); }
    const std::vector<ClipItem>& clipboardHistory() const { return clipboard.items(); }

    // The services, for tests that go beyond the scripting methods.
    test::TestEnvironment env;
    sim::SimDesktop desktop;
    sim::SimPasteboard pasteboard;
    sim::SimKeyPoster keys;
    sim::SimAccessibility ax;
    sim::SimSecureEventInput secure;
    ClipboardManager clipboard;
    DeliveryRepairCardController cards;
    sim::SimEventTap tap;
    // One screen, as large as the test process's own (the tap converts with it).
    sim::SimScreens screens;

private:
    void mouse(InputEventType type, QPointF at, int clickState);
    void key(quint16 keyCode, bool down, quint64 flags, const QString& chars = {});
    std::vector<std::function<void()>> restore_;
    std::unique_ptr<struct DeskMenu> menu_;
    double start_ = 0;
};

}  // namespace murmelo::e2e
