#include "base/DevPaths.h"
#include "layout/KeyboardTruth.h"
#include "layout/LayoutSwitcherTestSupport.h"

#include <QDir>
#include <QFile>

using namespace murmelo;
using murmelo::test::SwitcherFixture;

namespace {

// An engine whose models folder is a developer tree of the test's own.
struct Lifecycle : SwitcherFixture {
    QString models;

    void SetUp() override {
        SwitcherFixture::SetUp();
        models = env.root() + "/repo/layout/models";
        QDir().mkpath(models);
        qputenv("MURMELO_REPO_ROOT", (env.root() + "/repo").toUtf8());
        makeEngine();
        qunsetenv("MURMELO_REPO_ROOT");
        ASSERT_EQ(engine->modelsDir, models);
    }
    void copyModel(const QString& code) {
        ASSERT_TRUE(QFile::copy(murmeloSourceRoot() + "/resources/layout-models/" + code + ".json",
                                models + "/" + code + ".json"));
    }
    void write(const QString& name, const QByteArray& bytes) {
        QFile f(models + "/" + name);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
};

TEST_F(Lifecycle, LoadsWhatModelsThereAreAndReportsThem) {
    copyModel("en");
    write("threshold.json", R"({"threshold": "0.7"})");
    env.defaults().set("layoutExceptions", QVariantList{"foo", "bar"});
    env.defaults().set("spellLearnedNames", QVariantList{"Ivan", 3});
    engine->loadIfNeeded();
    EXPECT_TRUE(engine->loaded);
    ASSERT_EQ(engine->models.size(), 1u);
    EXPECT_EQ(engine->models.begin()->first, "en");
    EXPECT_EQ(engine->exceptions, (QSet<QString>{"foo", "bar"}));
    EXPECT_TRUE(engine->learnedNames.isEmpty());
    EXPECT_TRUE(env.logContains(
        "layout: модели [\"en\"] порог 0.1 (калибр 0.5) сид 321 + выучено 2 имён 0 loaded=true"));
}

// Input sources that count the key translations asked of them.
struct CountingSources : sim::SimInputSources {
    explicit CountingSources(sim::SimInputSources s) : SimInputSources(std::move(s)) {}
    mutable int translations = 0;
    std::optional<QString> translate(const QString& sourceId, int keyCode, KeyLevel level) const override {
        ++translations;
        return SimInputSources::translate(sourceId, keyCode, level);
    }
};

TEST_F(Lifecycle, LoadingReadsTheLayoutsKeyDataSoTheFirstKeyDoesNot) {
    copyModel("en");
    KeyboardTruth::resetForTesting();
    CountingSources counting(sim::SimInputSources::usRussian());
    ScopedService<InputSources> scope{counting};
    engine->loadIfNeeded();
    const int atLoad = counting.translations;
    EXPECT_GT(atLoad, 0);
    EXPECT_EQ(KeyboardTruth::language(5, 0, QStringLiteral("п")), std::optional<QString>("ru"));
    EXPECT_EQ(counting.translations, atLoad);
    KeyboardTruth::resetForTesting();
}

TEST_F(Lifecycle, ATruncatedModelIsNamedWithItsReasonAndTheOtherStillLoads) {
    copyModel("ru");
    QFile shipped(murmeloSourceRoot() + "/resources/layout-models/en.json");
    ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
    write("en.json", shipped.readAll().left(1000));
    engine->loadIfNeeded();
    ASSERT_EQ(engine->models.size(), 1u);
    EXPECT_EQ(engine->models.begin()->first, "ru");
    const QStringList lines = env.logLines().filter("layout: модель ");
    ASSERT_EQ(lines.size(), 1) << env.logText().toStdString();
    EXPECT_TRUE(lines[0].mid(9).startsWith("layout: модель en.json не прочитана — не JSON: ")) << lines[0].toStdString();
}

TEST_F(Lifecycle, NoModelLeavesTheEngineIdleAndTriesAgainLater) {
    write("threshold.json", R"({"threshold": 0.25})");
    engine->loadIfNeeded();
    EXPECT_FALSE(engine->loaded);
    EXPECT_TRUE(env.logContains("layout: модели [] порог 0.1 (калибр 0.25) сид 321 + выучено 0 имён 0 loaded=false"));
    copyModel("ru");
    copyModel("en");
    engine->loadIfNeeded();
    EXPECT_TRUE(engine->loaded);
    EXPECT_TRUE(env.logContains("модели [\"en\", \"ru\"]"));
}

TEST_F(Lifecycle, EnablingLoadsAndEveryWriteEmptiesTheWord) {
    copyModel("en");
    EXPECT_TRUE(engine->isEnabled()) << "the Russian layout is enabled and nothing is stored";
    engine->setEnabled(false);
    EXPECT_FALSE(engine->isEnabled());
    EXPECT_FALSE(engine->loaded);
    engine->buf = "ab";
    engine->recentLang = "ru";
    engine->setEnabled(true);
    EXPECT_TRUE(engine->loaded);
    EXPECT_EQ(engine->buf, "");
    EXPECT_FALSE(engine->recentLang);
}

TEST_F(Lifecycle, ForcedOffWinsOverTheSetting) {
    env.defaults().set("layoutSwitchEnabled", true);
    makeEngine({{"MURMELO_LAYOUT_OFF", "1"}});
    EXPECT_FALSE(engine->isEnabled());
}

TEST_F(Lifecycle, StartLoadsRunsTheWatchdogAndHearsAppSwitches) {
    copyModel("en");
    engine->start();
    EXPECT_TRUE(engine->loaded);
    auto token = engine->acquireEditLock("correction", LayoutSwitcher::watchdogInterval);
    ASSERT_TRUE(token);
    env.advance(1.5);
    EXPECT_TRUE(engine->isCorrecting()) << "the first tick only notes the lock";
    env.advance(1.5);
    EXPECT_FALSE(engine->isCorrecting());
    EXPECT_TRUE(env.logContains("⚠ watchdog: isCorrecting залип ~3с — снимаю лок"));

    engine->buf = "ab";
    desktop.addApp("org.example.editor", "Editor");
    desktop.focus("org.example.editor");
    EXPECT_EQ(engine->buf, "");
    EXPECT_EQ(engine->bufStart, LayoutSwitcher::BufStart::click);
    engine->start();  // again: one observer, one timer
    env.advance(1.5);
}

TEST_F(Lifecycle, EditLockHasAnOwnerAndADeadline) {
    // A slow polish names a long deadline: the watchdog neither reports it nor frees it early.
    auto polish = engine->acquireEditLock("polish", 10);
    ASSERT_TRUE(polish);
    EXPECT_FALSE(engine->acquireEditLock("correction", 1.5)) << "one writer at a time";
    for (int i = 0; i < 4; ++i) {
        env.advance(1.5);
        engine->watchdogTick();
    }
    EXPECT_TRUE(engine->isCorrecting());
    EXPECT_FALSE(env.logContains("isCorrecting залип"));
    env.advance(6);
    engine->watchdogTick();
    EXPECT_FALSE(engine->isCorrecting()) << "past its deadline and seen twice";

    // An old owner releasing late does not free the newer operation's lock.
    auto newer = engine->acquireEditLock("undo", 1.5);
    ASSERT_TRUE(newer);
    engine->releaseEditLock(*polish);
    EXPECT_TRUE(engine->isCorrecting());
    engine->releaseEditLock(*newer);
    EXPECT_FALSE(engine->isCorrecting());

    // A new hold between two ticks is not mistaken for the one seen before.
    auto a = engine->acquireEditLock("correction", 0);
    engine->watchdogTick();
    engine->releaseEditLock(*a);
    auto b = engine->acquireEditLock("correction", 0);
    engine->watchdogTick();
    EXPECT_TRUE(engine->isCorrecting());
    engine->watchdogTick();
    EXPECT_FALSE(engine->isCorrecting());
    (void)b;
}

TEST_F(Lifecycle, StaleLiveWordIsDropped) {
    engine->liveActive = true;
    engine->liveLayout = "ru";
    engine->buf = "ab";
    engine->liveLastActivityAt = Clock::shared().now();
    env.advance(30);
    engine->watchdogTick();
    EXPECT_TRUE(engine->liveActive);
    env.advance(1);
    engine->watchdogTick();
    EXPECT_FALSE(engine->liveActive);
    EXPECT_EQ(engine->buf, "");
    EXPECT_TRUE(env.logContains("⚠ watchdog: liveActive без активности >30с — сбрасываю (buf="));
}

TEST_F(Lifecycle, LearnedWordsAreStored) {
    engine->exceptions = {"abc"};
    engine->saveExceptions();
    engine->learnedNames = {"Ivan"};
    engine->saveNames();
    engine->noteBrandSeen("X-1y2z");  // three letters: nothing
    engine->noteBrandSeen("Recraft!");
    EXPECT_EQ(env.defaults().listValue("layoutExceptions"), QVariantList{"abc"});
    EXPECT_EQ(env.defaults().listValue("spellLearnedNames"), QVariantList{"Ivan"});
    EXPECT_EQ(env.defaults().listValue("layoutBrandsSeen"), QVariantList{"recraft"});
    for (int i = 0; i < 400; ++i) engine->noteBrandSeen("brand" + QString(QChar('a' + i % 26)) + QString(QChar('a' + i / 26)));
    EXPECT_EQ(engine->brandsSeen.size(), 301);
}

TEST_F(Lifecycle, WordPredicates) {
    engine->exceptions = {"ondrixa"};
    engine->brandsSeen = {"figmalabs"};
    struct Case { const char* name; bool got, expected; };
    const Case cases[] = {
        {"known seed", engine->isKnown("grep"), true},
        {"known exception", engine->isKnown("ondrixa"), true},
        {"known is exact", engine->isKnown("Grep"), false},
        {"prefix of one character", engine->isKnownPrefix("g"), false},
        {"prefix of two", engine->isKnownPrefix("gr"), true},
        {"whole word is its own prefix", engine->isKnownPrefix("grep"), true},
        {"brand prefix needs a longer word", engine->isBrandPrefix("figma"), true},
        {"brand prefix of the same length", engine->isBrandPrefix("nginx"), false},
        {"brand prefix of brands seen", engine->isBrandPrefix("Figmal"), true},
        {"brand prefix needs four letters", engine->isBrandPrefix("fig"), false},
        {"protected", engine->isProtectedWord("ondrixa"), true},
        {"worth flipping into a known word", engine->isWorthFlippingInto("ondrixa"), true},
    };
    for (const Case& c : cases) EXPECT_EQ(c.got, c.expected) << c.name;
}

}  // namespace

namespace {

TEST_F(Lifecycle, TurningTheSettingOnElsewhereLoadsTheModels) {
    copyModel("en");
    env.defaults().set("layoutSwitchEnabled", false);
    engine->start();
    EXPECT_FALSE(engine->loaded);
    env.defaults().set("layoutSwitchEnabled", true);
    EXPECT_TRUE(engine->loaded);
}

}  // namespace
