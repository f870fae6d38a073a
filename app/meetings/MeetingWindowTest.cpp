#include "meetings/MeetingSpeech.h"
#include "meetings/MeetingWindow.h"

#include "TestEnvironment.h"
#include "TestFiles.h"

#include <gtest/gtest.h>

using namespace murmelo;
using MeetingSpeech::Region;
using MeetingWindow::Slot;

namespace {

std::vector<double> envelope(int frames, std::initializer_list<int> loud, double level = 0.1) {
    std::vector<double> e(size_t(frames), 0.0);
    for (int i : loud) e[size_t(i)] = level;
    return e;
}

QByteArray pcm(qint64 bytes, qint16 value) {
    QByteArray d(44, 'h');
    for (qint64 i = 0; i + 1 < bytes; i += 2) d.append(reinterpret_cast<const char*>(&value), 2);
    if (bytes % 2) d.append('x');
    return d;
}

std::vector<MeetingWord> said(const QString& text, double start, double step = 0.4) {
    std::vector<MeetingWord> out;
    for (const QString& w : text.split(' ')) {
        out.push_back({w, start, start + step * 0.8, 0.9, QStringLiteral("ru")});
        start += step;
    }
    return out;
}

QString texts(const std::vector<MeetingWord>& words) {
    QStringList t;
    for (const auto& w : words) t << w.text;
    return t.join(' ');
}

}  // namespace

TEST(MeetingSpeech, LevelsCountWholeFramesAfterTheHeader) {
    test::TestEnvironment env;
    struct Row {
        qint64 bytes;
        size_t levels;
    };
    for (const Row& row : {Row{0, 0}, Row{3199, 0}, Row{3200, 1}, Row{6401, 2}}) {
        const QString path = env.root() + QString("/c%1.wav").arg(row.bytes);
        test::writeFile(path, pcm(row.bytes, 16384));
        const auto l = MeetingSpeech::levels(path);
        ASSERT_EQ(l.size(), row.levels) << row.bytes;
        for (double v : l) EXPECT_EQ(v, 0.5);
    }
    EXPECT_TRUE(MeetingSpeech::levels(env.root() + "/missing.wav").empty());
}

TEST(MeetingSpeech, RegionsJoinShortGapsAndPad) {
    const double t = std::pow(10.0, -45.0 / 20.0);
    struct Row {
        const char* name;
        std::vector<double> levels;
        std::vector<Region> regions;
    };
    std::vector<double> atThreshold(30, t);
    std::vector<double> gap20 = envelope(100, {10, 31});
    std::vector<double> gap21 = envelope(100, {10, 32});
    std::vector<double> tail = envelope(50, {45});
    const std::vector<Row> rows{
        {"one loud frame", envelope(50, {10}), {{0.6, 1.4}}},
        {"20 quiet frames stay one region", gap20, {{0.6, 3.1 + 0.4}}},
        {"21 quiet frames split", gap21, {{0.6, 1.4}, {3.2 - 0.4, 3.2 + 0.4}}},
        {"a loud first frame pads to 0", envelope(50, {0}), {{0, 0.4}}},
        {"an open region ends at the total", tail, {{4.5 - 0.4, 5.0}}},
        {"a loud last frame", envelope(50, {49}), {{4.9 - 0.4, 5.0}}},
        {"at the threshold is quiet", atThreshold, {}},
        {"no frames", {}, {}},
    };
    for (const Row& row : rows) {
        const auto got = MeetingSpeech::regions(row.levels);
        ASSERT_EQ(got.size(), row.regions.size()) << row.name;
        for (size_t i = 0; i < got.size(); ++i) {
            EXPECT_DOUBLE_EQ(got[i].start, row.regions[i].start) << row.name;
            EXPECT_DOUBLE_EQ(got[i].end, row.regions[i].end) << row.name;
        }
    }
    EXPECT_EQ(MeetingSpeech::regions(envelope(50, {10})), (std::vector<Region>{{0.6, 1.4}}));
    EXPECT_EQ(MeetingSpeech::loudShare(atThreshold), 0.0);
    EXPECT_EQ(MeetingSpeech::loudShare(envelope(4, {1})), 0.25);
}

TEST(MeetingWindow, PlansCoverRegionsAndDurations) {
    EXPECT_EQ(MeetingWindow::plan(std::vector<Region>{{5, 66}, {70, 130}, {140, 140}}),
              (std::vector<Slot>{{5, 65, false}, {58, 66, true}, {70, 130, false}}));
    using Pairs = std::vector<std::pair<double, double>>;
    EXPECT_EQ(MeetingWindow::plan(53.0), (Pairs{{0, 53}}));
    EXPECT_EQ(MeetingWindow::plan(113.0), (Pairs{{0, 60}, {53, 113}}));
    EXPECT_EQ(MeetingWindow::plan(130.0), (Pairs{{0, 60}, {53, 113}, {106, 130}}));
    EXPECT_TRUE(MeetingWindow::plan(0.0).empty());
}

TEST(MeetingWindow, ReplyPiecesGlueIntoWords) {
    const QByteArray reply = R"({"language":"en","segments":[{"words":[
        {"word":" Hel","start":1.0,"end":1.2,"probability":0.9},
        {"word":"lo","start":1.2,"end":1.5,"probability":0.7},
        {"word":"   ","start":1.5,"end":1.6,"probability":0.1},
        {"word":" world","start":1.6,"end":2.0}]},
        {"words":"not a list"}]})";
    const auto w = MeetingWindow::words(reply, 53);
    ASSERT_EQ(w.size(), 2u);
    EXPECT_EQ(w[0], (MeetingWord{"Hello", 54.0, 54.5, 0.7, QString("en")}));
    EXPECT_EQ(w[1], (MeetingWord{"world", 54.6, 55.0, -1, QString("en")}));
    // A piece with a probability glued to a word without one leaves it unknown.
    const auto unknown = MeetingWindow::words(R"({"segments":[{"words":[{"word":" a"},{"word":"b","probability":0.5}]}]})", 0);
    ASSERT_EQ(unknown.size(), 1u);
    EXPECT_EQ(unknown[0].prob, -1);
    EXPECT_FALSE(unknown[0].lang);
    for (const char* bad : {"", "[]", R"({"segments":{}})", R"({"segments":[1]})"})
        EXPECT_TRUE(MeetingWindow::words(bad, 0).empty()) << bad;
}

TEST(MeetingWindow, KeysAndCommonRuns) {
    EXPECT_EQ(MeetingWindow::key({"Ёлка,"}), MeetingWindow::key({"елка"}));
    EXPECT_EQ(MeetingWindow::key({"«—»"}), "");
    // Of two equally long runs, the one that ends first in the left list wins.
    EXPECT_EQ(MeetingWindow::longestCommonRun({"a", "b", "x", "c", "d"}, {"c", "d", "a", "b"}),
              (MeetingWindow::CommonRun{0, 2, 2}));
    EXPECT_EQ(MeetingWindow::longestCommonRun({}, {"a"}), (MeetingWindow::CommonRun{}));
}

TEST(MeetingWindow, SplicesOnACommonRunElseAtTheMiddle) {
    const auto left = said("привет как дела у тебя", 50.0);  // 50.0 .. 51.6
    const auto right = said("у тебя сегодня", 51.2);
    auto [joined, seam] = MeetingWindow::splice(left, right, 50.0, 57.0, 0);
    EXPECT_EQ(texts(joined), "привет как дела у тебя сегодня");
    EXPECT_EQ(joined[3].start, right[0].start);
    EXPECT_EQ(seam, (MeetingSeam{0, right[0].start, 2, true}));

    const auto one = said("тебя сегодня", 51.6);
    auto [cut, midSeam] = MeetingWindow::splice(left, one, 50.0, 52.0, 3);
    EXPECT_EQ(midSeam, (MeetingSeam{3, 51.0, 0, false}));
    EXPECT_EQ(texts(cut), "привет как дела тебя сегодня");

    EXPECT_EQ(MeetingWindow::splice({}, right, 50, 57, 1).second, (MeetingSeam{1, 50, 0, false}));
    EXPECT_EQ(MeetingWindow::splice(left, {}, 50, 57, 1).second, (MeetingSeam{1, 57, 0, false}));
}

// A 130 s channel in three windows whose overlaps repeat the words heard near them.
TEST(MeetingWindow, StitchingThreeWindowsDoublesNoWord) {
    const std::vector<Slot> windows{{0, 60, false}, {53, 113, true}, {106, 130, true}};
    const std::vector<std::vector<MeetingWord>> chunks{
        said("раз два три четыре", 54.0, 1.0),            // 54 .. 57.8
        said("три четыре пять шесть семь восемь", 56.0, 1.0) /* 56 .. */,
        said("семь восемь девять", 107.0, 1.0),
    };
    auto second = chunks[1];
    second[4].start = 107.0;  // семь
    second[4].end = 107.8;
    second[5].start = 108.0;
    second[5].end = 108.8;
    const auto s = MeetingWindow::stitch({chunks[0], second, chunks[2]}, windows);
    EXPECT_EQ(s.text(), "раз два три четыре пять шесть семь восемь девять");
    EXPECT_EQ(s.seams.size(), 2u);
    EXPECT_EQ(s.unreliableSeams(), 0);
    // A window that gave nothing leaves two unreliable seams, and the rest still joins.
    const auto gap = MeetingWindow::stitch({chunks[0], {}, chunks[2]}, windows);
    EXPECT_EQ(gap.unreliableSeams(), 2);
    EXPECT_EQ(gap.text(), "раз два три четыре семь восемь девять");
}
