#include "linux/PulseSoundPlayer.h"

#include "DesktopHarness.h"

#include <QtEndian>
#include <cstdlib>
#include <gtest/gtest.h>
#include <pulse/simple.h>

using namespace murmelo;
using linuxdesktop::PulseSoundPlayer;

TEST(PulseSoundPlayer, TonesAreDistinctWellFormedWavFiles) {
    QList<QByteArray> seen;
    for (const char* name : {"Pop", "Tink", "Bottle"}) {
        const QByteArray wav = PulseSoundPlayer::toneWav(QString::fromLatin1(name));
        ASSERT_GT(wav.size(), 44) << name;
        EXPECT_TRUE(wav.startsWith("RIFF")) << name;
        EXPECT_EQ(wav.mid(8, 8), QByteArray("WAVEfmt ")) << name;
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 4), quint32(wav.size() - 8)) << name;
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 24), quint32(PulseSoundPlayer::SAMPLE_RATE)) << name;
        EXPECT_EQ(qFromLittleEndian<quint32>(wav.constData() + 40), quint32(wav.size() - 44)) << name;
        EXPECT_FALSE(seen.contains(wav)) << name;
        seen << wav;
    }
    PulseSoundPlayer player;
    EXPECT_EQ(player.load(QStringLiteral("Glass")), nullptr);
}

namespace {

// What the speakers of the test desktop play: the monitor of its null sink.
class Speakers {
public:
    Speakers() {
        const pa_sample_spec spec{PA_SAMPLE_S16LE, uint32_t(PulseSoundPlayer::SAMPLE_RATE), 1};
        pa_buffer_attr attr{};
        attr.maxlength = uint32_t(-1);
        attr.fragsize = 2 * 441;  // 20 ms: each read returns soon
        s_ = pa_simple_new(nullptr, "speaker-test", PA_STREAM_RECORD, "sys_out.monitor", "listen", &spec, nullptr,
                           &attr, nullptr);
    }
    ~Speakers() {
        if (s_) pa_simple_free(s_);
    }
    bool isOpen() const { return s_; }
    // Reads 20 ms slices until one is loud or the samples of the given seconds went by.
    bool hearSomethingWithin(double seconds) {
        qint16 buf[441];
        for (int slices = int(seconds / 0.02); slices > 0; --slices) {
            if (pa_simple_read(s_, buf, sizeof buf, nullptr) < 0) return false;
            for (qint16 v : buf)
                if (std::abs(v) > 1000) return true;
        }
        return false;
    }

private:
    pa_simple* s_ = nullptr;
};

}  // namespace

TEST(DesktopPulseSoundPlayer, ATonePlaysOnTheSpeakersAndEnds) {
    if (!test::DesktopTarget::available() || qEnvironmentVariableIsEmpty("MURMELO_MIC_FIFO"))
        GTEST_SKIP() << "needs the test desktop with its sound server (scripts/desktop-session)";
    Speakers speakers;
    ASSERT_TRUE(speakers.isOpen());
    PulseSoundPlayer player;
    const auto tink = player.load(QStringLiteral("Tink"));
    ASSERT_NE(tink, nullptr);
    EXPECT_FALSE(speakers.hearSomethingWithin(0.1)) << "silence before";
    tink->play();
    EXPECT_TRUE(tink->isPlaying());
    EXPECT_TRUE(speakers.hearSomethingWithin(10.0));
    EXPECT_TRUE(test::waitUntil([&] { return !tink->isPlaying(); }, 10.0));

    // Stopping ends it at once; playing again starts it afresh.
    const auto bottle = player.load(QStringLiteral("Bottle"));
    bottle->play();
    bottle->stop();
    EXPECT_FALSE(bottle->isPlaying());
    bottle->play();
    EXPECT_TRUE(speakers.hearSomethingWithin(10.0));
    EXPECT_TRUE(test::waitUntil([&] { return !bottle->isPlaying(); }, 10.0));
}
