#include "vocabulary/VocabularyNeighbours.h"

#include "TestEnvironment.h"
#include "dictation/DictationPreparation.h"
#include "vocabulary/AppVocab.h"
#include "vocabulary/PersonalDictionary.h"
#include "sim/SimSpellChecker.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

// The dictation's preparation and prompt read the real stores once vocabulary is bound.
TEST(VocabularyNeighbours, PreparationAndPromptReadTheVocabularyStores) {
    test::TestEnvironment env;
    // Term snapping keeps the English language it first finds for the whole process.
    sim::SimSpellChecker speller;
    ScopedService<SpellChecker> spellerScope(speller);
    speller.languages = {"ru_RU", "en_US"};
    DictationVocabulary vocabulary;
    ScopedService<DictationVocabulary> scope{vocabulary};
    bindDictationVocabulary(vocabulary);
    setCustomVocab(QStringLiteral("TestFlight"));
    PersonalDictionary::setWords({QStringLiteral("Ondrix")});

    const DictationPromptPlan plan = dictationPromptPlan(std::nullopt);
    EXPECT_EQ(plan.text, QStringLiteral("TestFlight, Ondrix"));
    EXPECT_EQ(plan.personalFit, 1);

    const PreparedDictation p = prepareDictationForDelivery(QStringLiteral("открой testflite"), std::nullopt,
                                                            SmartCleanupMode::literal, std::nullopt);
    EXPECT_EQ(p.learnedText, QStringLiteral("открой TestFlight"));
    EXPECT_EQ(p.changes.value(0), QStringLiteral("terms"));
    EXPECT_TRUE(env.logContains(QStringLiteral("термины: testflite → TestFlight")));
    EXPECT_FALSE(env.logContains(QStringLiteral("заглушка")));
}

}  // namespace
