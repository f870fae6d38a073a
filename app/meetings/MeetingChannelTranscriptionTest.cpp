#include "meetings/MeetingChannelTranscription.h"

#include "LocalHttpServer.h"
#include "StandIns.h"
#include "TestEnvironment.h"
#include "TestFiles.h"
#include "dictation/Wav.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <future>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::MeetingTranscriber;

namespace {

// A meeting WAV whose samples are loud (speech) in the given seconds and silent elsewhere.
QByteArray channel(double seconds, const std::vector<std::pair<double, double>>& loud) {
    const qint64 n = qint64(seconds * 16000);
    QByteArray samples(int(n * 2), '\0');
    for (qint64 i = 0; i < n; ++i) {
        const double t = double(i) / 16000;
        bool on = false;
        for (const auto& [a, b] : loud) on = on || (t >= a && t < b);
        const qint16 v = on ? qint16((i * 37) % 6000 - 3000) : 0;
        qToLittleEndian<qint16>(v, samples.data() + 2 * i);
    }
    return wavHeader(samples.size()) + samples;
}

// A verbose-JSON reply: each run of words from its window-local start, a word every 0.5 s.
QByteArray reply(const std::vector<std::pair<QString, double>>& runs) {
    QJsonArray segments;
    for (auto [text, from] : runs) {
        QJsonArray words;
        for (const QString& w : text.split(' ')) {
            words.append(QJsonObject{{"word", " " + w}, {"start", from}, {"end", from + 0.4}, {"probability", 0.8}});
            from += 0.5;
        }
        segments.append(QJsonObject{{"words", words}});
    }
    return QJsonDocument(QJsonObject{{"language", "ru"}, {"segments", segments}}).toJson(QJsonDocument::Compact);
}

struct ChannelTranscription : ::testing::Test {
    test::TestEnvironment env;
    quint16 port = test::freePort();
    QString model = env.root() + "/model.bin";

    void SetUp() override { test::writeFile(model, "m"); }

    test::StandIn server(const QByteArray& sequence, const QStringList& extra = {}) {
        const QString file = env.root() + QString("/sequence-%1.jsonl").arg(++servers_);
        test::writeFile(file, sequence);
        test::StandIn s = test::spawnStandIn(QStringList{test::toolPath("murmelo-whisper-stand-in"), "-m", model, "--port",
                                                         QString::number(port), "--sequence", file} +
                                             extra);
        EXPECT_EQ(s.readLine(), "stand-in: listening at http://127.0.0.1:" + std::to_string(port));
        return s;
    }
    RecognitionServer endpoint(std::function<void()> revive = {}) {
        return {QUrl(QString("http://127.0.0.1:%1/inference").arg(port)), std::move(revive)};
    }
    MeetingStitch transcribe(const QString& path, const RecognitionServer& to) {
        auto result = std::async(std::launch::async, [&] { return transcribeChannel(path, "система", to); });
        EXPECT_TRUE(env.waitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000));
        return result.get();
    }
    int servers_ = 0;
};

}  // namespace

TEST_F(ChannelTranscription, LengthsAndSlicesComeFromByteCounts) {
    const QString path = env.root() + "/c.wav";
    test::writeFile(path, QByteArray(44, 'h'));
    EXPECT_EQ(duration(path), 0.0);
    EXPECT_EQ(duration(env.root() + "/missing.wav"), 0.0);
    QByteArray d = channel(63, {});
    for (int i = 0; i < 70000; ++i) d[80044 + i] = char(i % 251);
    test::writeFile(path, d);
    EXPECT_EQ(duration(path), 63.0);
    const auto s = slice(path, 2.5, 62.5);
    ASSERT_TRUE(s);
    EXPECT_EQ(s->size(), 44 + 1920000);
    EXPECT_EQ(s->left(44), wavHeader(1920000));
    EXPECT_EQ(s->mid(44, 70000), d.mid(80044, 70000));
    // Past the end: the part that exists.
    EXPECT_EQ(slice(path, 60, 70)->size(), 44 + 96000);
    EXPECT_FALSE(slice(path, 70, 80));
}

TEST_F(ChannelTranscription, ADenseChannelGoesInOverlappingWindowsAndStitchesWithoutDoubles) {
    const QString path = env.root() + "/system.wav";
    test::writeFile(path, channel(130, {{0, 130}}));
    // Each overlap is heard by both of its windows.
    test::StandIn s = server(reply({{"мы начали проект", 56.0}}) + "\n" +
                             reply({{"начали проект вчера утром", 3.5}, {"и закончили", 57.0}}) + "\n" +
                             reply({{"и закончили рано", 4.0}}));
    const MeetingStitch stitch = transcribe(path, endpoint());
    EXPECT_EQ(stitch.text(), "мы начали проект вчера утром и закончили рано");
    EXPECT_EQ(stitch.seams.size(), 2u);
    EXPECT_EQ(stitch.unreliableSeams(), 0);
    EXPECT_EQ(stitch.words[1].start, 56.5);
    for (int i = 1; i <= 3; ++i) {
        EXPECT_EQ(s.readLine().rfind("stand-in: processing 'w.wav'", 0), 0u);
        EXPECT_EQ(s.readLine(), "stand-in: sequence reply " + std::to_string(i) + ", vad_threshold none");
    }
    EXPECT_TRUE(env.logContains("встреча/система: 3 окон, 8 слов, ненадёжных швов 0"));
    EXPECT_FALSE(env.logContains("режу по речи"));
}

TEST_F(ChannelTranscription, ASparseChannelIsCutBySpeechWithStrictVoiceActivity) {
    const QString path = env.root() + "/system.wav";
    test::writeFile(path, channel(30, {{5, 7}, {20, 21}}));
    test::StandIn s = server(reply({{"алло", 0.5}}) + "\n" + reply({{"да", 0.5}}));
    const MeetingStitch stitch = transcribe(path, endpoint());
    EXPECT_EQ(stitch.text(), "алло да");
    EXPECT_TRUE(stitch.seams.empty());
    EXPECT_TRUE(env.logContains("встреча/система: речи 10% времени, кусков 2 - режу по речи"));
    s.readLine();
    EXPECT_EQ(s.readLine(), "stand-in: sequence reply 1, vad_threshold 0.5");

    const QString quiet = env.root() + "/quiet.wav";
    test::writeFile(quiet, channel(5, {}));
    EXPECT_TRUE(transcribe(quiet, endpoint()).words.empty());
    EXPECT_TRUE(env.logContains("встреча/система: речи 0% времени, кусков 0 - режу по речи"));
    EXPECT_TRUE(env.logContains("встреча/система: речи не найдено вовсе"));
}

TEST_F(ChannelTranscription, AServerThatDiedIsRevivedOnceAndTheWindowRetried) {
    const QString path = env.root() + "/system.wav";
    test::writeFile(path, channel(113, {{0, 113}}));
    // The first server answers the first window, then exits.
    auto first = std::make_unique<test::StandIn>(server(reply({{"раз два", 1.0}}), {"--fail-after", "1"}));
    std::unique_ptr<test::StandIn> second;
    int revivals = 0;
    const auto revive = [&] {
        ++revivals;
        ASSERT_GE(first->wait(), 0);
        second = std::make_unique<test::StandIn>(server(reply({{"три четыре", 1.0}})));
    };
    const MeetingStitch stitch = transcribe(path, endpoint(revive));
    EXPECT_EQ(revivals, 1);
    EXPECT_EQ(stitch.text(), "раз два три четыре");
    EXPECT_EQ(env.logText().count("встреча: сайдкар не ответил на окне - поднимаю и повторяю"), 1);

    // Down for good: every window is revived once, retried once, and reported.
    second.reset();
    int tries = 0;
    const MeetingStitch none = transcribe(path, endpoint([&] { ++tries; }));
    EXPECT_TRUE(none.words.empty());
    EXPECT_EQ(tries, 2);
    EXPECT_TRUE(env.logContains("⚠ встреча/система: окно 2/2 (53-113 с) не распознано"));
}
