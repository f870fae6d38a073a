#include "dictation/SpeechMarks.h"

#include "TestEnvironment.h"
#include "dictation/SherpaEngine.h"

#include <gtest/gtest.h>

using namespace murmelo;

namespace {

QByteArray words(const QString& list) {
    return QStringLiteral(R"({"segments":[{"start":0,"end":30,"text":" x","words":[%1]}]})").arg(list).toUtf8();
}

TEST(SpeechMarks, ReadsTheLanguageProbabilityAndTheWordProbabilities) {
    const auto marks = speechMarks(QByteArray(
        R"({"detected_language_probability":0.83,"language":"ru","segments":[)"
        R"({"words":[{"word":"a","probability":0.9},{"word":"b","probability":0.5}]},{"text":"no words"},)"
        R"({"words":[{"word":"c","probability":0.7},{"word":"d"}]}]})"));
    ASSERT_TRUE(marks);
    EXPECT_DOUBLE_EQ(marks->langp, 0.83);
    EXPECT_NEAR(marks->wordMean, 0.7, 1e-12);
    EXPECT_DOUBLE_EQ(marks->wordLow, 0.5);
    EXPECT_EQ(marks->line(), "признаки: langp=0.83 увер.слова=0.70/0.50");

    for (const QByteArray& nothing : {QByteArray("{\"segments\":[]}"), QByteArray("not json"), QByteArray("[1]"),
                                      QByteArray("{\"segments\":[1]}"), QByteArray("{}")})
        EXPECT_FALSE(speechMarks(nothing)) << nothing.constData();
    EXPECT_FALSE(speechMarks(std::nullopt));
}

TEST(SpeechMarks, TheTransducerDocumentGivesMinusOnesNoLanguageAndTheWholeAudio) {
    const auto doc = SherpaEngine::completionPayload("привет мир");
    ASSERT_TRUE(doc);
    const auto marks = speechMarks(*doc);
    ASSERT_TRUE(marks);
    EXPECT_EQ(marks->line(), "признаки: langp=-1.00 увер.слова=-1.00/-1.00");
    EXPECT_FALSE(detectedLanguage(*doc));
    EXPECT_DOUBLE_EQ(speechWorkSeconds(*doc, 3.5), 3.5);
}

TEST(SpeechMarks, DetectedLanguageIsTheTopLevelString) {
    EXPECT_EQ(detectedLanguage(QByteArray(R"({"language":"ru"})")), "ru");
    EXPECT_FALSE(detectedLanguage(QByteArray(R"({"language":1})")));
    EXPECT_FALSE(detectedLanguage(QByteArray("[]")));
    EXPECT_FALSE(detectedLanguage(std::nullopt));
}

TEST(SpeechWorkSeconds, CountsSpeechAndCreditsShortPauses) {
    struct Case {
        const char* name;
        QByteArray reply;
        double audio;
        double expected;
    };
    const std::vector<Case> cases{
        {"a two second pause counts", words(R"({"word":"a","start":0,"end":1},{"word":"b","start":3,"end":4})"), 30, 4.0},
        {"an eight second pause is capped at five", words(R"({"word":"a","start":0,"end":1},{"word":"b","start":9,"end":10})"), 30, 7.0},
        {"overlapping words", words(R"({"word":"a","start":0,"end":1},{"word":"b","start":0.5,"end":1.5})"), 30, 1.5},
        {"unsorted words", words(R"({"word":"b","start":3,"end":4},{"word":"a","start":0,"end":1})"), 30, 4.0},
        {"a word past the end is cut", words(R"({"word":"a","start":1,"end":9})"), 5, 4.0},
        {"only fillers", words(R"({"word":" Эм,","start":0,"end":1},{"word":"hmm","start":1,"end":2},{"word":"mmm","start":2,"end":3},{"word":"эмм","start":3,"end":4})"), 30, 0},
        {"ээм is speech", words(R"({"word":"ээм","start":0,"end":2})"), 30, 2},
        {"no words: the speech segments",
         R"({"segments":[{"start":0,"end":2,"text":" привет"},{"start":2,"end":5,"text":" эм"},{"start":6,"end":7,"text":" мир"}]})", 30, 7},
        {"no_speech_prob 0.6 is counted",
         R"({"segments":[{"start":0,"end":2,"no_speech_prob":0.6,"words":[{"word":"a","start":0,"end":2}]}]})", 30, 2},
        {"no_speech_prob 0.61 is ignored with its words",
         R"({"segments":[{"start":0,"end":2,"no_speech_prob":0.61,"words":[{"word":"a","start":0,"end":2}]}]})", 30, 0},
        {"an empty segment list is the whole audio", R"({"segments":[]})", 12, 12},
        {"no timings at all is the whole audio", R"({"segments":[{"text":" привет"}]})", 12, 12},
        {"not JSON is the whole audio", "garbage", 12, 12},
        {"no audio", words(R"({"word":"a","start":0,"end":1})"), 0, 0},
    };
    for (const Case& c : cases) EXPECT_NEAR(speechWorkSeconds(c.reply, c.audio), c.expected, 1e-9) << c.name;
    EXPECT_DOUBLE_EQ(speechWorkSeconds(std::nullopt, 7), 7);
}

}  // namespace
