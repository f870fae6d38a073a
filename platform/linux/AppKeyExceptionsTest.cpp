#include "linux/AppKeyExceptions.h"

#include "DesktopHarness.h"
#include "linux/KeyTable.h"
#include "linux/X11Workspace.h"
#include "linux/XTestKeyPoster.h"
#include "linux/XiEventStream.h"

#include <QLineEdit>
#include <QWidget>
#include <QWindow>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

constexpr quint64 CMD = KeyTable::FLAG_COMMAND;
constexpr quint64 SHIFT = KeyTable::FLAG_SHIFT;
constexpr quint64 OPT = KeyTable::FLAG_OPTION;
constexpr qint64 MARK = 0x54514D31;

}  // namespace

TEST(AppKeyExceptions, TerminalsAreKnownByClassOrDesktopId) {
    for (const char* id : {"xterm", "UXTerm", "gnome-terminal-server", "org.gnome.Terminal", "konsole",
                           "org.kde.konsole", "Xfce4-terminal", "terminator", "tilix", "Alacritty", "kitty", "foot",
                           "URxvt", "st-256color", "lxterminal", "mate-terminal", "qterminal",
                           "org.wezfurlong.wezterm", "org.kde.konsole.desktop"})
        EXPECT_TRUE(AppKeyExceptions::isTerminal(QString::fromLatin1(id))) << id;
    // Editors, browsers and ids that merely contain a terminal's name are not terminals.
    for (const char* id : {"", "gedit", "org.gnome.TextEditor", "firefox", "code", "murmelo_test_target",
                           "xterminal-notes", "st-notes", "kittycat"})
        EXPECT_FALSE(AppKeyExceptions::isTerminal(QString::fromLatin1(id))) << id;
    // Of the terminals, those without Ctrl+Shift+C and Ctrl+Shift+V.
    for (const char* id : {"xterm", "UXTerm", "URxvt", "rxvt-unicode", "xterm.desktop"})
        EXPECT_TRUE(AppKeyExceptions::lacksClipboardKeys(QString::fromLatin1(id))) << id;
    for (const char* id : {"", "gnome-terminal-server", "konsole", "kitty", "st-256color", "gedit"})
        EXPECT_FALSE(AppKeyExceptions::lacksClipboardKeys(QString::fromLatin1(id))) << id;
}

TEST(AppKeyExceptions, OnlyAPlainCommandVGainsShiftAndOnlyInATerminal) {
    struct Case {
        const char* what;
        QStringList front;
        int key;
        quint64 flags;
        quint64 expected;
    };
    const QStringList terminal = {"org.gnome.terminal", "gnome-terminal-server", "gnome-terminal"};
    const QStringList editor = {"org.gnome.texteditor", "gnome-text-editor"};
    const Case cases[] = {
        {"paste in a terminal", terminal, 9, CMD, CMD | SHIFT},
        {"terminal known only by its window class", {"some.custom.id", "kitty"}, 9, CMD, CMD | SHIFT},
        {"paste in an editor", editor, 9, CMD, CMD},
        {"no front application", {}, 9, CMD, CMD},
        {"plain V in a terminal", terminal, 9, 0, 0},
        // Ctrl+C would interrupt the shell's program instead of copying.
        {"copy in a terminal", terminal, 8, CMD, CMD | SHIFT},
        {"copy in an editor", editor, 8, CMD, CMD},
        {"another letter in a terminal", terminal, 7, CMD, CMD},
        // Option-arrows move by words: Ctrl-arrows on Linux, in every application.
        {"word-wise selection to the left", editor, 123, OPT | SHIFT, CMD | SHIFT},
        {"word to the right", {}, 124, OPT, CMD},
        {"Command-Option-Left stays", editor, 123, CMD | OPT, CMD | OPT},
        {"a plain arrow", editor, 123, SHIFT, SHIFT},
        {"Command-Shift-V already", terminal, 9, CMD | SHIFT, CMD | SHIFT},
        {"Command-Option-V", terminal, 9, CMD | KeyTable::FLAG_OPTION, CMD | KeyTable::FLAG_OPTION},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(AppKeyExceptions::shortcutFlags(c.front, c.key, c.flags), c.expected);
    }
    EXPECT_TRUE(AppKeyExceptions::mayDiffer(9, CMD));
    EXPECT_FALSE(AppKeyExceptions::mayDiffer(0, CMD));
    EXPECT_FALSE(AppKeyExceptions::mayDiffer(9, 0));
}

namespace {

// A window of the test's own that can pass for another application by its class.
struct DesktopTerminalPaste : ::testing::Test {
    QWidget window;
    std::unique_ptr<X11Workspace> workspace;
    std::unique_ptr<XTestKeyPoster> poster;
    std::unique_ptr<XiEventStream> stream;
    std::vector<StreamEvent> events;
    Display* dpy = nullptr;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        dpy = XOpenDisplay(nullptr);
        ASSERT_NE(dpy, nullptr);
        workspace = std::make_unique<X11Workspace>();
        ASSERT_TRUE(workspace->isConnected());
        poster = std::make_unique<XTestKeyPoster>();
        ASSERT_TRUE(poster->isConnected());
        poster->setFrontApplicationIds([this] { return workspace->frontApplicationIds(); });
        window.show();
        ASSERT_TRUE(test::waitUntil([&] { return window.windowHandle() && window.windowHandle()->isExposed(); }));
    }
    void TearDown() override {
        if (dpy) XCloseDisplay(dpy);
    }
    void passFor(const QByteArray& instance, const QByteArray& cls) {
        const QByteArray value = instance + '\0' + cls + '\0';
        XChangeProperty(dpy, window.winId(), XA_WM_CLASS, XA_STRING, 8, PropModeReplace,
                        reinterpret_cast<const unsigned char*>(value.constData()), value.size());
        XSetInputFocus(dpy, window.winId(), RevertToParent, CurrentTime);
        XFlush(dpy);
        ASSERT_TRUE(test::waitUntil([&] { return workspace->frontApplicationIds().contains(instance.toLower()); }));
    }
    // The modifier flags in force when V went down, as the global stream saw it.
    std::optional<quint64> flagsAtV() {
        events.clear();
        stream = std::make_unique<XiEventStream>([this](const StreamEvent& e) { events.push_back(e); });
        if (!stream->isRunning()) return std::nullopt;
        for (const KeyEvent& e : {KeyEvent{55, true, CMD, {}, MARK}, KeyEvent{9, true, CMD, {}, MARK},
                                  KeyEvent{9, false, CMD, {}, MARK}, KeyEvent{55, false, 0, {}, MARK}})
            if (!poster->post(e)) return std::nullopt;
        const auto released = [&] {
            return !events.empty() && events.back().keyCode == 55 && events.back().flags == 0;
        };
        if (!test::waitUntil(released)) return std::nullopt;
        for (const StreamEvent& e : events) {
            EXPECT_TRUE(e.own);
            if (e.kind == StreamEvent::Kind::KeyDown && e.keyCode == 9) return e.flags;
        }
        return std::nullopt;
    }
};

}  // namespace

TEST_F(DesktopTerminalPaste, CommandVReachesATerminalWithShiftAndOthersWithout) {
    passFor("gnome-terminal-server", "Gnome-terminal");
    EXPECT_EQ(flagsAtV(), CMD | SHIFT);
    passFor("gedit", "Gedit");
    EXPECT_EQ(flagsAtV(), CMD);
    // The Shift we added is let go again: the next key is plain.
    passFor("konsole", "konsole");
    EXPECT_EQ(flagsAtV(), CMD | SHIFT);
    EXPECT_EQ(events.back().flags, 0u);
}

// xterm has no paste key: Command-V puts the clipboard into PRIMARY and becomes Shift+Insert
// with our Ctrl let go; Command-C is never sent (it would interrupt the terminal's program).
TEST_F(DesktopTerminalPaste, AterminalWithoutClipboardKeysPastesPrimaryWithShiftInsert) {
    int mirrored = 0;
    poster->setPrimaryMirror([&] { return ++mirrored, true; });
    passFor("xterm", "XTerm");
    EXPECT_EQ(poster->frontEditing(), FrontEditing::terminalWithoutClipboardKeys);
    EXPECT_EQ(flagsAtV(), std::nullopt) << "no V went down";
    EXPECT_EQ(mirrored, 1);
    // Our Ctrl goes up twice: around the Shift+Insert, and at the chord's end.
    ASSERT_TRUE(test::waitUntil([&] {
        return std::count_if(events.begin(), events.end(), [](const StreamEvent& e) {
                   return e.keyCode == 55 && e.flags == 0;
               }) == 2;
    }));
    const auto insert = std::find_if(events.begin(), events.end(), [](const StreamEvent& e) {
        return e.kind == StreamEvent::Kind::KeyDown && e.xKeycode == 118;
    });
    ASSERT_NE(insert, events.end());
    EXPECT_EQ(insert->flags, SHIFT) << "Shift alone: our Ctrl is let go around it";
    EXPECT_EQ(events.back().flags, 0u);

    EXPECT_FALSE(poster->post(KeyEvent{8, true, CMD, {}, MARK}));
    passFor("gedit", "Gedit");
    EXPECT_EQ(poster->frontEditing(), FrontEditing::editor);
}

// The core's Option-Shift-Left, posted through XTest, selects the word before the caret in a
// Linux text field (as Ctrl+Shift+Left), and Alt never goes down.
TEST_F(DesktopTerminalPaste, OptionShiftLeftSelectsTheWordBeforeTheCaret) {
    QLineEdit edit(&window);
    edit.setText(QStringLiteral("ghbdtn vbh"));
    edit.show();
    passFor("gedit", "Gedit");
    edit.setFocus();
    ASSERT_TRUE(test::waitUntil([&] { return edit.hasFocus(); }));
    edit.end(false);
    for (const bool down : {true, false}) ASSERT_TRUE(poster->post(KeyEvent{123, down, OPT | SHIFT, {}, MARK}));
    EXPECT_TRUE(test::waitUntil([&] { return edit.selectedText() == QStringLiteral("vbh"); }))
        << "selected: " << edit.selectedText().toStdString();
    EXPECT_EQ(edit.text(), QStringLiteral("ghbdtn vbh"));
}
