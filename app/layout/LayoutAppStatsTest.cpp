#include "LayoutTestSupport.h"

#include "layout/LayoutAppStats.h"
#include "layout/LayoutSeam.h"
#include "layout/LayoutSwitcherHost.h"
#include "sim/SimDesktop.h"

using namespace murmelo;

namespace {

const QString US = QStringLiteral("com.apple.keylayout.US");
const QString RU = QStringLiteral("com.apple.keylayout.Russian");

struct LayoutAppStatsTest : test::SimulatedLayouts {
    sim::SimDesktop desktop;
    ScopedService<Workspace> workspaceScope{desktop};
    LayoutSwitcherHost host;

    void SetUp() override {
        SimulatedLayouts::SetUp();
        desktop.addApp("org.example.editor", "Editor");
        desktop.focus("org.example.editor");
        LayoutAppStats::resetSharedForTesting();
    }
    void TearDown() override {
        LayoutAppStats::resetSharedForTesting();
        SimulatedLayouts::TearDown();
    }
    LayoutAppStats& stats() { return LayoutAppStats::shared(); }
    void words(const char* word, int count) {
        for (int i = 0; i < count; ++i) host.noteWordForStats(QString::fromUtf8(word), false);
    }
    QStringList priorLines() const { return env.logLines().filter("layout/прайор: "); }
};

}  // namespace

TEST_F(LayoutAppStatsTest, PriorNeedsFiftyWordsAndNinetyPercent) {
    EXPECT_EQ(stats().bundle, "org.example.editor");
    EXPECT_EQ(stats().appName, "Editor");
    words("hello", 44);
    words("привет", 5);
    EXPECT_FALSE(stats().prior("org.example.editor"));  // 49 words: too few
    words("hello", 1);
    EXPECT_EQ(stats().prior("org.example.editor"), "en");  // 45 of 50, exactly 90 %
    EXPECT_FALSE(stats().prior("org.example.other"));

    EXPECT_FALSE(LayoutAppStats::activationPrior(30, 30));
    EXPECT_EQ(LayoutAppStats::activationPrior(5, 45), "ru");
    EXPECT_FALSE(LayoutAppStats::activationPrior(0, 0, 0));  // no words never make a prior
}

TEST_F(LayoutAppStatsTest, WordsAreCountedByTheirLettersAndALoneLatinLetterIsRemembered) {
    struct Case {
        const char* name;
        QStringList words;
        QHash<QString, qint64> delta;
    } cases[] = {
        {"Latin letter then Russian", {"a", "привет"}, {{"en", 1}, {"ru", 1}, {"latin1ru", 1}}},
        {"Latin letter then English", {"a", "hello"}, {{"en", 2}}},
        {"Cyrillic letter is not Latin", {"я", "привет"}, {{"ru", 2}}},
        {"no letters keep the memory", {"a", "123", "...", "привет"}, {{"en", 1}, {"ru", 1}, {"latin1ru", 1}}},
        {"unclear word resets it", {"a", "abcдеф", "привет"}, {{"en", 1}, {"ru", 1}}},
        {"unclear lone letter sets it", {"abcдеф", "x", "мир"}, {{"en", 1}, {"ru", 1}, {"latin1ru", 1}}},
        {"punctuation around a word", {"«мир»,"}, {{"ru", 1}}},
        {"empty", {""}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        stats().delta.clear();
        stats().lastTokenSoloLatin = false;
        for (const QString& w : c.words) host.noteWordForStats(w, false);
        EXPECT_EQ(stats().delta, c.delta);
    }
}

TEST_F(LayoutAppStatsTest, FlushAddsTheNewCountsWritesThemAndLogsOnlyWhatWasAdded) {
    env.defaults().set("layoutAppStats", QVariantMap{{"org.example.editor", QVariantMap{{"en", 10}, {"flip", 2}}}});
    LayoutAppStats::resetSharedForTesting();
    EXPECT_EQ(stats().stats.value("org.example.editor").value("en"), 10);
    words("a", 1);
    words("мир", 1);
    stats().noteFlip();
    stats().flush();

    const QVariantMap stored = env.defaults().dictionaryValue("layoutAppStats");
    EXPECT_EQ(stored.value("org.example.editor").toMap(),
              (QVariantMap{{"en", 11}, {"ru", 1}, {"flip", 3}, {"latin1ru", 1}}));
    EXPECT_TRUE(env.logContains(
        "layout/приложение: Editor en=1 ru=1 флип=1 латин1→ру=1 (org.example.editor)"));
    EXPECT_TRUE(stats().delta.isEmpty());

    // Nothing new: nothing written, nothing logged.
    const int lines = env.logLines().size();
    stats().flush();
    EXPECT_EQ(env.logLines().size(), lines);
}

TEST_F(LayoutAppStatsTest, StoredValueOfTheWrongFormIsIgnoredWhole) {
    for (const QVariant& bad : {QVariant(QStringLiteral("x")),
                                QVariant(QVariantMap{{"a", QVariantMap{{"en", 3}}}, {"b", QVariantMap{{"en", "3"}}}}),
                                QVariant(QVariantMap{{"a", 5}})}) {
        env.defaults().set("layoutAppStats", bad);
        LayoutAppStats::resetSharedForTesting();
        EXPECT_TRUE(stats().stats.isEmpty());
    }
    words("hello", 1);
    stats().flush();
    EXPECT_EQ(env.defaults().dictionaryValue("layoutAppStats"),
              (QVariantMap{{"org.example.editor", QVariantMap{{"en", 1}}}}));
}

TEST_F(LayoutAppStatsTest, CountsWithoutABundleIdentifierAreDropped) {
    stats().appActivated(std::nullopt, "?");
    words("hello", 60);
    stats().flush();
    EXPECT_FALSE(env.defaults().contains("layoutAppStats"));
    EXPECT_TRUE(env.logLines().filter("layout/приложение").isEmpty());
}

TEST_F(LayoutAppStatsTest, ActivatingAnApplicationSelectsItsLearnedLayout) {
    desktop.addApp("org.example.x", "X");
    desktop.focus("org.example.x");
    LayoutAppStats::resetSharedForTesting();
    words("hello", 45);
    words("привет", 5);
    desktop.focus("org.example.editor");
    host.handleAppActivated(QStringLiteral("org.example.editor"), "Editor");  // X's counts flushed here

    sources.userSelects(RU);
    env.runPending();
    host.observeAppActivations();
    desktop.focus("org.example.x");
    EXPECT_EQ(sources.selectCalls, QStringList{US});
    EXPECT_TRUE(priorLines().isEmpty());  // not before the selection is seen to arrive
    env.advance(1.0);
    EXPECT_EQ(sources.currentSource()->id, US);
    EXPECT_EQ(priorLines(), QStringList{priorLines().value(0)});
    EXPECT_TRUE(priorLines().value(0).endsWith("layout/прайор: X → en (выучено по истории решений)"));
    EXPECT_EQ(stats().delta.value("flip"), 1);  // counted for X, the application now in front
    EXPECT_EQ(stats().bundle, "org.example.x");
}

TEST_F(LayoutAppStatsTest, NoSelectionWhenTheLayoutIsAlreadyRightOrSwitchingIsOff) {
    stats().stats["org.example.ru"] = {{"ru", 60}};
    stats().stats["org.example.en"] = {{"en", 60}};
    sources.userSelects(RU);
    env.runPending();
    host.handleAppActivated(QStringLiteral("org.example.ru"), "Ru");  // Russian already current
    env.defaults().set("layoutNativeSwitch", false);
    host.handleAppActivated(QStringLiteral("org.example.en"), "En");
    env.defaults().remove("layoutNativeSwitch");
    env.defaults().set("layoutSwitchEnabled", false);
    host.handleAppActivated(QStringLiteral("org.example.en"), "En");
    env.advance(1.0);
    EXPECT_TRUE(sources.selectCalls.isEmpty());
    EXPECT_TRUE(priorLines().isEmpty());
}

TEST_F(LayoutAppStatsTest, ASelectionThatNeverArrivesLogsNoPrior) {
    stats().stats["org.example.en"] = {{"en", 60}};
    sources.userSelects(RU);
    env.runPending();
    sources.refuseSelection = true;
    host.handleAppActivated(QStringLiteral("org.example.en"), "En");
    env.advance(1.0);
    EXPECT_EQ(sources.selectCalls, QStringList{US});
    EXPECT_TRUE(priorLines().isEmpty());
    EXPECT_FALSE(stats().delta.contains("flip"));
}

TEST_F(LayoutAppStatsTest, TheQuitFlushIsBoundToTheSeam) {
    words("hello", 3);
    LayoutSeam seam;
    seam.layoutAppStatsFlush();
    EXPECT_EQ(env.defaults().dictionaryValue("layoutAppStats").value("org.example.editor").toMap().value("en"), 3);
}
