#include "vocabulary/PersonalDictionary.h"

#include "TestEnvironment.h"
#include "base/Defaults.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

class PersonalDictionaryTest : public ::testing::Test {
protected:
    PersonalDictionaryTest() { PersonalDictionary::invalidateCache(); }
    ~PersonalDictionaryTest() override { PersonalDictionary::invalidateCache(); }
    test::TestEnvironment env;
};

QStringList distinctWords(int n) {
    QStringList out;
    for (int i = 0; i < n; ++i) {
        QString w = QStringLiteral("w");
        for (int k = i; k > 0 || w.size() == 1; k /= 26) w += QChar(u'a' + k % 26);
        out << w;
    }
    return out;
}

}  // namespace

TEST_F(PersonalDictionaryTest, Normalisation) {
    struct Case {
        const char* name;
        QString word;
        std::optional<QString> expected;
    };
    const Case cases[] = {
        {"apostrophe", "О'Брайен", QString("О'Брайен")},
        {"hyphen", "e-mail", QString("e-mail")},
        {"full stop inside", "Node.js", QString("Node.js")},
        {"trimmed, case kept", "  Recraft \n", QString("Recraft")},
        {"digits", "iOS17", std::nullopt},
        {"digit at the end", "HTML5", std::nullopt},
        {"starts with a hyphen", "-ing", std::nullopt},
        {"one character", "а", std::nullopt},
        {"two words", "два слова", std::nullopt},
        {"ends with a full stop", "x.", std::nullopt},
        {"other punctuation", "a,b", std::nullopt},
        {"32 letters", QString(32, QLatin1Char('a')), QString(32, QLatin1Char('a'))},
        {"33 letters", QString(33, QLatin1Char('a')), std::nullopt},
    };
    for (const Case& c : cases) EXPECT_EQ(PersonalDictionary::normalized(c.word), c.expected) << c.name;
}

TEST_F(PersonalDictionaryTest, AddKnowsAndRefusesRepeats) {
    EXPECT_TRUE(PersonalDictionary::add(QStringLiteral(" Recraft ")));
    EXPECT_EQ(PersonalDictionary::words(), QStringList{"Recraft"});
    EXPECT_TRUE(PersonalDictionary::knows(QStringLiteral("RECRAFT")));
    EXPECT_FALSE(PersonalDictionary::add(QStringLiteral("RECRAFT")));
    EXPECT_FALSE(PersonalDictionary::add(QStringLiteral("x1")));
    EXPECT_EQ(PersonalDictionary::words(), QStringList{"Recraft"});

    EXPECT_FALSE(PersonalDictionary::knows(QString()));
    EXPECT_FALSE(PersonalDictionary::knows(QStringLiteral("Figma")));
    EXPECT_FALSE(PersonalDictionary::knows(QStringLiteral(" Recraft")));  // no trimming
}

TEST_F(PersonalDictionaryTest, TheEditorRoundTripAndTheLimit) {
    PersonalDictionary::setWords(PersonalDictionary::parse(QStringLiteral("Figma\n\n,,figma, a, x1,Linear")));
    EXPECT_EQ(PersonalDictionary::words(), (QStringList{"Figma", "Linear"}));
    EXPECT_EQ(PersonalDictionary::joined(), QStringLiteral("Figma, Linear"));
    EXPECT_EQ(PersonalDictionary::count(), 2);
    EXPECT_TRUE(PersonalDictionary::knows(QStringLiteral("FIGMA")));
    EXPECT_EQ(PersonalDictionary::parse(QStringLiteral("Figma\n,, Linear ,\n\nRecraft,")),
              (QStringList{"Figma", "Linear", "Recraft"}));

    const QStringList six = distinctWords(600);
    PersonalDictionary::setWords(six);
    EXPECT_EQ(PersonalDictionary::words(), six.mid(0, 500));

    // Adding to a full list drops the oldest word at the end.
    EXPECT_TRUE(PersonalDictionary::add(QStringLiteral("Newest")));
    const QStringList after = PersonalDictionary::words();
    ASSERT_EQ(after.size(), 500);
    EXPECT_EQ(after.first(), QStringLiteral("Newest"));
    EXPECT_EQ(after.last(), six[498]);
    EXPECT_FALSE(PersonalDictionary::knows(six[499]));

    PersonalDictionary::setWords({});
    EXPECT_EQ(PersonalDictionary::joined(), QString());
}

TEST_F(PersonalDictionaryTest, UnreadableValuesAndOutsideChanges) {
    env.defaults().set(PersonalDictionary::KEY, QVariantList{QStringLiteral("Figma"), 5});
    EXPECT_TRUE(PersonalDictionary::words().isEmpty());
    EXPECT_EQ(PersonalDictionary::count(), 0);

    PersonalDictionary::setWords({QStringLiteral("Figma")});
    // A change made past the dictionary is seen by knows() only after the cache is dropped.
    env.defaults().set(PersonalDictionary::KEY, QStringList{QStringLiteral("Linear")});
    EXPECT_TRUE(PersonalDictionary::knows(QStringLiteral("figma")));
    PersonalDictionary::invalidateCache();
    EXPECT_FALSE(PersonalDictionary::knows(QStringLiteral("figma")));
    EXPECT_TRUE(PersonalDictionary::knows(QStringLiteral("linear")));
}
