#include "cleanup/SmartCleanupScenarioCorpus.h"
#include "cleanup/SmartCleanupSkillRegistry.h"

#include <gtest/gtest.h>

using namespace murmelo;

inline void PrintTo(const QString& s, std::ostream* os) { *os << '"' << s.toStdString() << '"'; }

namespace {

QStringList ids(const QList<SmartCleanupScenarioCase>& cases) {
    QStringList out;
    for (const auto& c : cases) out << c.id;
    return out;
}

SmartCleanupScenarioCase confirmed(const QString& input, const QString& expected) {
    return {"confirmed.A", input, expected, SmartCleanupMode::structured, SmartCleanupScenarioOrigin::confirmedCorrection,
            {SmartCleanupSkillRegistry::markerThenNumber()}};
}

}  // namespace

TEST(SmartCleanupScenarioCorpusTest, BuiltInAndGeneratedHaveTheirSizesOrderAndOrigins) {
    const auto builtIn = SmartCleanupScenarioCorpus::builtIn();
    ASSERT_EQ(builtIn.size(), 32);
    EXPECT_EQ(builtIn.first().id, "ru.user.marker-number");
    EXPECT_EQ(builtIn[7].id, "negative.0");
    EXPECT_EQ(builtIn.last().id, "negative.24");
    EXPECT_EQ(builtIn.last().input, builtIn.last().expected);
    EXPECT_TRUE(builtIn.last().requiredSkills.isEmpty());

    const auto generated = SmartCleanupScenarioCorpus::generated();
    ASSERT_EQ(generated.size(), 270);
    EXPECT_EQ(generated.first().id, "ru.generated.marker-digits.t0.d0");
    EXPECT_EQ(generated[120].id, "en.generated.marker-digits.t0.d0");
    EXPECT_EQ(generated[240].id, "ru.generated.numeric.spaced.t0");
    EXPECT_EQ(generated.last().id, "en.generated.numeric.sentence-header.t2");

    const auto all = builtIn + generated;
    const QStringList allIds = ids(all);
    EXPECT_EQ(QSet<QString>(allIds.begin(), allIds.end()).size(), 302) << "ids are unique";
    for (const auto& c : all) {
        EXPECT_EQ(c.mode, SmartCleanupMode::clean) << c.id.toStdString();
        EXPECT_EQ(c.origin, c.id.contains(".generated.") ? SmartCleanupScenarioOrigin::generated
                                                        : SmartCleanupScenarioOrigin::builtIn)
            << c.id.toStdString();
    }
    EXPECT_EQ(ids(SmartCleanupScenarioCorpus::generated()), ids(generated)) << "rebuilt the same on every call";
}

TEST(SmartCleanupScenarioCorpusTest, GeneratedCasesSpellTheirListsExactly) {
    const auto generated = SmartCleanupScenarioCorpus::generated();
    const auto find = [&](const QString& id) {
        for (const auto& c : generated)
            if (c.id == id) return c;
        ADD_FAILURE() << id.toStdString();
        return SmartCleanupScenarioCase{};
    };
    const auto steps = find("ru.generated.steps.t2.d1");
    EXPECT_EQ(steps.input, "Шаги, шаг один — проверить сборку, шаг два — перезапустить приложение, шаг три — "
                           "зафиксировать результат.");
    EXPECT_EQ(steps.expected, "Шаги:\n1. проверить сборку\n2. перезапустить приложение\n3. зафиксировать результат.");
    EXPECT_EQ(steps.requiredSkills, (QList{SmartCleanupSkillRegistry::markerThenNumber()}));

    const auto bare = find("en.generated.single-marker-bare.t1.d4");
    EXPECT_EQ(bare.input, "Tasks, first point. check the build, second. restart the application, third. record the result.");
    EXPECT_EQ(bare.requiredSkills,
              (QList{SmartCleanupSkillRegistry::ordinalThenMarker(), SmartCleanupSkillRegistry::bareOrdinalContinuation()}));

    const auto tight = find("en.generated.numeric.tight.t0");
    EXPECT_EQ(tight.input, "Plan:1.check the build2.restart the application3.record the result.");
    EXPECT_EQ(tight.expected, "Plan:\n1. check the build\n2. restart the application\n3. record the result.");
    const auto header = find("ru.generated.numeric.sentence-header.t1");
    EXPECT_EQ(header.input, "Задачи. 1. проверить сборку. 2. перезапустить приложение. 3. зафиксировать результат.");
    EXPECT_EQ(header.expected, "Задачи.\n1. проверить сборку.\n2. перезапустить приложение.\n3. зафиксировать результат.");
    EXPECT_EQ(header.requiredSkills, (QList{SmartCleanupSkillRegistry::standaloneNumeric()}));
}

TEST(SmartCleanupScenarioCorpusTest, ConfirmedCasesYieldTheirDistinctVariants) {
    EXPECT_TRUE(SmartCleanupScenarioCorpus::generated(QList<SmartCleanupScenarioCase>{}).isEmpty());
    EXPECT_TRUE(SmartCleanupScenarioCorpus::generated(SmartCleanupScenarioCorpus::builtIn()).isEmpty());

    const auto c = confirmed("План, пункт 1 – молоко, пункт 2 – хлеб, пункт 3 – яйца.",
                             "План:\n1. молоко\n2. хлеб\n3. яйца.");
    const auto variants = SmartCleanupScenarioCorpus::generated({c});
    ASSERT_EQ(ids(variants), (QStringList{"confirmed.A.generated.em-dash", "confirmed.A.generated.hyphen",
                                          "confirmed.A.generated.spacing",
                                          "confirmed.A.generated.no-terminal-punctuation"}));
    EXPECT_EQ(variants[0].input, "План, пункт 1 — молоко, пункт 2 — хлеб, пункт 3 — яйца.");
    EXPECT_EQ(variants[1].input, "План, пункт 1 - молоко, пункт 2 - хлеб, пункт 3 - яйца.");
    EXPECT_EQ(variants[2].input, "План,  пункт 1  –  молоко,  пункт 2  –  хлеб,  пункт 3  –  яйца.");
    EXPECT_EQ(variants[2].expected, c.expected);
    EXPECT_EQ(variants[3].input, "План, пункт 1 – молоко, пункт 2 – хлеб, пункт 3 – яйца");
    EXPECT_EQ(variants[3].expected, "План:\n1. молоко\n2. хлеб\n3. яйца");
    for (const auto& v : variants) {
        EXPECT_EQ(v.origin, SmartCleanupScenarioOrigin::generated);
        EXPECT_EQ(v.mode, SmartCleanupMode::structured);
        EXPECT_EQ(v.requiredSkills, c.requiredSkills);
    }

    // Nothing to vary: no dashes, no ", ", no final punctuation.
    EXPECT_TRUE(SmartCleanupScenarioCorpus::generated({confirmed("План:1. а2. б", "План:\n1. а\n2. б")}).isEmpty());
    // The variants of each case follow its own order; a second case adds its own.
    const auto two = SmartCleanupScenarioCorpus::generated({c, confirmed("a, b", "a\nb")});
    EXPECT_EQ(two.size(), 5);
    EXPECT_EQ(two.last().id, "confirmed.A.generated.spacing");
}
