#include "settings/PrefsState.h"

#include "TestEnvironment.h"

#include <QSet>
#include <gtest/gtest.h>

using namespace murmelo;

TEST(PrefsTabTest, RawValuesTitlesAndRailOrder) {
    struct Case {
        qint64 raw;
        std::optional<PrefsTab> tab;
        const char* title;
    };
    const Case cases[] = {
        {0, PrefsTab::appearance, "Оформление"}, {1, PrefsTab::dictation, "Диктовка"},
        {2, PrefsTab::history, "История"},       {3, PrefsTab::meetings, "Встречи"},
        {4, PrefsTab::app, "Приложение"},        {5, PrefsTab::home, "Основное"},
        {6, std::nullopt, ""},                   {-1, std::nullopt, ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(PrefsTabs::fromRaw(c.raw), c.tab) << c.raw;
        if (!c.tab) continue;
        EXPECT_EQ(PrefsTabs::rawValue(*c.tab), c.raw);
        EXPECT_EQ(PrefsTabs::title(*c.tab), QString::fromUtf8(c.title));
        EXPECT_EQ(PrefsTabs::fromName(PrefsTabs::name(*c.tab)), c.tab);
    }
    const std::array<PrefsTab, 6> rail{PrefsTab::home,     PrefsTab::dictation,  PrefsTab::history,
                                       PrefsTab::meetings, PrefsTab::appearance, PrefsTab::app};
    EXPECT_EQ(PrefsTabs::allCases, rail);
    EXPECT_EQ(PrefsTabs::fromName(QStringLiteral("Home")), std::nullopt);
}

TEST(PrefsStateTest, ANewModelHoldsTheInitialValues) {
    test::TestEnvironment env;
    env.defaults().set(QStringLiteral("appearance"), QStringLiteral("dark"));
    env.defaults().set(QStringLiteral("orbStyle"), QStringLiteral("water"));
    const QDateTime before = QDateTime::currentDateTime();
    PrefsState st;
    EXPECT_EQ(st.tab(), PrefsTab::home);
    EXPECT_EQ(st.dictationKey(), 0);
    EXPECT_EQ(st.commandKey(), -1);
    EXPECT_EQ(st.punctuationKey(), -1);
    EXPECT_EQ(st.meetingAudioDays(), 30);
    EXPECT_EQ(st.stayAwakeHours(), 8);
    EXPECT_EQ(st.stayAwakeFloor(), 20);
    EXPECT_EQ(st.smartCleanupMode(), SmartCleanupMode::literal);
    EXPECT_EQ(st.presence(), PresenceStyle::drop);
    EXPECT_EQ(st.appearance(), AppAppearance::dark) << "read from the store when the model is made";
    EXPECT_EQ(st.orbStyle(), AppOrbStyle::water);
    EXPECT_GE(st.statsMonth(), before);
    EXPECT_EQ(st.statsRevision(), 0);
    EXPECT_FALSE(st.onLayout);
    EXPECT_FALSE(st.statisticsRouteArmed);
    EXPECT_FALSE(st.modelsExpanded);

    // Every Boolean false but five, every text empty but two.
    const QSet<QString> trueFields{"meetingGestureAvailable", "modelsEnabled", "dictationHistoryOn",
                                   "meetingPolishOn", "stayAwakeUsable"};
    const QMap<QString, QString> texts{{"recogLang", "auto"}, {"appLanguage", "system"}};
    int booleans = 0, strings = 0;
    auto check = [&](const char* name, const auto& value) {
        using T = std::decay_t<decltype(value)>;
        if constexpr (std::is_same_v<T, bool>) {
            ++booleans;
            EXPECT_EQ(value, trueFields.contains(QString::fromLatin1(name))) << name;
        } else if constexpr (std::is_same_v<T, QString>) {
            ++strings;
            EXPECT_EQ(value, texts.value(QString::fromLatin1(name))) << name;
        }
    };
#define CHECK_FIELD(Type, name, setter, initial) check(#name, st.name());
    MURMELO_PREFS_FIELDS(CHECK_FIELD)
#undef CHECK_FIELD
    EXPECT_EQ(booleans, 22);
    EXPECT_EQ(strings, 21);
}

TEST(PrefsStateTest, EveryAssignmentNotifiesAndTheLayoutFieldsCallTheCallback) {
    test::TestEnvironment env;
    PrefsState st;
    QStringList seen;
    QObject::connect(&st, &PrefsState::willChange, [&](PrefsField f) {
        // Told before the value changes.
        seen << QStringLiteral("will %1 %2").arg(int(f)).arg(PrefsTabs::name(st.tab()));
    });
    QObject::connect(&st, &PrefsState::changed, [&](PrefsField f) { seen << QStringLiteral("did %1").arg(int(f)); });

    // Before the window installs its callback: only the notices.
    st.setTab(PrefsTab::history);
    EXPECT_EQ(seen, (QStringList{"will 0 home", "did 0"}));

    int layouts = 0;
    st.onLayout = [&] { ++layouts; };
    seen.clear();
    st.setTab(PrefsTab::history);  // the same value notifies all the same
    EXPECT_EQ(seen, (QStringList{"will 0 history", "did 0"}));
    EXPECT_EQ(layouts, 1);
    st.setShowsStatistics(false);
    st.setPageHeight(0);
    EXPECT_EQ(layouts, 3);
    st.setFooter(QStringLiteral("x"));
    st.setStatsRevision(4);
    EXPECT_EQ(layouts, 3) << "other fields do not ask for a refit";
}

TEST(PrefsStateTest, SelectingStatisticsShowsTheMonthAndCountsEveryCall) {
    test::TestEnvironment env;
    PrefsState st;
    int layouts = 0;
    st.onLayout = [&] { ++layouts; };
    const QDateTime first(QDate(2026, 3, 2), QTime(10, 0));
    st.selectStatistics(first);
    st.selectStatistics(first.addDays(3));
    EXPECT_EQ(st.statsRevision(), 2);
    EXPECT_EQ(st.statsMonth(), first.addDays(3));
    EXPECT_TRUE(st.showsStatistics());
    EXPECT_EQ(layouts, 2);
}

TEST(PrefsValuesTest, OptionsAndScopes) {
    const PrefsOption<qint64> option{QStringLiteral("правый Ctrl"), 54};
    EXPECT_FALSE(option.separated);
    EXPECT_TRUE(option.enabled);
    EXPECT_EQ(option.title(), QStringLiteral("правый Ctrl"));
    EXPECT_NE((PrefsScope{"org.kde.kate", "Kate", "Kate"}), (PrefsScope{"org.kde.kate", "Kate ·", "Kate"}));
    EXPECT_EQ((PrefsScope{"", "Все приложения", ""}), (PrefsScope{"", "Все приложения", ""}));
}
