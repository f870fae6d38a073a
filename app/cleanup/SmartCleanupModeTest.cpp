#include "cleanup/CleanupSeam.h"
#include "cleanup/SmartCleanupMode.h"

#include "TestEnvironment.h"

#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// What is stored under the mode key before and after the migration, and what reads back.
struct MigrationCase {
    const char* name;
    std::optional<QVariant> storedMode;
    std::optional<bool> alreadyMigrated;
    std::optional<QString> expectedStored;
    SmartCleanupMode expectedMode;
};

}  // namespace

TEST(SmartCleanupModeTest, MigrationMovesOnlyTheOldCleanDefaultAndOnlyOnce) {
    const MigrationCase cases[] = {
        {"fresh installation", std::nullopt, std::nullopt, std::nullopt, SmartCleanupMode::literal},
        {"old clean default", QVariant("clean"), std::nullopt, QString("literal"), SmartCleanupMode::literal},
        {"clean chosen after the migration", QVariant("clean"), true, QString("clean"), SmartCleanupMode::clean},
        {"structured survives", QVariant("structured"), std::nullopt, QString("structured"), SmartCleanupMode::structured},
        {"capitalised Clean is left alone", QVariant("Clean"), std::nullopt, QString("Clean"), SmartCleanupMode::literal},
        {"unknown text is left alone", QVariant("fancy"), std::nullopt, QString("fancy"), SmartCleanupMode::literal},
        {"non-text value reads literal", QVariant(true), std::nullopt, std::nullopt, SmartCleanupMode::literal},
    };
    for (const MigrationCase& c : cases) {
        test::TestEnvironment env;
        Defaults& d = env.defaults();
        if (c.storedMode) d.set(SmartCleanupModes::MODE_KEY, *c.storedMode);
        if (c.alreadyMigrated) d.set(SmartCleanupModes::LITERAL_DEFAULT_KEY, *c.alreadyMigrated);

        migrateSmartCleanupDefaultToLiteral(d);

        EXPECT_EQ(d.realBool(SmartCleanupModes::LITERAL_DEFAULT_KEY), std::optional<bool>(true)) << c.name;
        EXPECT_EQ(d.stringValue(SmartCleanupModes::MODE_KEY), c.expectedStored) << c.name;
        EXPECT_EQ(currentSmartCleanupMode(d), c.expectedMode) << c.name;

        // A second launch changes nothing, even when the user picked "clean" in between.
        setSmartCleanupMode(SmartCleanupMode::clean, d);
        migrateSmartCleanupDefaultToLiteral(d);
        EXPECT_EQ(currentSmartCleanupMode(d), SmartCleanupMode::clean) << c.name;
    }
}

TEST(SmartCleanupModeTest, SettingIsReadBackAtOnceAndWritesNothingElse) {
    test::TestEnvironment env;
    setSmartCleanupMode(SmartCleanupMode::structured);
    EXPECT_EQ(currentSmartCleanupMode(), SmartCleanupMode::structured);
    EXPECT_EQ(env.defaults().keys(), QStringList{SmartCleanupModes::MODE_KEY});
    EXPECT_EQ(env.defaults().stringValue(SmartCleanupModes::MODE_KEY), QString("structured"));
    EXPECT_TRUE(env.logLines().isEmpty());
}

TEST(SmartCleanupModeTest, RawValuesTitlesAndJsonCoding) {
    QStringList raws, titles;
    for (SmartCleanupMode m : SmartCleanupModes::allCases()) {
        raws << SmartCleanupModes::rawValue(m);
        titles << SmartCleanupModes::title(m) + " — " + SmartCleanupModes::subtitle(m);
        EXPECT_EQ(SmartCleanupModes::fromRawValue(SmartCleanupModes::rawValue(m)), m);
        EXPECT_EQ(SmartCleanupModes::fromJson(SmartCleanupModes::toJson(m)), m);
    }
    EXPECT_EQ(raws, (QStringList{"literal", "clean", "structured"}));
    EXPECT_EQ(titles, (QStringList{"Дословно — только распознавание", "Чисто — оговорки, филлеры и явные списки",
                                   "Структурировано — плюс команды, числа и единицы"}));
    EXPECT_EQ(SmartCleanupModes::fromRawValue("Literal"), std::nullopt);
    EXPECT_EQ(SmartCleanupModes::fromJson(QJsonValue("fancy")), std::nullopt);
    EXPECT_EQ(SmartCleanupModes::fromJson(QJsonValue(1)), std::nullopt);
}

TEST(CleanupSeamTest, StartUpMigratesAndShowsTheTitle) {
    test::TestEnvironment env;
    env.defaults().set(SmartCleanupModes::MODE_KEY, "clean");
    CleanupSeam seam;
    seam.migrateSmartCleanupDefaultToLiteral();
    EXPECT_EQ(seam.currentSmartCleanupModeTitle(), "Дословно");
    env.defaults().set(SmartCleanupModes::MODE_KEY, "structured");
    EXPECT_EQ(seam.currentSmartCleanupModeTitle(), "Структурировано");
}
