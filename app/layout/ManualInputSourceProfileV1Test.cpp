#include "layout/ManualInputSourceProfileV1.h"

#include <gtest/gtest.h>

using namespace murmelo;
namespace Profile = ManualInputSourceProfileV1;

TEST(ManualInputSourceProfileV1Test, OnlyTheExactTwoIdentifiersBelong) {
    const std::optional<QString> none;
    EXPECT_EQ(Profile::supportedSourceIDs().size(), 2);
    EXPECT_TRUE(Profile::contains(QString("com.apple.keylayout.US")));
    EXPECT_TRUE(Profile::contains(QString("com.apple.keylayout.Russian")));
    for (const char* other : {"com.apple.keylayout.US.Extended", "com.apple.keylayout.us", "com.apple.keylayout.German",
                              "com.apple.keylayout.Russian-Phonetic", "xkb:us", ""}) {
        SCOPED_TRACE(other);
        EXPECT_FALSE(Profile::contains(QString(other)));
        EXPECT_FALSE(Profile::language(QString(other)));
        EXPECT_FALSE(Profile::opposite(QString(other)));
    }
    EXPECT_FALSE(Profile::contains(none));
    EXPECT_FALSE(Profile::language(none));
    EXPECT_FALSE(Profile::opposite(none));
}

TEST(ManualInputSourceProfileV1Test, LanguagesAndSourcesMapBothWays) {
    EXPECT_EQ(Profile::sourceID("en"), "com.apple.keylayout.US");
    EXPECT_EQ(Profile::sourceID("ru"), "com.apple.keylayout.Russian");
    EXPECT_FALSE(Profile::sourceID("EN"));
    EXPECT_FALSE(Profile::sourceID("de"));
    for (const QString& code : {QString("en"), QString("ru")}) {
        EXPECT_EQ(Profile::language(Profile::sourceID(code)), code);
        EXPECT_EQ(Profile::opposite(Profile::opposite(Profile::sourceID(code))), Profile::sourceID(code));
    }
    EXPECT_EQ(Profile::opposite(Profile::englishUS), Profile::russianApple);
    EXPECT_EQ(Profile::id, "english-us-russian-apple.v1");
    EXPECT_EQ(Profile::firstWordConfirms, "ru");
}
