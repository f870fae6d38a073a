#include "input/InputTestFixture.h"

namespace murmelo::test {
namespace {

using SecureInputTest = SimInputTest;
using SecureInput::FieldProbe;
using SecureInput::WriteVerdict;

TEST_F(SecureInputTest, VerdictFollowsTheFocusedField) {
    struct Case {
        const char* name;
        QString role, subrole;
        bool focused;
        bool flag;
        WriteVerdict want;
    };
    const std::vector<Case> cases = {
        {"password field", QStringLiteral("AXSecureTextField"), {}, true, false, WriteVerdict::denySecureField},
        {"password subrole", QStringLiteral("AXTextField"), QStringLiteral("AXSecureTextField"), true, false,
         WriteVerdict::denySecureField},
        {"password field, flag on", QStringLiteral("AXSecureTextField"), {}, true, true, WriteVerdict::denySecureField},
        {"ordinary field, flag on", QStringLiteral("AXTextArea"), {}, true, true, WriteVerdict::allow},
        {"no focus, flag on", {}, {}, false, true, WriteVerdict::denyBlindAX},
        {"no focus, flag off", {}, {}, false, false, WriteVerdict::allow},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SecureInput::resetForTesting();
        SecureInput::apply(c.flag);
        const QString bundle = QStringLiteral("com.example.") + QString::fromLatin1(c.name).remove(' ').remove(',');
        if (c.focused) {
            auto f = frontField(bundle, QStringLiteral("x"), c.role);
            f->subrole = c.subrole;
        } else {
            desktop.addApp(bundle, QStringLiteral("empty"));
            desktop.focus(bundle);
        }
        EXPECT_EQ(SecureInput::pasteVerdict(), c.want);
    }
}

TEST_F(SecureInputTest, PollingLogsSwitchesAndTheHolder) {
    desktop.addApp(QStringLiteral("com.example.vault"), QStringLiteral("Vault"));
    const qint64 pid = desktop.app(QStringLiteral("com.example.vault"))->identity.pid;
    secure.registryText = QStringLiteral("+-o Root  <class IORegistryEntry>\n"
                                         "  | \"IOConsoleUsers\" = ({\"kCGSSessionSecureInputPID\"=%1,\"x\"=1},"
                                         "{\"kCGSSessionSecureInputPID\"=77})")
                              .arg(pid);
    std::vector<bool> shown;
    SecureInput::setPresentationObserver([&](bool active) { shown.push_back(active); });
    SecureInput::start();
    SecureInput::start();
    env.runPending();
    EXPECT_FALSE(SecureInput::flagActive());

    secure.enabled = true;
    env.advance(2.5);
    EXPECT_TRUE(SecureInput::flagActive());
    EXPECT_TRUE(env.logContains(QStringLiteral("скрытый ввод: ВКЛЮЧЁН - система прячет клавиши от перехвата")));
    EXPECT_EQ(SecureInput::tooltip(), SecureInput::menuTitle());
    env.runPending();
    EXPECT_TRUE(env.logContains(QStringLiteral("скрытый ввод: держатель по ioreg - Vault (pid %1; свойство залипает на "
                                               "ПЕРВОМ включившем за сессию, имя только для разбора)")
                                    .arg(pid)));

    env.advance(60.0);
    secure.enabled = false;
    env.advance(2.5);
    EXPECT_FALSE(SecureInput::flagActive());
    EXPECT_TRUE(env.logContains(QStringLiteral("скрытый ввод: снят (держался ~62 с)")));
    // On and off again between two polls is never seen.
    secure.enabled = true;
    env.advance(1.0);
    secure.enabled = false;
    env.advance(10.0);
    EXPECT_EQ(env.logText().count(QStringLiteral("ВКЛЮЧЁН")), 1);
    EXPECT_EQ(shown, (std::vector<bool>{true, false}));
    EXPECT_TRUE(SecureInput::tooltip().isEmpty());
}

TEST_F(SecureInputTest, HeldTimeIsTruncated) {
    SecureInput::apply(true);
    env.clock().advance(61.9);
    SecureInput::apply(false);
    EXPECT_TRUE(env.logContains(QStringLiteral("скрытый ввод: снят (держался ~61 с)")));
}

TEST_F(SecureInputTest, RefusedGestureIsLoggedOncePerPeriod) {
    SecureInput::apply(true);
    SecureInput::noteSuppressedDoubleShift();
    SecureInput::noteSuppressedDoubleShift();
    SecureInput::apply(false);
    SecureInput::apply(true);
    SecureInput::noteSuppressedDoubleShift();
    EXPECT_EQ(env.logText().count(QStringLiteral("скрытый ввод: двойной ⇧ разоружён")), 2);
}

TEST_F(SecureInputTest, HolderIsTheFirstOccurrence) {
    EXPECT_EQ(SecureInput::holderPid(QStringLiteral("\"kCGSSessionSecureInputPID\"=512 \"kCGSSessionSecureInputPID\"=9")),
              512);
    EXPECT_EQ(SecureInput::holderPid(QStringLiteral("\"kCGSSessionSecureInputPID\"=")), std::nullopt);
    EXPECT_EQ(SecureInput::holderPid(QStringLiteral("kCGSSessionSecureInputPID=5")), std::nullopt);
}

}  // namespace
}  // namespace murmelo::test
