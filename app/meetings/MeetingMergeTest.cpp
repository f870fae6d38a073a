#include "meetings/MeetingMerge.h"

#include "LocalHttpServer.h"
#include "TestEnvironment.h"

#include <future>

#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::MeetingTranscriber;

namespace {

MeetingWord w(const QString& text, double start, double end = -1) {
    return {text, start, end < 0 ? start + 0.3 : end, 0.9, QStringLiteral("ru")};
}

QStringList texts(const std::vector<MeetingWord>& words) {
    QStringList t;
    for (const auto& x : words) t << x.text;
    return t;
}

struct MeetingMerge : ::testing::Test {
    test::TestEnvironment env;
    // Lines stay as recognised: these tests are about who said what, not punctuation.
    void SetUp() override { env.defaults().set("meetingPolish", false); }
    std::vector<Line> run(const std::vector<MeetingWord>& mic, const std::vector<MeetingWord>& system,
                          const std::optional<QStringList>& labels = std::nullopt) {
        return MeetingTranscriber::merge(mic, system, "Я", "Собеседник", labels, 1);
    }
};

}  // namespace

TEST_F(MeetingMerge, SimilarityCountsCharacterEdits) {
    struct Row {
        QString a, b;
        double similarity;
    };
    for (const Row& r : {Row{"", "", 1}, Row{"кот", "", 0}, Row{"кот", "кит", 1 - 1.0 / 3}, Row{"абвгд", "абвxy", 0.6},
                         Row{"e\u0301ж", "éж", 1 - 1.0 / 2}}) {
        EXPECT_DOUBLE_EQ(similar(r.a, r.b), r.similarity) << r.a.toStdString() << " / " << r.b.toStdString();
    }
}

TEST_F(MeetingMerge, BleedRunsOfThreeWithinTheWindowGo) {
    const std::vector<MeetingWord> system{w("как", 10.0), w("у", 10.4), w("тебя", 10.8), w("дела", 13.4), w("сегодня", 13.8),
                                          w("вообще", 14.2)};
    struct Row {
        const char* name;
        std::vector<MeetingWord> mic;
        QStringList kept;
    };
    const std::vector<Row> rows{
        {"three within 0.5 s", {w("Как", 10.5), w("у", 10.9), w("тебя?", 11.3), w("отлично", 12)}, {"отлично"}},
        {"two stay", {w("как", 10.5), w("у", 10.9), w("ну", 11.3)}, {"как", "у", "ну"}},
        {"a pause splits the run",
         {w("как", 10.5), w("у", 10.9, 11.0), w("дела", 13.0), w("сегодня", 13.4), w("вообще", 13.8)},
         {"как", "у"}},
        {"a word without letters ends a run", {w("как", 10.5), w("у", 10.9), w("—", 11.0), w("тебя", 11.3)}, {"как", "у", "—", "тебя"}},
        {"too far in time", {w("как", 12.0), w("у", 12.4), w("тебя", 12.8)}, {"как", "у", "тебя"}},
    };
    for (const Row& row : rows) EXPECT_EQ(texts(dropSpeakerBleed(row.mic, system)), row.kept) << row.name;
}

TEST_F(MeetingMerge, BleedIsDroppedOrOnlyReportedInShadow) {
    const std::vector<MeetingWord> system{w("как", 10.0), w("у", 10.4), w("тебя", 10.8)};
    const std::vector<MeetingWord> mic{w("как", 10.5), w("у", 10.9), w("тебя", 11.3), w("хорошо", 20)};
    EXPECT_EQ(run(mic, system), (std::vector<Line>{{10.0, "Собеседник", "как у тебя"}, {20, "Я", "хорошо"}}));
    EXPECT_TRUE(env.logContains("встреча: убрано 3 слов эха колонок из 4 (75%) - собеседник остаётся в системном канале"));
    env.defaults().set("meetingDropBleed", false);
    const auto before = env.logLines().size();
    // Kept, the echoed words reach the transcript (the first inside the far-side turn as an
    // aside that sounds like it, so not shown).
    EXPECT_EQ(run(mic, system), (std::vector<Line>{{10.0, "Собеседник", "как у тебя"}, {10.9, "Я", "у тебя"}, {20, "Я", "хорошо"}}));
    EXPECT_FALSE(env.logLines().mid(before).join('\n').contains("встреча: убрано"));
    EXPECT_TRUE(env.logContains("встреча/тень: правило эха УБРАЛО БЫ 3 слов из 4 (75%), но выключено. Включить: "
                                "\"meetingDropBleed\": true в "));
}

TEST_F(MeetingMerge, ShortRemarksInsideAFarSideTurnBecomeAsides) {
    const std::vector<MeetingWord> far{w("мы", 1.0), w("начинаем", 1.4), w("завтра", 2.4), w("утром", 2.8)};
    // One word 0.4 s into the pause, the far side going on within 1.5 s.
    EXPECT_EQ(run({w("да", 2.1, 2.3)}, far), (std::vector<Line>{{1.0, "Собеседник", "мы начинаем завтра утром  ↳ (вы: да)"}}));
    // Four words are a turn of the user's own.
    const auto own = run({w("а", 2.0), w("во", 2.1), w("сколько", 2.2), w("именно", 2.3)}, far);
    ASSERT_EQ(own.size(), 3u);
    EXPECT_EQ(own[1], (Line{2.0, "Я", "а во сколько именно"}));
    // A remark that sounds like a far-side word 2 s away is a distorted echo.
    const std::vector<MeetingWord> far2{w("абвгд", 1.0), w("начинаем", 1.4), w("завтра", 2.4), w("утром", 2.8), w("вот", 3.2)};
    EXPECT_EQ(run({w("абвxy", 3.0, 3.1)}, far2), (std::vector<Line>{{1.0, "Собеседник", "абвгд начинаем завтра утром вот"}}));
    EXPECT_TRUE(env.logContains("встреча: 1 обрывков признаны искажённым эхом (похожи на слова собеседника рядом по времени) и не показаны"));
    // The user speaking first is never an aside.
    EXPECT_EQ(run({w("привет", 0.5)}, far).front(), (Line{0.5, "Я", "привет"}));
}

TEST_F(MeetingMerge, LinesBreakOnPausesOverOnePointFiveAndOnSpeakerChange) {
    EXPECT_EQ(run({}, {w("раз", 9.7, 10.0), w("два", 11.5)}).size(), 1u);
    EXPECT_EQ(run({}, {w("раз", 9.7, 10.0), w("два", 11.51)}).size(), 2u);
    EXPECT_EQ(run({}, {w("раз", 9.7, 10.0), w("два", 10.1)}, QStringList{"Собеседник 1", "Собеседник 2"}),
              (std::vector<Line>{{9.7, "Собеседник 1", "раз"}, {10.1, "Собеседник 2", "два"}}));
    EXPECT_TRUE(run({}, {}).empty());
}

TEST_F(MeetingMerge, FinishedRussianLinesArePunctuatedAndOthersCounted) {
    env.defaults().set("meetingPolish", true);
    test::LocalHttpServer corrector;
    corrector.set("/correct", {200, "Мы начинаем завтра утром, ровно в девять."});
    std::vector<MeetingWord> english{w("we", 20.0), w("start", 20.4), w("tomorrow", 20.8), w("morning", 21.2)};
    for (auto& x : english) x.lang = QStringLiteral("en");
    const std::vector<MeetingWord> russian{w("мы", 1.0), w("начинаем", 1.4), w("завтра", 1.8), w("утром", 2.2), w("ровно", 2.6),
                                           w("в", 3.0), w("девять", 3.4)};
    std::vector<MeetingWord> far = russian;
    far.insert(far.end(), english.begin(), english.end());
    auto lines = std::async(std::launch::async, [&] {
        return MeetingTranscriber::merge({w("да", 3.5, 3.6)}, far, "Я", "Собеседник", std::nullopt,
                                         quint16(corrector.url("/").port()));
    });
    ASSERT_TRUE(env.waitFor([&] { return lines.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    // The aside is added after the pass and never sent.
    EXPECT_EQ(lines.get(), (std::vector<Line>{{1.0, "Собеседник", "Мы начинаем завтра утром, ровно в девять.  ↳ (вы: да)"},
                                              {20.0, "Собеседник", "we start tomorrow morning"}}));
    EXPECT_EQ(corrector.requests(), 1);
    EXPECT_TRUE(env.logContains("встреча/полировка: не тронуто по языку реплик - en: 1 (корректор русский, чужой язык не полируем)"));
}
