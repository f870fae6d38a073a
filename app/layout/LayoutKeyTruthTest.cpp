#include "layout/LayoutWritingTestSupport.h"

using namespace murmelo;
using namespace murmelo::test;

namespace {

struct KeyTruth : WritingRig {
    // Asks for the Russian source as a correction does; performed once the delay passed.
    void ownSwitchToRussian(bool performed = true) {
        ASSERT_TRUE(selection->selectExactSource(RU, false));
        if (performed) env.advance(0.1);
    }
    // The user's key through the engine's key-truth step alone.
    std::pair<QString, bool> key(qint64 code, const QString& raw, bool ownTranslation = true, bool idle = true) {
        return truth->handleKey(keyEvent(code, raw), raw, ownTranslation, idle);
    }
    QStringList typedByEngine() const {
        QStringList out;
        for (const KeyEvent& e : keys.posted())
            if (e.keyDown && !e.unicode.isEmpty()) out << e.unicode;
        return out;
    }
};

TEST_F(KeyTruth, SignsOfTheOtherLayoutsLetterKeys) {
    struct Case {
        const char* name;
        QString ch, from, to;
        bool expected;
    } cases[] = {
        {"semicolon is ж", ";", "en", "ru", true},
        {"bracket is х", "[", "en", "ru", true},
        {"apostrophe never counts", "'", "en", "ru", false},
        {"a letter is not a sign", "g", "en", "ru", false},
        {"a digit stays a digit", "7", "en", "ru", false},
        {"no language", ";", "", "ru", false},
    };
    for (const Case& c : cases)
        EXPECT_EQ(LayoutKeyTruth::letterOfOtherLayout(c.ch, c.from, c.to), c.expected) << c.name;
    EXPECT_TRUE(LayoutKeyTruth::bridgeAdmitsSign(";", QString("en"), "ru", true));
    EXPECT_FALSE(LayoutKeyTruth::bridgeAdmitsSign(";", QString("en"), "ru", false)) << "rule off";
    EXPECT_FALSE(LayoutKeyTruth::bridgeAdmitsSign(";", std::nullopt, "ru", true)) << "truth unknown";
    EXPECT_FALSE(LayoutKeyTruth::bridgeAdmitsSign(";", QString("ru"), "ru", true)) << "already the target";
    EXPECT_EQ(LayoutKeyTruth::bridgeSource(std::nullopt, QString("en"), "ru"), "en");
    EXPECT_EQ(LayoutKeyTruth::bridgeSource(QString("ru"), QString("en"), "ru"), "ru");
    EXPECT_EQ(LayoutKeyTruth::bridgeSource(std::nullopt, std::nullopt, "ru"), "ru");
}

TEST_F(KeyTruth, StaleTablesAreReadThroughTheTarget) {
    EXPECT_TRUE(LayoutKeyTruth::staleTableSignature(QString("ru"), 10, RU, QString("en"), 5));
    EXPECT_FALSE(LayoutKeyTruth::staleTableSignature(QString("ru"), 10, RU, QString("en"), 10)) << "window over";
    EXPECT_FALSE(LayoutKeyTruth::staleTableSignature(QString("ru"), 10, US, QString("en"), 5)) << "not our source";
    EXPECT_FALSE(LayoutKeyTruth::staleTableSignature(QString("ru"), 10, RU, QString("ru"), 5)) << "keys arrived";
    EXPECT_FALSE(LayoutKeyTruth::staleTableSignature(std::nullopt, 10, RU, QString("en"), 5));
    EXPECT_EQ(LayoutKeyTruth::ownReading(true, true, QString("ru"), Keys::g, 0, "g"), std::optional<QString>("п"));
    EXPECT_FALSE(LayoutKeyTruth::ownReading(false, true, QString("ru"), Keys::g, 0, "g"));
    EXPECT_FALSE(LayoutKeyTruth::ownReading(true, true, QString("ru"), Keys::g, 0, "п")) << "same characters";
}

// Right after the own switch the old tables still serve a key: it is retyped in Russian.
TEST_F(KeyTruth, GraceBridgesALetterBeforeAndAfterTheSwitchIsPerformed) {
    ownSwitchToRussian(false);
    EXPECT_EQ(key(Keys::g, "g"), std::pair(QString("g"), true)) << "selection still pending";
    ownSwitchToRussian();
    EXPECT_EQ(key(Keys::h, "h"), std::pair(QString("р"), true)) << "read by our own tables";
    EXPECT_EQ(typedByEngine(), (QStringList{"п", "р"}));
    EXPECT_EQ(engine->buf, "пр");
    EXPECT_TRUE(env.logContains("layout: grace-мост "));
    EXPECT_EQ(engine->lastKeyTruth, std::optional<QString>("ru"));
}

TEST_F(KeyTruth, SignsInTheGraceWindow) {
    ownSwitchToRussian();
    EXPECT_EQ(key(Keys::semicolon, ";", false, false), std::pair(QString(";"), true));
    EXPECT_EQ(key(Keys::quote, "'", false, false), std::pair(QString("'"), false)) << "the apostrophe passes";
    EXPECT_EQ(typedByEngine(), QStringList{"ж"});
    EXPECT_EQ(engine->graceTarget, std::optional<QString>("ru")) << "a sign that passes leaves grace armed";
}

TEST_F(KeyTruth, WithTruthFromKeysALetterAlreadyInTheTargetEndsGrace) {
    rebuild({{"MURMELO_RULE_TRUTH_FROM_KEYS", "1"}});
    ownSwitchToRussian();
    EXPECT_EQ(key(Keys::g, "п"), std::pair(QString("п"), false));
    EXPECT_FALSE(engine->graceTarget);
    EXPECT_FALSE(engine->layoutVerifyTarget) << "the letter shows the switch arrived";
    EXPECT_TRUE(typedByEngine().isEmpty());
}

// Past the grace window each letter still in English repeats the selection, up to the limit.
// A repeated selection arms a fresh grace window, so the letters come more than one apart.
TEST_F(KeyTruth, VerificationRetriesAndBridgesUntilTheLimit) {
    ownSwitchToRussian();
    sources.selectCalls.clear();
    const double apart = engine->graceWindow + 0.05;
    env.advance(apart);
    EXPECT_EQ(key(Keys::g, "g", false, false), std::pair(QString("g"), true));
    env.advance(apart);
    EXPECT_EQ(key(Keys::h, "h", false, false), std::pair(QString("h"), true));
    env.advance(apart);
    EXPECT_EQ(key(Keys::d, "d", false, false), std::pair(QString("d"), false)) << "retries used up";
    EXPECT_EQ(engine->layoutVerifyRetries, 2);
    EXPECT_FALSE(engine->layoutVerifyTarget);
    EXPECT_EQ(typedByEngine(), (QStringList{"п", "р"}));
    EXPECT_TRUE(env.logContains("⚠ layout: флип в ru не доехал до HID (события в en) — повторный TIS-селект №2"));
    EXPECT_EQ(sources.selectCalls, (QStringList{RU, RU}));
}

TEST_F(KeyTruth, AfterTheVerifyWindowLettersPass) {
    ownSwitchToRussian();
    env.advance(LayoutSwitcher::verifyWindow);
    EXPECT_EQ(key(Keys::g, "g", false, false), std::pair(QString("g"), false));
    EXPECT_FALSE(engine->layoutVerifyTarget);
    EXPECT_TRUE(typedByEngine().isEmpty());
}

TEST_F(KeyTruth, IdleReselectOncePerOwnSelection) {
    ownSwitchToRussian();
    sources.selectCalls.clear();
    key(Keys::g, "g");
    key(Keys::h, "h");
    EXPECT_EQ(sources.selectCalls, QStringList{RU});
    EXPECT_EQ(truth->idleReselects, 1u);
    EXPECT_TRUE(env.logContains("layout/R50: холостой TIS-селект ru на первом расхождении (событие несёт en) - "));
    EXPECT_EQ(env.logLines().filter("layout/R50: после нашего селекта событие несёт en, свой TIS ru").size(), 1);
}

TEST_F(KeyTruth, AKeyOfTwoCharactersNeverBridges) {
    ownSwitchToRussian();
    EXPECT_EQ(key(Keys::g, "gh", false, false), std::pair(QString("gh"), false));
    EXPECT_TRUE(typedByEngine().isEmpty());
    EXPECT_EQ(engine->graceTarget, std::optional<QString>("ru"));
}

TEST_F(KeyTruth, MismatchLinesAndDumpsAreRateLimited) {
    env.defaults().set("textWriteTrace", true);
    int probes = 0;
    steps.scheduleAXProbeOnMismatch = [&] { ++probes; };
    const QString line = "layout/правда: по клавишам ru, система говорит en, настройки en - расхождений за сессию ";
    for (int i = 0; i < 3; ++i) key(Keys::g, "п");
    env.advance(5.5);
    key(Keys::g, "п");
    EXPECT_EQ(env.logLines().filter(line).size(), 2);
    EXPECT_TRUE(env.logContains(line + "4"));
    EXPECT_EQ(env.logLines().filter("BEGIN reason=layout-truth-mismatch").size(), 1);
    EXPECT_EQ(probes, 4);
    EXPECT_EQ(truth->keyTruthMismatch, 4u);
    EXPECT_EQ(engine->observedByKeys, std::optional<QString>("ru"));
}

TEST_F(KeyTruth, EveryTwoHundredthAgreeingKeyIsLogged) {
    for (int i = 0; i < 399; ++i) key(Keys::g, "g");
    EXPECT_EQ(env.logLines().filter("layout/правда: сходится, ").size(), 1);
    key(Keys::g, "g");
    EXPECT_TRUE(env.logContains("layout/правда: сходится, 400 нажатий подряд (расхождений за сессию 0)"));
}

// A source the engine did not pick is the user's: no retyping into the engine's target, no
// reselection against it, not even inside the grace window.
TEST_F(KeyTruth, TheUsersOwnSwitchEndsGraceAndVerification) {
    for (const double after : {0.2, 2.0}) {
        SCOPED_TRACE(after);
        ownSwitchToRussian();
        sources.userSelects(US);
        env.runPending();
        env.advance(after);
        keys.clearPosted();
        sources.selectCalls.clear();
        EXPECT_EQ(key(Keys::g, "g"), std::pair(QString("g"), false));
        EXPECT_EQ(key(Keys::h, "h"), std::pair(QString("h"), false));
        EXPECT_TRUE(typedByEngine().isEmpty());
        EXPECT_TRUE(sources.selectCalls.isEmpty());
        EXPECT_FALSE(engine->graceTarget);
        EXPECT_FALSE(engine->layoutVerifyTarget);
        EXPECT_EQ(engine->lastKeyTruth, std::optional<QString>("en"));
    }
    EXPECT_TRUE(env.logContains("layout/правда: источник сменили не мы (en)"));
}

// Through the key path: a bridged key is swallowed and its letter joins the word.
TEST_F(KeyTruth, TheKeyPathSwallowsBridgedKeys) {
    ownSwitchToRussian();
    typeThrough("gh");
    EXPECT_EQ(fieldText(), "пр");
    EXPECT_EQ(engine->buf, "пр");
}

}  // namespace
