#include "cleanup/SmartCleanupScenarioStore.h"

#include "base/Defaults.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

SmartCleanupScenarioCase scenario(const QString& input, SmartCleanupMode mode = SmartCleanupMode::clean,
                                  SmartCleanupScenarioOrigin origin = SmartCleanupScenarioOrigin::confirmedCorrection,
                                  const QString& expected = "1. a\n2. b") {
    return {"confirmed." + input.left(8), input, expected, mode, origin, {SmartCleanupSkillRegistry::discourseOrdinal()}};
}

QStringList inputs(const QList<SmartCleanupScenarioCase>& cases) {
    QStringList out;
    for (const auto& c : cases) out << c.input;
    return out;
}

QByteArray jsonArray(const QList<QJsonValue>& values) {
    QJsonArray a;
    for (const auto& v : values) a.append(v);
    return QJsonDocument(a).toJson(QJsonDocument::Compact);
}

class SmartCleanupScenarioStoreTest : public ::testing::Test {
protected:
    test::TestEnvironment env;
    SmartCleanupScenarioStore store{&env.defaults()};
};

}  // namespace

TEST_F(SmartCleanupScenarioStoreTest, AddRefusesWhatIsNotAConfirmedScenarioOfAllowedSize) {
    const QString max(2000, QChar(u'я'));
    // A composed letter is one character however many code units it takes.
    const QString composedMax = QString("е\u0308").repeated(2000);
    struct Row {
        const char* name;
        SmartCleanupScenarioCase scenario;
        bool stored;
    } rows[] = {
        {"built-in origin", scenario("x", SmartCleanupMode::clean, SmartCleanupScenarioOrigin::builtIn), false},
        {"generated origin", scenario("x", SmartCleanupMode::clean, SmartCleanupScenarioOrigin::generated), false},
        {"empty input", scenario(""), false},
        {"empty expected", scenario("x", SmartCleanupMode::clean, SmartCleanupScenarioOrigin::confirmedCorrection, ""),
         false},
        {"input 2001", scenario(max + "я"), false},
        {"expected 2001",
         scenario("x", SmartCleanupMode::clean, SmartCleanupScenarioOrigin::confirmedCorrection, max + "я"), false},
        {"input 2000", scenario(max), true},
        {"expected 2000 composed",
         scenario("y", SmartCleanupMode::clean, SmartCleanupScenarioOrigin::confirmedCorrection, composedMax), true},
    };
    for (const Row& row : rows) {
        const qsizetype before = store.confirmedScenarios().size();
        EXPECT_EQ(store.addConfirmed(row.scenario), row.stored) << row.name;
        EXPECT_EQ(store.confirmedScenarios().size(), before + (row.stored ? 1 : 0)) << row.name;
    }
    EXPECT_EQ(store.confirmedScenarios().first().expected, composedMax);
}

TEST_F(SmartCleanupScenarioStoreTest, NewestFirstReplacingTheSameInputInTheSameModeAndCappedAt200) {
    ASSERT_TRUE(store.addConfirmed(scenario("Купи молоко")));
    ASSERT_TRUE(store.addConfirmed(scenario("Купи молоко", SmartCleanupMode::structured)));
    ASSERT_TRUE(store.addConfirmed(scenario("купи МОЛОКО")));
    EXPECT_EQ(inputs(store.confirmedScenarios()), (QStringList{"купи МОЛОКО", "Купи молоко"}));
    EXPECT_EQ(store.confirmedScenarios()[1].mode, SmartCleanupMode::structured);

    store.clearConfirmedScenarios();
    for (int i = 0; i < 200; ++i) ASSERT_TRUE(store.addConfirmed(scenario(QString("item %1").arg(i))));
    ASSERT_TRUE(store.addConfirmed(scenario("newest")));
    const auto list = store.confirmedScenarios();
    ASSERT_EQ(list.size(), 200);
    EXPECT_EQ(list.first().input, "newest");
    EXPECT_EQ(list.last().input, "item 1");
}

TEST_F(SmartCleanupScenarioStoreTest, ReadingKeepsOnlyAdmittedReadableScenarios) {
    const auto good = scenario("good").toJson();
    const auto older = scenario("older").toJson();
    QJsonObject unknownOrigin = scenario("odd").toJson();
    unknownOrigin["origin"] = "imported";
    QJsonObject missingKey = scenario("short").toJson();
    missingKey.remove("requiredSkills");
    QJsonObject wrongType = scenario("typed").toJson();
    wrongType["input"] = 5;
    const auto generated = scenario("gen", SmartCleanupMode::clean, SmartCleanupScenarioOrigin::generated).toJson();
    const auto tooLong = scenario(QString(2500, QChar(u'a'))).toJson();

    env.defaults().set(SmartCleanupScenarioStore::scenariosKey,
                       jsonArray({good, unknownOrigin, missingKey, wrongType, generated, tooLong, older}));
    EXPECT_EQ(inputs(store.confirmedScenarios()), (QStringList{"good", "older"}));

    // The next add writes back only what was admitted.
    ASSERT_TRUE(store.addConfirmed(scenario("new")));
    const auto stored = QJsonDocument::fromJson(env.defaults().dataValue(SmartCleanupScenarioStore::scenariosKey));
    EXPECT_EQ(stored.array().size(), 3);

    for (const QByteArray& junk : {QByteArray("not json"), QByteArray("{\"id\":\"x\"}"), jsonArray({unknownOrigin})}) {
        env.defaults().set(SmartCleanupScenarioStore::scenariosKey, junk);
        EXPECT_TRUE(store.confirmedScenarios().isEmpty()) << junk.toStdString();
    }
    env.defaults().set(SmartCleanupScenarioStore::scenariosKey, QString("text, not data"));
    EXPECT_TRUE(store.confirmedScenarios().isEmpty());
}

TEST_F(SmartCleanupScenarioStoreTest, SnapshotIsStoredWithReferenceDateSecondsAndSurvivesClearing) {
    const SmartCleanupRulePackSnapshot snapshot{
        "pack-v9",
        {SmartCleanupSkillRegistry::discourseOrdinal(), SmartCleanupSkillRegistry::standaloneNumeric()},
        QDateTime(QDate(2026, 1, 1), QTime(0, 0), Qt::UTC),
        302,
        4,
        1};
    store.saveSnapshot(snapshot);
    const QJsonObject json =
        QJsonDocument::fromJson(env.defaults().dataValue(SmartCleanupScenarioStore::snapshotKey)).object();
    EXPECT_EQ(json["evaluatedAt"].toDouble(), 788918400.0);
    EXPECT_EQ(json["activeSkills"].toArray(), (QJsonArray{"ordered-list.discourse", "ordered-list.numeric-marker"}));
    EXPECT_EQ(json["failureCount"].toInteger(), 4);

    ASSERT_TRUE(store.addConfirmed(scenario("x")));
    store.clearConfirmedScenarios();
    EXPECT_TRUE(store.confirmedScenarios().isEmpty());
    EXPECT_FALSE(env.defaults().contains(SmartCleanupScenarioStore::scenariosKey));
    EXPECT_EQ(store.snapshot(), snapshot);

    env.defaults().set(SmartCleanupScenarioStore::snapshotKey, QByteArray("{\"version\":\"v\"}"));
    EXPECT_EQ(store.snapshot(), std::nullopt);
}

TEST(SmartCleanupScenarioStoreFileTest, AConfirmedScenarioSurvivesARestart) {
    test::TestEnvironment env;
    const QString path = env.root() + "/defaults.json";
    const auto s = scenario("План, во-первых, а, во-вторых, б.", SmartCleanupMode::structured);
    {
        Defaults written(path);
        ASSERT_TRUE(SmartCleanupScenarioStore(&written).addConfirmed(s));
    }
    Defaults reread(path);
    EXPECT_EQ(SmartCleanupScenarioStore(&reread).confirmedScenarios(), QList{s});
}
