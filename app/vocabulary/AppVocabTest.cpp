#include "vocabulary/AppVocab.h"

#include "TestEnvironment.h"
#include "base/Defaults.h"
#include "dictation/DictationTestSupport.h"
#include "vocabulary/DictationLearningStore.h"
#include "vocabulary/VocabularyNeighbours.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

DictationContext app(int i) { return {QStringLiteral("app.%1").arg(i), QStringLiteral("App %1").arg(i)}; }

QVariantMap entry(const QString& id, const QString& name, std::optional<QString> n) {
    QVariantMap m{{"id", id}, {"name", name}};
    if (n) m.insert(QStringLiteral("n"), *n);
    return m;
}

}  // namespace

TEST(CustomVocab, SeedUntilSavedThenWhatWasSaved) {
    test::TestEnvironment env;
    EXPECT_EQ(customVocab(), VOCAB_SEED);
    EXPECT_EQ(VOCAB_SEED.toUtf8().size(), 223);
    setCustomVocab(QString());
    EXPECT_EQ(customVocab(), QString());
}

TEST(AppVocab, OwnVocabularyReplacesTheCustomOne) {
    test::TestEnvironment env;
    setCustomVocab(QStringLiteral("глобальный"));
    const DictationContext a = app(1);
    AppVocab::setVocab(QStringLiteral(" Linear, Figma"), a.bundleID, a.appName);
    EXPECT_EQ(AppVocab::vocab(a.bundleID), QStringLiteral(" Linear, Figma"));
    EXPECT_EQ(AppVocab::effectiveVocab(a), QStringLiteral(" Linear, Figma"));
    EXPECT_EQ(AppVocab::effectiveVocab(app(2)), QStringLiteral("глобальный"));
    EXPECT_EQ(AppVocab::effectiveVocab(std::nullopt), QStringLiteral("глобальный"));

    // White space only counts as none.
    env.defaults().set(AppVocab::TERMS_KEY, QVariantMap{{a.bundleID, QStringLiteral("   \n")}});
    EXPECT_FALSE(AppVocab::vocab(a.bundleID));
    EXPECT_EQ(AppVocab::effectiveVocab(a), QStringLiteral("глобальный"));

    // Saving blank removes the vocabulary but keeps the name.
    AppVocab::setVocab(QStringLiteral("x"), a.bundleID, a.appName);
    AppVocab::setVocab(QStringLiteral("  "), a.bundleID, QStringLiteral("ignored"));
    EXPECT_FALSE(env.defaults().dictionaryValue(AppVocab::TERMS_KEY).contains(a.bundleID));
    EXPECT_EQ(AppVocab::appName(a.bundleID), a.appName);
    EXPECT_EQ(AppVocab::appName(QStringLiteral("unknown.app")), QStringLiteral("unknown.app"));
}

TEST(AppVocab, RecentApplicationsCountAndMove) {
    test::TestEnvironment env;
    env.defaults().set(AppVocab::RECENT_KEY,
                       QVariantList{entry("app.1", "App 1", "1"), entry("app.2", "App 2", "2"),
                                    entry("app.3", "App 3", "4"), entry("app.9", "App 9", std::nullopt)});
    EXPECT_EQ(AppVocab::recentApps(1).size(), 4);
    EXPECT_EQ(AppVocab::recentApps(2).size(), 2);  // the one without a count counts as 1

    AppVocab::noteUse(app(3));
    const QVariantList list = env.defaults().listValue(AppVocab::RECENT_KEY);
    ASSERT_EQ(list.size(), 4);
    EXPECT_EQ(list[0].toMap(), entry("app.3", "App 3", "5"));
    AppVocab::noteUse(app(9));  // without a count: starts from 0
    EXPECT_EQ(env.defaults().listValue(AppVocab::RECENT_KEY)[0].toMap(), entry("app.9", "App 9", "1"));

    AppVocab::noteUse(std::nullopt);
    for (int i = 10; i < 20; ++i) AppVocab::noteUse(app(i));
    const QList<AppVocab::App> recent = AppVocab::recentApps();
    ASSERT_EQ(recent.size(), 12);
    EXPECT_EQ(recent.first().bundleID, QStringLiteral("app.19"));
    // The least recent fell off; noted again, its count starts afresh.
    AppVocab::noteUse(app(1));
    EXPECT_EQ(env.defaults().listValue(AppVocab::RECENT_KEY)[0].toMap(), entry("app.1", "App 1", "1"));

    env.defaults().set(AppVocab::RECENT_KEY, QVariantList{entry("a", "A", "1"), 5});
    EXPECT_TRUE(AppVocab::recentApps().isEmpty());
}

TEST(AppVocab, PickerListsOwnVocabulariesFirstThenFrequentApplications) {
    test::TestEnvironment env;
    env.defaults().set(AppVocab::RECENT_KEY,
                       QVariantList{entry("app.1", "Zeta", "10"), entry("app.2", "Three", "3"),
                                    entry("app.3", "Two", "2")});
    AppVocab::setVocab(QStringLiteral("x"), QStringLiteral("app.1"), QStringLiteral("zeta"));
    AppVocab::setVocab(QStringLiteral("y"), QStringLiteral("app.4"), QStringLiteral("Alpha"));
    using E = AppVocab::PickerEntry;
    EXPECT_EQ(AppVocab::pickerEntries(),
              (QList<E>{{"app.4", "Alpha", true}, {"app.1", "zeta", true}, {"app.2", "Three", false}}));
}

TEST(AppVocab, RecordingControlAsksThroughItsNeighbours) {
    test::TestEnvironment env;
    test::PolishForDictation polish;
    DictationNeighbours neighbours{polish};
    bindVocabularyNeighbours(neighbours);
    AppVocab::setVocab(QStringLiteral("x"), QStringLiteral("app.1"), QStringLiteral("App 1"));
    EXPECT_TRUE(neighbours.appHasOwnVocab(QStringLiteral("app.1")));
    EXPECT_FALSE(neighbours.appHasOwnVocab(QStringLiteral("app.2")));
    neighbours.appVocabNoteUse(app(2));
    EXPECT_EQ(AppVocab::recentApps(), (QList<AppVocab::App>{{"app.2", "App 2"}}));
}

TEST(AppVocab, ThePipelineAppliesLearnedReplacementsBeforeTheCleanUpAndRecordsTheLastDictation) {
    test::TestEnvironment env;
    DictationLearningStore::shared() = DictationLearningStore();
    test::PolishForDictation polish;
    DictationNeighbours neighbours{polish};
    bindVocabularyNeighbours(neighbours);
    DictationLearningStore::shared().add(LearnedDictationReplacement::make(
        QStringLiteral("Мише"), QStringLiteral("Маше"), DictationLearningScope::application, QStringLiteral("app.1"),
        QStringLiteral("App 1")));

    const PreparedDictation inApp =
        neighbours.prepareDictationForDelivery(QStringLiteral("Позвони Мише завтра"), app(1), SmartCleanupMode::literal,
                                               std::nullopt);
    EXPECT_EQ(inApp.sourceText, QStringLiteral("Позвони Мише завтра"));
    EXPECT_EQ(inApp.learnedText, QStringLiteral("Позвони Маше завтра"));
    EXPECT_EQ(inApp.outputText, QStringLiteral("Позвони Маше завтра"));
    EXPECT_EQ(inApp.changes.value(0), QStringLiteral("learned"));
    const PreparedDictation elsewhere =
        neighbours.prepareDictationForDelivery(QStringLiteral("Позвони Мише завтра"), app(2), SmartCleanupMode::literal,
                                               std::nullopt);
    EXPECT_EQ(elsewhere.learnedText, QStringLiteral("Позвони Мише завтра"));
    EXPECT_FALSE(elsewhere.changes.contains(QStringLiteral("learned")));

    neighbours.learningRecordLast(QStringLiteral("а"), QStringLiteral("б"), app(1), SmartCleanupMode::clean);
    ASSERT_TRUE(DictationLearningStore::shared().lastDelivered());
    EXPECT_EQ(DictationLearningStore::shared().lastDelivered()->deliveredText, QStringLiteral("б"));
    EXPECT_EQ(DictationLearningStore::shared().lastDelivered()->context, app(1));
    DictationLearningStore::shared() = DictationLearningStore();
}
