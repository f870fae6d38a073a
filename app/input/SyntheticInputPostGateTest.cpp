#include "input/InputTestFixture.h"
#include "input/SyntheticInputPostGate.h"

using namespace murmelo;

namespace {

class SyntheticInputTest : public test::SimInputTest {
protected:
    // Records each posted event with the virtual time it left at.
    std::vector<std::pair<double, KeyEvent>> timeline;
    SyntheticInputTest() {
        keys.addObserver([this](const KeyEvent& e) { timeline.emplace_back(env.clock().uptime(), e); });
    }
    double t0 = env.clock().uptime();
};

TEST(SyntheticMark, IsTQM1ReadBigEndianWithUpperHalfZero) {
    EXPECT_EQ(SYNTHETIC_MARK, 0x54514D31);
}

TEST(SyntheticInputPostGate, ContractTestSwitchMatchesExactly) {
    struct Case {
        const char* value;  // null: variable absent
        const char* process;
        bool blocked;
    } cases[] = {
        {"1", "murmelo", true},
        {"true", "murmelo", false},
        {"1 ", "murmelo", false},
        {"0", "murmelo", false},
        {nullptr, "murmelo-tests-input", true},
        {nullptr, "murmelo_input_tests", false},
        {nullptr, "murmelo", false},
    };
    for (const Case& c : cases) {
        QProcessEnvironment env;
        if (c.value) env.insert(QStringLiteral("MURMELO_CONTRACT_TEST_RUNTIME"), QString::fromLatin1(c.value));
        EXPECT_EQ(SyntheticInputPostGate::computeIsBlocked(env, QString::fromLatin1(c.process)), c.blocked)
            << (c.value ? c.value : "(absent)") << " " << c.process;
    }
}

TEST(RemoteViewer, PrefixRuleIsLowerCasedPlainPrefix) {
    struct Case {
        std::optional<QString> id;
        bool remote;
    } cases[] = {
        {std::nullopt, false},
        {QString(), false},
        {QStringLiteral("com.teamviewer"), false},  // the trailing dot is part of the prefix
        {QStringLiteral("com.teamviewer.TeamViewer"), true},
        {QStringLiteral("COM.CARRIEZ.RUSTDESK"), true},
        {QStringLiteral("com.nomachine.nxplayer"), true},
        {QStringLiteral("org.remmina.Remmina"), true},
        {QStringLiteral("remmina"), true},
        {QStringLiteral("vncviewer"), true},  // TigerVNC's window class
        {QStringLiteral("xfreerdp"), true},
        {QStringLiteral("org.kde.krdc"), true},
        {QStringLiteral("org.gnome.Connections"), true},
        {QStringLiteral("x2goclient"), true},
        {QStringLiteral("nxplayer.bin"), true},
        {QStringLiteral("org.gnome.TextEditor"), false},
        {QStringLiteral("org.kde.kate"), false},
    };
    for (const Case& c : cases) EXPECT_EQ(isRemoteViewerBundleID(c.id), c.remote) << c.id.value_or("(none)").toStdString();
}

TEST_F(SyntheticInputTest, LocalChordIsPostedAtOnceMarkedAndEndsWithABareCommandUp) {
    desktop.addField(QStringLiteral("com.teamviewer.TeamViewer"));
    desktop.focus(QStringLiteral("com.teamviewer.TeamViewer"));
    // The setting is off: a viewer in front does not make the chord remote.
    sendCommandKeystroke(9);
    ASSERT_EQ(keys.posted().size(), 4u);
    const std::vector<std::pair<quint16, bool>> expected = {{55, true}, {9, true}, {9, false}, {55, false}};
    for (size_t i = 0; i < 4; ++i) {
        const KeyEvent& e = keys.posted()[i];
        EXPECT_EQ(std::make_pair(e.keyCode, e.keyDown), expected[i]);
        EXPECT_EQ(e.userData, SYNTHETIC_MARK);
        EXPECT_EQ(e.source, KeySourceState::CombinedSession);
        EXPECT_EQ(e.flags, i < 3 ? KeyFlags::command : 0u);
    }
}

TEST_F(SyntheticInputTest, RemoteChordLeavesAtSixtyMillisecondSteps) {
    desktop.addField(QStringLiteral("COM.TeamViewer.Viewer"));
    desktop.focus(QStringLiteral("COM.TeamViewer.Viewer"));
    setClipboardPasteMode(true);
    sendCommandKeystroke(9);
    EXPECT_TRUE(keys.posted().empty());
    env.advance(1.0);
    ASSERT_EQ(timeline.size(), 4u);
    for (size_t i = 0; i < 4; ++i) {
        EXPECT_NEAR(timeline[i].first - t0, 0.06 * double(i), 1e-9);
        EXPECT_EQ(timeline[i].second.source, KeySourceState::HIDSystem);
        EXPECT_EQ(timeline[i].second.userData, SYNTHETIC_MARK);
    }
    EXPECT_EQ(timeline.back().second.flags, 0u);
}

TEST_F(SyntheticInputTest, SettingOnWithoutAViewerInFrontStaysLocal) {
    desktop.addField(QStringLiteral("org.kde.kate"));
    desktop.focus(QStringLiteral("org.kde.kate"));
    setClipboardPasteMode(true);
    EXPECT_TRUE(isClipboardPasteMode());
    EXPECT_FALSE(isRemotePasteActive());
    sendPasteKeystroke();
    EXPECT_EQ(keys.posted().size(), 4u);
}

TEST_F(SyntheticInputTest, SimulatedFieldTakesMarkedUnicodeDeleteAndPaste) {
    auto field = desktop.addField(QStringLiteral("org.kde.kate"), QStringLiteral("AXTextArea"), QStringLiteral("ab"));
    desktop.focus(QStringLiteral("org.kde.kate"));
    SyntheticInputPostGate::post({0, true, 0, QStringLiteral("ё"), SYNTHETIC_MARK});
    SyntheticInputPostGate::post({51, true, 0, {}, SYNTHETIC_MARK});
    SyntheticInputPostGate::post({51, true, 0, {}, SYNTHETIC_MARK});
    pasteboard.copyFromOtherApp(QStringLiteral("XY"));
    sendPasteKeystroke();
    EXPECT_EQ(field->value, QStringLiteral("aXY"));
}

}  // namespace
