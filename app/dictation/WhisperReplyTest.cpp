#include "dictation/WhisperReply.h"
#include "dictation/WhisperRequest.h"

#include "platform/Service.h"
#include "TestEnvironment.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

struct Case {
    const char* name;
    QString input;
    QString expected;
};

QByteArray replyWith(std::initializer_list<std::pair<QString, QJsonValue>> segments) {
    QJsonArray array;
    for (const auto& [text, noSpeech] : segments) {
        QJsonObject s{{"text", text}};
        if (!noSpeech.isUndefined()) s.insert("no_speech_prob", noSpeech);
        array.append(s);
    }
    return QJsonDocument(QJsonObject{{"text", "top level"}, {"segments", array}}).toJson();
}

}  // namespace

TEST(WhisperReply, CleanTextRemovesRecogniserJunkAndKeepsSpeech) {
    test::TestEnvironment env;
    const Case cases[] = {
        {"blank-audio tag alone", "[BLANK_AUDIO]", ""},
        {"noise word alone", "(музыка)", ""},
        {"dots alone", "...", ""},
        {"tags inside speech", "Привет [музыка] мир (смех) (Music)", "Привет мир"},
        {"closing phrase tail", "Привет всем. Продолжение следует...", "Привет всем."},
        {"thanks tail in any case", "We are done. THANKS FOR WATCHING!", "We are done."},
        {"information link tail", "See you. For more information, please visit www.example.com.", "See you."},
        {"credit literal anywhere", "Hello Subtitles by the team", "Hello the team"},
        {"credit literal is case-sensitive", "hello subtitles by the team", "hello subtitles by the team"},
        {"credit name literal", "Текст DimaTorzok", "Текст"},
        {"credits with a name", "Это всё. Субтитры: Иванов", "Это всё."},
        {"credits with initials", "Конец. А. Семкин Корректор А. Егорова", "Конец."},
        {"proof-reader credit", "Пока. Корректор: Синецкая", "Пока."},
        {"a request to turn subtitles on stays", "Включи субтитры пожалуйста", "Включи субтитры пожалуйста"},
        {"a wish for a proof-reader stays", "Нужен корректор текста", "Нужен корректор текста"},
        {"white space collapsed", "  one\n\ttwo   three ", "one two three"},
        {"punctuation only", " - ... ! ", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(cleanText(c.input), c.expected) << c.name;
}

TEST(WhisperReply, TextReplacementsRunAfterTheJunkFilters) {
    test::TestEnvironment env;
    ReplyTextServices services;
    QStringList seen;
    services.applyTextReplacements = [&](const QString& t) {
        seen << t;
        return QString(t).replace("kuber", "Kubernetes");
    };
    ScopedService<ReplyTextServices> scope(services);
    EXPECT_EQ(cleanText("Deploy to kuber [BLANK_AUDIO]"), "Deploy to Kubernetes");
    ASSERT_EQ(seen.size(), 1);
    EXPECT_FALSE(seen[0].contains("BLANK_AUDIO"));
}

TEST(WhisperReply, SegmentsDropNoSpeechUnlessNothingElseIsLeft) {
    test::TestEnvironment env;
    const QByteArray mixed = replyWith({{" Hello world.", 0.1}, {" Thank you.", 0.9}});
    EXPECT_EQ(reassemble(mixed), "Hello world.");
    EXPECT_EQ(reassembleRaw(mixed), "Hello world. Thank you.");

    const QByteArray allSilent = replyWith({{" Good morning.", 0.95}, {" Everyone.", 0.7}});
    EXPECT_EQ(reassemble(allSilent), "Good morning. Everyone.");

    // Exactly the threshold, a missing value and a non-number keep the segment.
    const QByteArray edges = replyWith({{" One", 0.6}, {" two", QJsonValue()}, {" three", "0.99"}, {" four", 0.61}});
    EXPECT_EQ(reassemble(edges), "One two three");

    // Segments win over the top-level text; a segment without a text string adds nothing.
    const QByteArray odd = QJsonDocument::fromJson(R"({"text":"ignored","segments":[{"text":5},{"text":" Ok then"}]})").toJson();
    EXPECT_EQ(reassemble(odd), "Ok then");
    EXPECT_EQ(reassemble(R"({"text":" Only the top level "})"), "Only the top level");
    EXPECT_EQ(reassemble(R"({"segments":[1,2],"text":"fallback"})"), "fallback");
    EXPECT_EQ(reassemble(R"({"language":"en"})"), "");
}

TEST(WhisperReply, MalformedOrTruncatedRepliesGiveNoText) {
    test::TestEnvironment env;
    const QByteArray good = replyWith({{" Hello world.", 0.1}});
    const QList<QByteArray> bad{"", "not json", "[1,2]", "\"text\"", good.left(good.size() / 2), "{\"text\": ",
                                QByteArray(3, '\0')};
    for (const QByteArray& b : bad) {
        EXPECT_EQ(reassemble(b), "") << b.constData();
        EXPECT_EQ(reassembleRaw(b), "") << b.constData();
        const RecognitionReply r = readRecognitionReply(200, b);
        EXPECT_FALSE(r.ok()) << b.constData();
        EXPECT_TRUE(r.failure.contains("не разобран")) << r.failure.toStdString();
    }
    const RecognitionReply fine = readRecognitionReply(200, good);
    EXPECT_TRUE(fine.ok()) << fine.failure.toStdString();
    EXPECT_EQ(fine.text, "Hello world.");
    const RecognitionReply refused = readRecognitionReply(400, R"({"error":"no 'file' field in the request"})");
    EXPECT_FALSE(refused.ok());
    EXPECT_EQ(refused.failure, "сервер распознавания ответил HTTP 400");
    EXPECT_EQ(refused.text, "");
}

TEST(WhisperReply, RepeatedSentencesCollapse) {
    const Case cases[] = {
        {"a repeated sentence", "Hello there my friend. Hello there my friend.", "Hello there my friend."},
        {"short repeats stay", "Да. Да. Да.", "Да. Да. Да."},
        {"echo of an earlier sentence", "One two three four. Five. One two three four.", "One two three four. Five."},
        {"repeated block of two", "Go to the shop. Buy some milk now. Go to the shop. Buy some milk now.",
         "Go to the shop. Buy some milk now."},
        {"a loop of many", "This is a loop here. This is a loop here. This is a loop here. This is a loop here.",
         "This is a loop here."},
        {"neighbours in the middle", "Start. We will meet at noon! we will meet at noon. End.",
         "Start. We will meet at noon! End."},
        {"a decimal does not split", "Version 3.5 is out now. Version 3.5 is out now.", "Version 3.5 is out now."},
        {"single sentence untouched", "  Just one sentence here  ", "  Just one sentence here  "},
        {"blank untouched", "   ", "   "},
    };
    for (const Case& c : cases) EXPECT_EQ(collapseRepeatedSentences(c.input), c.expected) << c.name;
}

TEST(WhisperReply, FillersAndRepetitiveGarbage) {
    for (const char* filler : {"Thank you.", "Спасибо!", "  you  ", "...", "♪", "Продолжение следует…", ""})
        EXPECT_TRUE(isFiller(QString::fromUtf8(filler))) << filler;
    for (const char* speech : {"Thank you very much", "Спасибо большое", "bye now"})
        EXPECT_FALSE(isFiller(QString::fromUtf8(speech))) << speech;

    EXPECT_TRUE(isRepetitiveGarbage("да да да да да"));
    EXPECT_TRUE(isRepetitiveGarbage("ну, ну, ну. Что? Ну ну"));
    EXPECT_FALSE(isRepetitiveGarbage("one two three"));
    EXPECT_FALSE(isRepetitiveGarbage("а б а б а б а б"));
    EXPECT_FALSE(isRepetitiveGarbage("да да"));
    // A run of three among many different words is speech.
    EXPECT_FALSE(isRepetitiveGarbage("so so so we went to the market and bought fresh bread today"));
}

TEST(WhisperRequest, MultipartBodyByteForByte) {
    const QByteArray body = WhisperRequest::multipartBody("B", "rec.wav", "xy", {{"temperature", "0"}});
    EXPECT_EQ(body,
              QByteArray("--B\r\n"
                         "Content-Disposition: form-data; name=\"file\"; filename=\"rec.wav\"\r\n"
                         "Content-Type: audio/wav\r\n\r\n"
                         "xy\r\n"
                         "--B\r\n"
                         "Content-Disposition: form-data; name=\"temperature\"\r\n\r\n"
                         "0\r\n"
                         "--B--\r\n"));
    const QString b = WhisperRequest::boundary("Boundary-kelpor-");
    EXPECT_TRUE(b.startsWith("Boundary-kelpor-"));
    EXPECT_EQ(b.size(), QString("Boundary-kelpor-").size() + 36);
    EXPECT_EQ(b, b.toUpper().replace("BOUNDARY-KELPOR-", "Boundary-kelpor-"));
    EXPECT_NE(b, WhisperRequest::boundary("Boundary-kelpor-"));
}

TEST(WhisperRequest, DictationFieldsFollowPromptAndPinnedLanguage) {
    using Fields = QList<FormField>;
    const Fields base{{"response_format", "verbose_json"}, {"temperature", "0"}, {"beam_size", "5"}};
    EXPECT_EQ(WhisperRequest::dictationFields("  \n", std::nullopt), base);
    EXPECT_EQ(WhisperRequest::dictationFields("", QString("ru")), base + Fields({{"language", "ru"}}));
    EXPECT_EQ(WhisperRequest::dictationFields(" Kubernetes, Grafana ", std::nullopt),
              base + Fields({{"prompt", "Kubernetes, Grafana."}, {"carry_initial_prompt", "true"}}));
    EXPECT_EQ(WhisperRequest::dictationPrompt("Ends here."), "Ends here.");
    EXPECT_EQ(WhisperRequest::warmupFields(),
              (Fields{{"response_format", "text"}, {"temperature", "0"}, {"vad_threshold", "0.01"}}));
}
