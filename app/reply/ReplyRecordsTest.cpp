#include "dictation/DictationNeighbours.h"
#include "reply/ReplyProfile.h"
#include "reply/ScreenContext.h"

#include "TestEnvironment.h"

#include <gtest/gtest.h>

using namespace murmelo;

// Raw values travel in stored settings, prompts and log lines: each must come back as its case,
// and a near miss (another case, another spelling) must give nothing.
TEST(ReplyRecords, RawValuesRoundTripAndStrangersGiveNothing) {
    for (const auto kind : {ReplyTaskKind::reply, ReplyTaskKind::compose, ReplyTaskKind::translate,
                            ReplyTaskKind::automatic})
        EXPECT_EQ(replyTaskKindFromRaw(rawValue(kind)), kind);
    EXPECT_EQ(rawValue(ReplyTaskKind::automatic), "auto");
    for (const auto source : {ScreenContextSource::axSelection, ScreenContextSource::axWindow,
                              ScreenContextSource::ocr, ScreenContextSource::clipboard})
        EXPECT_EQ(screenContextSourceFromRaw(rawValue(source)), source);
    EXPECT_EQ(rawValue(ScreenContextSource::ocr), "снимок окна");
    for (const auto m : allMediums()) EXPECT_EQ(mediumFromRaw(rawValue(m)), m);
    for (const auto t : allTones()) EXPECT_EQ(toneFromRaw(rawValue(t)), t);
    for (const auto l : allLengths()) EXPECT_EQ(lengthFromRaw(rawValue(l)), l);
    EXPECT_EQ(rawValue(ReplyProfile::Length::shortForm), "short");
    for (const QString stranger : {"", "Auto", "automatic", "shortForm", "Письмо", "ocr"}) {
        EXPECT_FALSE(replyTaskKindFromRaw(stranger)) << stranger.toStdString();
        EXPECT_FALSE(screenContextSourceFromRaw(stranger)) << stranger.toStdString();
        EXPECT_FALSE(mediumFromRaw(stranger)) << stranger.toStdString();
        EXPECT_FALSE(lengthFromRaw(stranger)) << stranger.toStdString();
    }
}

TEST(ReplyRecords, TheDefaultSignatureIsStoredTrimmedAndNeverLogged) {
    test::TestEnvironment env;
    EXPECT_EQ(ReplyProfile::defaultSignature(), "");
    ReplyProfile::setDefaultSignature(QStringLiteral("  Анна Петрова\n"));
    EXPECT_EQ(env.defaults().stringValue("replySignature"), "Анна Петрова");
    EXPECT_TRUE(env.logContains("Подпись в письмах: задана"));
    EXPECT_FALSE(env.logContains("Анна"));
    ReplyProfile::setDefaultSignature(QStringLiteral(" \n "));
    EXPECT_EQ(ReplyProfile::defaultSignature(), "");
    EXPECT_TRUE(env.logContains("Подпись в письмах: не подписывать"));
    // A value typed in by hand with spaces around it still reads trimmed.
    env.defaults().set("replySignature", QStringLiteral("\tИван "));
    EXPECT_EQ(ReplyProfile::defaultSignature(), "Иван");
}
