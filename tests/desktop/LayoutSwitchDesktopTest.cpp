// The layout switcher on the real desktop: the program runs as the user starts it, the user's
// keys come from another X client (XTest, not in our ledger: the user's, as far as we can
// tell), the field is the target window's line edit, read back through AT-SPI.
#include "DesktopHarness.h"
#include "linux/AtspiAccessibility.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

// Last: Xlib's macros (None, Bool, Status) would break the headers above.
#include <X11/XKBlib.h>
#include <X11/extensions/XTest.h>

using namespace murmelo;

namespace {

// X key codes of a PC keyboard by the Latin letter they carry.
int keycodeOf(QChar c) {
    static const QHash<QChar, int> codes{{'g', 42}, {'h', 43}, {'b', 56}, {'d', 40}, {'t', 28}, {'n', 57},
                                         {'e', 26}, {'l', 46}, {'o', 32}, {'f', 41}, {' ', 65}};
    return codes.value(c);
}
constexpr int kBackSpace = 22;

int lockedGroup(Display* d) {
    XkbStateRec st{};
    XkbGetState(d, XkbUseCoreKbd, &st);
    return st.locked_group;
}

struct DesktopLayoutSwitch : ::testing::Test {
    test::DesktopTarget target;
    test::DesktopProgram app;
    Display* keyboard = nullptr;
    std::unique_ptr<linuxdesktop::AtspiAccessibility> ax;
    AXElementPtr field;

    QString log() const { return app.log(); }

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        keyboard = XkbOpenDisplay(nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
        ASSERT_NE(keyboard, nullptr);
    }
    // Starts the program with these user settings stored.
    void startProgram(const QByteArray& defaultsJson = "{}") {
        ASSERT_TRUE(app.start(defaultsJson)) << log().toStdString();
        ax = std::make_unique<linuxdesktop::AtspiAccessibility>();
        ASSERT_TRUE(ax->isConnected());
        ASSERT_TRUE(target.command("clear"));
        target.command("focus text");
        ASSERT_TRUE(target.command("focus line"));
        ASSERT_TRUE(test::waitUntil([&] {
            field = ax->focusedElement();
            return field && ax->attribute(*field, "AXRole").toString() == "AXTextField";
        }, 30));
    }
    void TearDown() override {
        if (keyboard) {
            XkbLockGroup(keyboard, XkbUseCoreKbd, 0);
            XCloseDisplay(keyboard);
        }
    }
    void press(int keycode) {
        XTestFakeKeyEvent(keyboard, unsigned(keycode), True, 0);
        XTestFakeKeyEvent(keyboard, unsigned(keycode), False, 0);
        XFlush(keyboard);
    }
    // Types as a person does, at most about seven keys a second, each key once the field
    // shows the one before it. X11 lets the program answer a key only after the field has it:
    // keys sent in one burst would all reach the field before the program's answer to the
    // first of them (a word flipped while it is typed), which no person's typing does.
    void type(const QString& latin) {
        for (QChar c : latin) {
            const qsizetype before = target.line().size();
            QElapsedTimer pressed;
            pressed.start();
            press(keycodeOf(c));
            ASSERT_TRUE(test::waitUntil([&] { return target.line().size() == before + 1; }, 30))
                << "typing " << QString(c).toStdString() << ": " << target.line().toStdString();
            test::waitUntil([&] { return pressed.elapsed() >= kKeyInterval; }, 10);
        }
    }
    static constexpr qint64 kKeyInterval = 150;  // ms from one key to the next
    QString fieldText() { return ax->attribute(*field, "AXValue").toString(); }
};

}  // namespace

// Another program holds Ctrl+Alt+Z before ours starts: the start says so and the program is
// named among the rivals; the chord with Shift, which nobody else holds, is ours.
TEST_F(DesktopLayoutSwitch, ARevertChordAnotherProgramHoldsIsReportedAtStart) {
    constexpr int kZ = 52;
    XGrabKey(keyboard, kZ, ControlMask | Mod1Mask, DefaultRootWindow(keyboard), True, GrabModeAsync, GrabModeAsync);
    XSync(keyboard, False);
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(log().contains(QStringLiteral(
        "⚠ сочетание Ctrl+Alt+Z держит другая программа — откат полировки дойдёт и до приложения в фокусе")))
        << log().toStdString();
    EXPECT_TRUE(test::waitUntil([&] { return log().contains(QStringLiteral("ЧУЖОЙ ПЕРЕХВАТЧИК: программа с Ctrl+Alt+Z.")); }, 30))
        << "named among the rivals, as the status menu shows them\n" << log().toStdString();
    XUngrabKey(keyboard, kZ, ControlMask | Mod1Mask, DefaultRootWindow(keyboard));
    XSync(keyboard, False);
}

// A word typed in the wrong layout is retyped (while it is typed, or at its end) and the
// Russian layout follows:
// the user's next keys type Russian.
TEST_F(DesktopLayoutSwitch, AWordInTheWrongLayoutIsRetypedAndTheRussianLayoutFollows) {
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    type("ghbdtn ");
    ASSERT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("привет "); }, 30))
        << fieldText().toStdString() << "\n" << log().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return lockedGroup(keyboard) == 1; }, 30)) << log().toStdString();
    EXPECT_EQ(target.line(), QStringLiteral("привет ")) << "the field's own account";
    // One key after the other has arrived, as a person types.
    type("l");
    ASSERT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("привет д"); }, 30))
        << fieldText().toStdString() << "\n" << log().toStdString();
    type("f");
    EXPECT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("привет да"); }, 30))
        << fieldText().toStdString() << "\n" << log().toStdString();
}

// With the word left alone while it is typed (live conversion off), it is retyped at its
// end, and the very next Backspace (within the two seconds the undo lasts) takes the
// correction back, and the layout with it.
TEST_F(DesktopLayoutSwitch, TheNextBackspaceTakesTheCorrectionBack) {
    startProgram(R"({"layoutLiveConvert": false})");
    ASSERT_FALSE(HasFatalFailure());
    type("ghbdtn ");
    ASSERT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("привет "); }, 30))
        << fieldText().toStdString() << "\n" << log().toStdString();
    press(kBackSpace);
    ASSERT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("ghbdtn "); }, 30))
        << fieldText().toStdString() << "\n" << log().toStdString();
    EXPECT_EQ(target.line(), QStringLiteral("ghbdtn ")) << "the field's own account";
    EXPECT_TRUE(test::waitUntil([&] { return lockedGroup(keyboard) == 0; }, 30)) << log().toStdString();
}

// An English word on the US layout is left alone.
TEST_F(DesktopLayoutSwitch, AnEnglishWordIsLeftAlone) {
    startProgram();
    ASSERT_FALSE(HasFatalFailure());
    type("hello ");
    ASSERT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("hello "); }, 30)) << fieldText().toStdString();
    // Nothing more comes: the next word lands right after it.
    type("hello ");
    ASSERT_TRUE(test::waitUntil([&] { return fieldText() == QStringLiteral("hello hello "); }, 30))
        << fieldText().toStdString() << "\n" << log().toStdString();
    EXPECT_EQ(lockedGroup(keyboard), 0);
    EXPECT_FALSE(log().contains("layout: исправлено")) << log().toStdString();
}
