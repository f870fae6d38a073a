#include "dictation/Wav.h"
#include "dictation/WavWriter.h"

#include "TestEnvironment.h"
#include "platform/Folders.h"

#include <QFile>
#include <QRandomGenerator>
#include <QtEndian>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace murmelo;

namespace {

QByteArray u32(quint32 v) {
    QByteArray b(4, 0);
    qToLittleEndian<quint32>(v, b.data());
    return b;
}

QByteArray chunk(const char* id, const QByteArray& payload, std::optional<quint32> claimed = std::nullopt) {
    QByteArray c = QByteArray(id, 4) + u32(claimed.value_or(quint32(payload.size()))) + payload;
    if (payload.size() % 2) c += '\0';
    return c;
}

QByteArray fmt(quint16 format = 1, quint16 bits = 16, quint16 channels = 1) {
    return wavHeader(0, 16000, channels, bits).mid(20, 16).replace(0, 2, QByteArray::fromRawData(reinterpret_cast<const char*>(&format), 2));
}

QByteArray riff(const QByteArray& chunks) { return "RIFF" + u32(quint32(chunks.size() + 4)) + "WAVE" + chunks; }

QByteArray samples(std::initializer_list<qint16> s) {
    QByteArray b;
    for (qint16 v : s) {
        char x[2];
        qToLittleEndian<qint16>(v, x);
        b.append(x, 2);
    }
    return b;
}

QByteArray wavOf(const QByteArray& payload) { return wavHeader(payload.size()) + payload; }

}  // namespace

TEST(Wav, HeaderIsTheCanonicalFortyFourBytes) {
    const QByteArray h = wavHeader(32000);
    ASSERT_EQ(h.size(), 44);
    EXPECT_EQ(h.left(4), "RIFF");
    EXPECT_EQ(qFromLittleEndian<quint32>(h.constData() + 4), 32036u);
    EXPECT_EQ(h.mid(8, 8), "WAVEfmt ");
    EXPECT_EQ(qFromLittleEndian<quint32>(h.constData() + 24), 16000u);
    EXPECT_EQ(qFromLittleEndian<quint32>(h.constData() + 28), 32000u);
    EXPECT_EQ(qFromLittleEndian<quint16>(h.constData() + 32), 2);
    EXPECT_EQ(qFromLittleEndian<quint16>(h.constData() + 34), 16);
    EXPECT_EQ(h.mid(36, 4), "data");
    EXPECT_EQ(qFromLittleEndian<quint32>(h.constData() + 40), 32000u);
    // Stereo 24-bit at 48 kHz: the derived fields follow.
    const QByteArray s = wavHeader(0, 48000, 2, 24);
    EXPECT_EQ(qFromLittleEndian<quint32>(s.constData() + 28), 288000u);
    EXPECT_EQ(qFromLittleEndian<quint16>(s.constData() + 32), 6);
}

TEST(Wav, PayloadSearchWalksTheChunks) {
    const QByteArray pcm = samples({1, -2, 3});
    struct Case {
        const char* name;
        QByteArray data;
        std::optional<WavRange> expected;
    };
    const std::vector<Case> cases{
        {"empty header", wavHeader(0), WavRange{44, 44}},
        {"canonical", wavOf(pcm), WavRange{44, 50}},
        {"odd unknown chunk before data", riff(chunk("fmt ", fmt()) + chunk("LIST", "abc") + chunk("data", pcm)), WavRange{56, 62}},
        {"chunk after data", riff(chunk("fmt ", fmt()) + chunk("data", pcm) + chunk("junk", "xy")), WavRange{44, 50}},
        {"later data chunk wins", riff(chunk("data", samples({9})) + chunk("fmt ", fmt()) + chunk("data", pcm)), WavRange{54, 60}},
        {"data before fmt", riff(chunk("data", pcm) + chunk("fmt ", fmt())), WavRange{20, 26}},
        {"24-bit", riff(chunk("fmt ", fmt(1, 24)) + chunk("data", pcm)), std::nullopt},
        {"32-bit", riff(chunk("fmt ", fmt(1, 32)) + chunk("data", pcm)), std::nullopt},
        {"float", riff(chunk("fmt ", fmt(3, 16)) + chunk("data", pcm)), std::nullopt},
        {"later fmt decides", riff(chunk("fmt ", fmt(3)) + chunk("fmt ", fmt()) + chunk("data", pcm)), WavRange{68, 74}},
        {"stereo is not checked", riff(chunk("fmt ", fmt(1, 16, 2)) + chunk("data", pcm)), WavRange{44, 50}},
        {"no fmt", riff(chunk("data", pcm)), std::nullopt},
        {"no data", riff(chunk("fmt ", fmt())), std::nullopt},
        {"data claims more than the file", riff(chunk("fmt ", fmt()) + chunk("data", pcm, 100)), std::nullopt},
        {"odd chunk without its pad byte", riff(chunk("fmt ", fmt()) + chunk("data", pcm)) + "LIST" + u32(3) + "abc", std::nullopt},
        {"short fmt is ignored", riff(chunk("fmt ", "0123") + chunk("data", pcm)), std::nullopt},
        {"not RIFF", "RIFX" + wavOf(pcm).mid(4), std::nullopt},
        {"not WAVE", wavOf(pcm).replace(8, 4, "AVI "), std::nullopt},
        {"eleven bytes", wavOf(pcm).left(11), std::nullopt},
        {"truncated header", wavOf(pcm).left(30), std::nullopt},
        {"truncated samples", wavOf(pcm).left(48), std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(wavPCM16PayloadRange(c.data), c.expected) << c.name;
}

TEST(Wav, LevelsArePeakAndMeanMagnitude) {
    EXPECT_EQ(audioLevels(wavHeader(0)), (AudioLevels{0, 0}));
    EXPECT_EQ(audioLevels("not a wav"), (AudioLevels{0, 0}));
    EXPECT_EQ(audioLevels(wavOf(samples({100}).left(1))), (AudioLevels{0, 0}));
    EXPECT_FLOAT_EQ(audioPeak(wavOf(samples({0, -32768, 5}))), 1.0f);
    const AudioLevels l = audioLevels(wavOf(samples({16384, -8192, 0, 8192})));
    EXPECT_FLOAT_EQ(l.peak, 0.5f);
    EXPECT_FLOAT_EQ(l.mean, 0.25f);
    // A trailing odd byte is not a sample.
    EXPECT_EQ(audioLevels(wavOf(samples({16384}) + "\x7f") + QByteArray(1, '\0')), audioLevels(wavOf(samples({16384}))));
}

TEST(Wav, TrimKeepsTheStartOnlyWhenWorthIt) {
    const auto take = [](int bytes) {
        QByteArray payload(bytes, '\x01');
        return wavOf(payload) + chunk("LIST", "tail");
    };
    struct Case {
        const char* name;
        int payload;
        double seconds;
        std::optional<int> kept;
    };
    const std::vector<Case> cases{
        {"cut of 0.2 s is not worth it", 38400, 1.0, std::nullopt},
        {"cut of exactly 0.3 s is not worth it", 41600, 1.0, std::nullopt},
        {"one second of two", 64000, 1.0, 32000},
        {"odd byte count rounds down", 64000, 0.5000312, 16000},
        {"keeping more than there is", 32000, 5.0, std::nullopt},
        {"nothing to keep", 64000, 0.00001, std::nullopt},
        {"zero seconds", 64000, 0.0, std::nullopt},
        {"negative seconds", 64000, -1.0, std::nullopt},
        {"not a number", 64000, std::nan(""), std::nullopt},
        {"infinite", 64000, INFINITY, std::nullopt},
    };
    for (const auto& c : cases) {
        const auto out = trimWavToSeconds(take(c.payload), c.seconds);
        ASSERT_EQ(out.has_value(), c.kept.has_value()) << c.name;
        if (!out) continue;
        EXPECT_EQ(out->size(), 44 + *c.kept) << c.name;
        EXPECT_EQ(qFromLittleEndian<quint32>(out->constData() + 40), quint32(*c.kept)) << c.name;
        EXPECT_EQ(qFromLittleEndian<quint32>(out->constData() + 4), quint32(out->size() - 8)) << c.name;
        EXPECT_EQ(wavPCM16PayloadRange(*out), (WavRange{44, 44 + *c.kept})) << c.name;
    }
    EXPECT_EQ(trimWavToSeconds("garbage", 1.0), std::nullopt);
}

namespace {

struct WavFiles : ::testing::Test {
    test::TestEnvironment env;
    QString write(const QString& name, const QByteArray& bytes) {
        const QString path = Folders::join(Folders::temporary(), name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return path;
    }
};

}  // namespace

TEST_F(WavFiles, CompleteOnlyWhenTheDataChunkRunsToTheEnd) {
    const QByteArray pcm = samples({1, 2, 3, 4});
    struct Case {
        const char* name;
        QByteArray bytes;
        bool complete;
    };
    const std::vector<Case> cases{
        {"canonical", wavOf(pcm), true},
        {"exactly 44 bytes", wavHeader(0), false},
        {"data size still 0", wavHeader(0) + pcm, false},
        {"data size short of the end", wavHeader(4) + pcm, false},
        {"data size past the end", wavHeader(100) + pcm, false},
        {"odd chunk before data", riff(chunk("fmt ", fmt()) + chunk("LIST", "abc") + chunk("data", pcm)), true},
        {"zero-size chunk before data", riff(chunk("fmt ", fmt()) + chunk("FLLR", "") + chunk("data", pcm)), false},
        {"chunk larger than the file", riff(chunk("fmt ", fmt(), 5000) + chunk("data", pcm)), false},
        {"not RIFF", "RIFX" + wavOf(pcm).mid(4), false},
        {"chunk header beyond the first 16 KiB", riff(chunk("fmt ", fmt()) + chunk("LIST", QByteArray(17000, 'x')) + chunk("data", pcm)), false},
    };
    for (const auto& c : cases) EXPECT_EQ(wavIsComplete(write("t.wav", c.bytes)), c.complete) << c.name;
    EXPECT_FALSE(wavIsComplete(Folders::join(Folders::temporary(), "missing.wav")));
}

TEST_F(WavFiles, ReadyWaitHandsOnAtOnceOrAfterTheCeiling) {
    int calls = 0;
    whenWavReady(write("done.wav", wavOf(samples({1, 2}))), [&] { ++calls; });
    EXPECT_EQ(calls, 1);  // before the call returned
    EXPECT_FALSE(env.logContains("запись: файл дописан"));

    // A file that completes while waited for.
    const QString later = write("later.wav", wavHeader(0) + samples({1, 2}));
    whenWavReady(later, [&] { ++calls; });
    env.advance(0.05);
    EXPECT_EQ(calls, 1);
    write("later.wav", wavOf(samples({1, 2})));
    env.advance(0.015);
    EXPECT_EQ(calls, 2);
    EXPECT_TRUE(env.logContains("запись: файл дописан через 60 мс\n")) << env.logText().toStdString();

    const QString never = write("never.wav", wavHeader(0) + samples({1, 2}));
    whenWavReady(never, [&] { ++calls; });
    env.advance(0.29);
    EXPECT_EQ(calls, 2);
    env.advance(0.02);
    EXPECT_EQ(calls, 3);
    EXPECT_TRUE(env.logContains("запись: файл дописан через 300 мс — ПОТОЛОК, заголовок так и не сошёлся"))
        << env.logText().toStdString();
    env.advance(1.0);
    EXPECT_EQ(calls, 3);
}

TEST_F(WavFiles, WriterRoundTripsSamplesAndFinishesTheHeader) {
    const QString path = Folders::join(Folders::temporary(), "w.wav");
    QString error;
    auto w = WavWriter::create(path, 16000, &error);
    ASSERT_TRUE(w) << error.toStdString();
    struct stat st {};
    ASSERT_EQ(stat(QFile::encodeName(path).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    std::vector<qint16> all;
    for (int block = 0; block < 5; ++block) {
        std::vector<qint16> s;
        for (int i = 0; i < 321; ++i) s.push_back(qint16((block * 7919 + i * 104729) % 65536 - 32768));
        w->append(s.data(), s.size());
        all.insert(all.end(), s.begin(), s.end());
        // Unfinished: readers see no final header yet.
        EXPECT_FALSE(wavIsComplete(path));
    }
    ASSERT_TRUE(w->finish());
    EXPECT_TRUE(wavIsComplete(path));
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray data = f.readAll();
    const auto range = wavPCM16PayloadRange(data);
    ASSERT_TRUE(range);
    ASSERT_EQ(range->size(), qsizetype(all.size() * 2));
    for (size_t i = 0; i < all.size(); ++i)
        ASSERT_EQ(qFromLittleEndian<qint16>(data.constData() + range->start + 2 * i), all[i]) << i;
    EXPECT_EQ(data.left(44), wavHeader(qint64(all.size() * 2)));
}

TEST_F(WavFiles, WriterNeverReusesAnExistingNameOrFollowsALink) {
    const QString dir = Folders::temporary();
    const QString planted = write("planted.wav", "someone else's");
    QString error;
    EXPECT_FALSE(WavWriter::create(planted, 16000, &error));
    EXPECT_FALSE(error.isEmpty());
    const QString target = Folders::join(dir, "victim.txt");
    const QString link = Folders::join(dir, "link.wav");
    ASSERT_EQ(symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()), 0);
    EXPECT_FALSE(WavWriter::create(link, 16000, &error));
    EXPECT_FALSE(QFile::exists(target));
    QFile f(planted);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), "someone else's");
}

// Random damage to real files: the readers refuse or answer within the data, never crash.
TEST_F(WavFiles, ReadersSurviveDamagedFiles) {
    QRandomGenerator rng(20261211);
    const QByteArray base = riff(chunk("fmt ", fmt()) + chunk("LIST", "abc") + chunk("data", samples({1, -2, 3, 32767, -32768})));
    for (int round = 0; round < 3000; ++round) {
        QByteArray d = base;
        switch (rng.bounded(4)) {
        case 0: d.truncate(rng.bounded(d.size() + 1)); break;
        case 1:
            for (int i = 0, n = 1 + rng.bounded(6); i < n; ++i) d[rng.bounded(d.size())] = char(rng.bounded(256));
            break;
        case 2: qToLittleEndian<quint32>(rng.generate(), d.data() + 4 + 4 * rng.bounded(int(d.size() / 4 - 1))); break;
        default: {
            d = QByteArray(rng.bounded(80), '\0');
            for (char& c : d) c = char(rng.bounded(256));
            const qsizetype n = qMin<qsizetype>(12, d.size());
            if (rng.bounded(2) == 0) d.replace(0, n, QByteArray("RIFF\0\0\0\0WAVE", 12).left(n));
        }
        }
        if (const auto r = wavPCM16PayloadRange(d)) {
            ASSERT_LE(0, r->start);
            ASSERT_LE(r->start, r->end);
            ASSERT_LE(r->end, d.size());
        }
        const AudioLevels l = audioLevels(d);
        ASSERT_GE(l.peak, 0.0f);
        ASSERT_LE(l.peak, 1.0f);
        if (const auto t = trimWavToSeconds(d, rng.bounded(3.0))) {
            ASSERT_LT(t->size(), d.size());
        }
        if (round % 10 == 0) wavIsComplete(write("fuzz.wav", d));
    }
}
