#include "dictation/DictationHistory.h"

#include "TestEnvironment.h"
#include "dictation/WhisperReply.h"
#include "input/HistoryMenus.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

TEST(DictationHistory, NewestFirstWithoutDuplicatesAndAtMostFifty) {
    test::TestEnvironment env;
    addToHistory("один");
    addToHistory("два");
    addToHistory("один");
    EXPECT_EQ(dictationHistory(), (QStringList{"один", "два"}));
    // Entries are kept as recognised: not trimmed.
    addToHistory(" три\n");
    EXPECT_EQ(dictationHistory().first(), " три\n");

    for (int i = 0; i < 60; ++i) addToHistory(QString::number(i));
    const QStringList list = dictationHistory();
    ASSERT_EQ(list.size(), HISTORY_MAX);
    EXPECT_EQ(list.first(), "59");
    EXPECT_EQ(list.last(), "10");
    // The status menu reads the same list.
    EXPECT_EQ(HistoryMenus::historyMenuModel().first().representedObject, "59");
}

TEST(DictationHistory, TwoSilentDictationsLeaveOneMarkAtTheFront) {
    test::TestEnvironment env;
    addToHistory("текст");
    addToHistory(SILENCE_MARK);
    addToHistory(SILENCE_MARK);
    EXPECT_EQ(dictationHistory(), (QStringList{SILENCE_MARK, "текст"}));
}

TEST(DictationHistory, SwitchedOffItAddsNothingAndKeepsWhatIsThere) {
    test::TestEnvironment env;
    EXPECT_TRUE(isDictationHistoryEnabled());
    env.defaults().set(HISTORY_ENABLED_KEY, "no");  // not a Boolean: still on
    EXPECT_TRUE(isDictationHistoryEnabled());
    addToHistory("один");
    setDictationHistoryEnabled(false);
    addToHistory("два");
    EXPECT_EQ(dictationHistory(), QStringList{"один"});
    setDictationHistoryEnabled(true);
    addToHistory("три");
    EXPECT_EQ(dictationHistory(), (QStringList{"три", "один"}));
}

TEST(DictationHistory, AStoredListWithANumberInItReadsEmptyAndIsReplaced) {
    test::TestEnvironment env;
    env.defaults().set(HISTORY_KEY, QVariantList{"один", 2});
    EXPECT_TRUE(dictationHistory().isEmpty());
    addToHistory("три");
    EXPECT_EQ(dictationHistory(), QStringList{"три"});
}

}  // namespace
