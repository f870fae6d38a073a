#include "linux/XTestKeyPoster.h"

#include "DesktopHarness.h"
#include "linux/OwnEventLedger.h"
#include "linux/QtPasteboard.h"
#include "linux/XkbInputSources.h"

#include <QTextBoundaryFinder>
#include <X11/XKBlib.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

constexpr qint64 MARK = 0x54514D31;

// Types text the way the delivery does: one marked key down and key up per user-perceived
// character, the character as the event's Unicode string, key code 0.
void typeUnicode(KeyEventPoster& poster, const QString& text) {
    QTextBoundaryFinder f(QTextBoundaryFinder::Grapheme, text);
    qsizetype start = 0;
    while (f.toNextBoundary() != -1) {
        const QString g = text.mid(start, f.position() - start);
        start = f.position();
        ASSERT_TRUE(poster.post({0, true, 0, g, MARK}));
        ASSERT_TRUE(poster.post({0, false, 0, g, MARK}));
    }
}

int lockedGroup() {
    Display* d = XOpenDisplay(nullptr);
    XkbStateRec st{};
    XkbGetState(d, XkbUseCoreKbd, &st);
    XCloseDisplay(d);
    return st.locked_group;
}

struct DesktopKeys : ::testing::Test {
    test::DesktopTarget target;
    std::unique_ptr<XTestKeyPoster> poster;

    void SetUp() override {
        if (!test::DesktopTarget::available()) GTEST_SKIP() << "needs the test desktop (scripts/desktop-session)";
        poster = std::make_unique<XTestKeyPoster>();
        ASSERT_TRUE(poster->isConnected());
        ASSERT_TRUE(target.command("clear"));
    }
    void focus(const char* which) {
        ASSERT_TRUE(target.command(QStringLiteral("focus ") + QLatin1String(which)));
        ASSERT_TRUE(test::waitUntil([&] {
            return target.state().value("focus").toString() == QLatin1String(which) &&
                   target.state().value("active").toBool();
        }));
    }
};

}  // namespace

TEST_F(DesktopKeys, TypesRussianAndEnglishIntoTheLineEdit) {
    focus("line");
    const QString text = QStringLiteral("Привет, мир! Hello");
    typeUnicode(*poster, text);
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == text; })) << target.line().toStdString();
    // The Russian group was borrowed for the Cyrillic run and given back.
    EXPECT_TRUE(test::waitUntil([&] { return lockedGroup() == 0; }));
}

// The groups the typing borrows are no choice of the user's: input-source listeners hear
// nothing of them and the current source stays the user's while the run is typed.
TEST_F(DesktopKeys, BorrowedGroupsAreNoSelectionOfTheUsers) {
    XkbInputSources sources;
    ASSERT_TRUE(sources.isConnected());
    std::vector<QString> heard;
    sources.setSelectionHandler([&](const InputSource& s) { heard.push_back(s.id); });
    focus("line");
    const QString us = QStringLiteral("com.apple.keylayout.US"), ru = QStringLiteral("com.apple.keylayout.Russian");
    typeUnicode(*poster, QStringLiteral("привет"));
    EXPECT_EQ(sources.currentSource()->id, us) << "asked inside the run";
    typeUnicode(*poster, QStringLiteral(" hi ещё"));
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == QStringLiteral("привет hi ещё"); }))
        << target.line().toStdString();
    ASSERT_TRUE(test::waitUntil([&] { return lockedGroup() == 0; }));
    // A selection after the typing is heard, and is the first thing heard.
    ASSERT_TRUE(sources.select(ru));
    ASSERT_TRUE(test::waitUntil([&] { return !heard.empty(); }, 30.0));
    EXPECT_EQ(heard, std::vector<QString>{ru});
    sources.select(us);
    EXPECT_TRUE(test::waitUntil([&] { return heard.size() == 2; }, 30.0));
}

TEST_F(DesktopKeys, CharactersNoLayoutHasAreTypedThroughSpareKeys) {
    focus("text");
    const QString text = QStringLiteral("Ёлка № 5 — café ✓ 😀\nend");
    typeUnicode(*poster, text.left(text.indexOf('\n')));
    poster->post({36, true, 0, {}, MARK});
    poster->post({36, false, 0, {}, MARK});
    typeUnicode(*poster, QStringLiteral("end"));
    EXPECT_TRUE(test::waitUntil([&] { return target.text() == text; })) << target.text().toStdString();
}

TEST_F(DesktopKeys, FlagsOfAKeyArePressedAroundIt) {
    focus("line");
    typeUnicode(*poster, QStringLiteral("old words"));
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == "old words"; }));
    // Command-A (Ctrl+A here) selects all; the next character replaces the selection.
    ASSERT_TRUE(poster->post({0, true, KeyFlags::command, {}, MARK}));
    ASSERT_TRUE(poster->post({0, false, KeyFlags::command, {}, MARK}));
    typeUnicode(*poster, QStringLiteral("new"));
    EXPECT_TRUE(test::waitUntil([&] { return target.line() == "new"; })) << target.line().toStdString();
}

TEST_F(DesktopKeys, PasteFiresTheReadCanaryAndTheOldClipboardComesBack) {
    QtPasteboard board;
    // Another client owns the clipboard with the user's text.
    ASSERT_TRUE(target.command("copy the user's words"));
    ASSERT_TRUE(test::waitUntil([&] { return board.string() == QStringLiteral("the user's words"); }));
    const QList<PasteboardItem> saved = board.items();
    ASSERT_EQ(saved.size(), 1);
    const qint64 before = board.changeCount();

    // Our promise: the canary fires only when a client fetches the text.
    int reads = 0;
    PasteboardItem marker;
    marker.setData(QStringLiteral("org.nspasteboard.TransientType"), QByteArray());
    ASSERT_TRUE(board.writePromised(marker, Pasteboard::plainTextType, [&] {
        ++reads;
        return QStringLiteral("Вставка из буфера").toUtf8();
    }));
    EXPECT_GT(board.changeCount(), before);
    EXPECT_TRUE(board.types().contains(QStringLiteral("org.nspasteboard.TransientType")));
    EXPECT_EQ(reads, 0) << "listing the types must not fetch the data";

    focus("line");
    // Command-V: the core's left Command (left Ctrl here), V, releases.
    for (const KeyEvent& e : {KeyEvent{55, true, KeyFlags::command, {}, MARK}, KeyEvent{9, true, KeyFlags::command, {}, MARK},
                              KeyEvent{9, false, KeyFlags::command, {}, MARK}, KeyEvent{55, false, 0, {}, MARK}})
        ASSERT_TRUE(poster->post(e));
    ASSERT_TRUE(test::waitUntil([&] { return target.line() == QStringLiteral("Вставка из буфера"); }))
        << target.line().toStdString();
    EXPECT_GE(reads, 1);

    // The user's clipboard is written back, and we own it: another client reads it.
    ASSERT_TRUE(board.writeItems(saved));
    ASSERT_TRUE(target.command("read clipboard"));
    EXPECT_EQ(target.state().value("clipboard").toString(), QStringLiteral("the user's words"));
    Display* d = XOpenDisplay(nullptr);
    const Window owner = XGetSelectionOwner(d, XInternAtom(d, "CLIPBOARD", False));
    XCloseDisplay(d);
    EXPECT_NE(owner, static_cast<Window>(target.windowId()));
    EXPECT_NE(owner, static_cast<Window>(None));
}
