// A dictation from the hotkey to the transcription step: right Ctrl (the dictation key 54)
// goes through the simulated event tap and the real dispatcher to recording control, the
// simulated microphone plays a WAV, and the stopped take reaches the transcription seam.
#include "Desk.h"
#include "DictationSupport.h"

#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationSeam.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingControl.h"
#include "dictation/Wav.h"
#include "input/HotkeyDef.h"
#include "input/TapConsumers.h"
#include "layout/LayoutSwitcherTap.h"
#include "layout/LayoutSwitcherTestSupport.h"
#include "shell/SubsystemLinks.h"
#include "platform/AudioInput.h"
#include "platform/Folders.h"
#include "platform/ModifierFlags.h"
#include "sim/SimAudioInput.h"
#include "sim/SimModifierFlags.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint64 kCommand = 0x100000;
constexpr quint16 kRightCtrl = 54;

class DictationTest : public e2e::DictationFixture {
protected:
    DictationTest() {
        // As start-up does: recording control behind the desk's tap.
        DictationSeam::shared().tapDictationInstall();

        const auto builtIn = neighbours.transcribeAndPaste;
        neighbours.transcribeAndPaste = [this, builtIn](const StoppedTake& take, auto completion) {
            QFile f(take.path);
            f.open(QIODevice::ReadOnly);
            handed.push_back({take, f.readAll()});
            completions.push_back(completion);
            if (passOn) builtIn(take, completion);
        };
    }
    // The user holds the dictation key for a while; the modifier changes go through the tap.
    void holdDictationKey(double seconds) { desk.hold(kRightCtrl, seconds, kCommand); }

    // Three seconds of a voice-like sweep in a WAV file the microphone plays.
    std::vector<qint16> playSpeech() {
        std::vector<qint16> samples;
        for (int i = 0; i < 48000; ++i) {
            const double t = double(i) / 16000;
            samples.push_back(qint16(std::lround(12000 * std::sin(2 * M_PI * (180 + 40 * t) * t))));
        }
        QByteArray wav = wavHeader(qint64(samples.size() * 2));
        for (qint16 s : samples) {
            char b[2];
            qToLittleEndian<qint16>(s, b);
            wav.append(b, 2);
        }
        const QString path = Folders::join(desk.env.root(), "speech.wav");
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(wav);
        f.close();
        EXPECT_TRUE(mic.playWavFile(path));
        return samples;
    }

    static std::vector<qint16> payload(const QByteArray& wav) {
        std::vector<qint16> out;
        if (const auto r = wavPCM16PayloadRange(wav))
            for (qsizetype at = r->start; at + 1 < r->end; at += 2) out.push_back(qFromLittleEndian<qint16>(wav.constData() + at));
        return out;
    }

    struct Handed {
        StoppedTake take;
        QByteArray wav;
    };

    std::vector<Handed> handed;
    std::vector<std::function<void(DictationVisualCompletion)>> completions;
    // Recognition is TranscriptionTest's: here the take stops at the seam.
    bool passOn = false;
};

TEST_F(DictationTest, HoldingTheKeyForTwoSecondsHandsOneTakeWithTheTailToTranscription) {
    desk.open("org.kde.kate");
    const std::vector<qint16> spoken = playSpeech();
    holdDictationKey(2.0);
    EXPECT_TRUE(desk.logHas("=== старт записи === → kate"));
    EXPECT_TRUE(handed.empty());  // the tail is still being recorded
    desk.wait(TAIL_PAD);

    ASSERT_EQ(handed.size(), 1u);
    const std::vector<qint16> recorded = payload(handed[0].wav);
    ASSERT_EQ(recorded.size(), size_t(std::lround((2.0 + TAIL_PAD) * 16000)));
    EXPECT_TRUE(std::equal(recorded.begin(), recorded.end(), spoken.begin()));
    ASSERT_TRUE(handed[0].take.trimSeconds);
    EXPECT_DOUBLE_EQ(*handed[0].take.trimSeconds, 2.0 + TAIL_PAD);
    EXPECT_EQ(handed[0].take.context->bundleID, "org.kde.kate");
    desk.wait(5);
    EXPECT_EQ(handed.size(), 1u);
    QFile::remove(handed[0].take.path);
}

// The user starts typing while the dictation key is still held: the take ends there, as if
// the key had been let go, and the letter reaches the field.
TEST_F(DictationTest, TypingWithoutCommandWhileRecordingEndsTheTake) {
    desk.setting("layoutSwitchEnabled", true);
    test::PartSlots steps;
    test::SlotParts parts{steps};
    LayoutSwitcher engine{parts};
    engine.loaded = true;
    SwitcherDictationLink dictation;
    steps.isRecording = [&dictation] { return dictation.isRecording(); };
    steps.stopRecording = [&dictation] { dictation.stopRecording(); };
    LayoutManualConversion manual(engine);
    test::NoPolish polish;
    LayoutSwitcherTap tap(engine, manual, polish);
    ScopedService<TapLayoutSwitcher> tapScope(tap);
    desk.open("org.kde.kate");
    playSpeech();
    desk.tap.flagsChanged(kRightCtrl, kCommand);
    desk.wait(1.0);
    ASSERT_TRUE(isRecording());

    desk.type("a");
    EXPECT_FALSE(isRecording());
    EXPECT_TRUE(desk.logHas("layout: печать без ⌘ при живой записи — довожу надиктовку до конца"));
    EXPECT_EQ(desk.fieldText(), "a");
    desk.tap.flagsChanged(kRightCtrl, 0);
    desk.wait(TAIL_PAD + 0.5);
    ASSERT_EQ(handed.size(), 1u);
    QFile::remove(handed[0].take.path);
}

TEST_F(DictationTest, TheTimingLineListsTheStagesInOrderInVirtualTime) {
    desk.open("org.kde.kate");
    playSpeech();
    holdDictationKey(1.0);
    desk.wait(TAIL_PAD);
    ASSERT_EQ(handed.size(), 1u);
    // A pipeline that takes its time: recognition, clean-up, the insertion.
    desk.wait(0.35);
    DictationTiming::shared().mark("whisper");
    desk.wait(0.02);
    DictationTiming::shared().mark("чистка");
    desk.wait(0.095);
    DictationTiming::shared().finish("вставка");
    completions[0](DictationVisualCompletion::succeeded);
    EXPECT_EQ(desk.log().last().mid(9), "ждать 585 мс: хвост 120 + пауза 0 + whisper 350 + чистка 20 + вставка 95");
    QFile::remove(handed[0].take.path);
}

TEST_F(DictationTest, AShortPressIsDroppedAsTooShort) {
    desk.open("org.kde.kate");
    playSpeech();
    holdDictationKey(0.2);
    EXPECT_EQ(desk.logCount("слишком коротко (0.2с) — пропуск"), 1);
    desk.wait(1);
    EXPECT_TRUE(handed.empty());
    EXPECT_FALSE(desk.logHas("ждать "));
}

TEST_F(DictationTest, APressWhilePausedOrInAPasswordFieldRefuses) {
    struct Case {
        const char* name;
        std::function<void(e2e::Desk&)> arrange;
        QString line;
    };
    const std::vector<Case> cases{
        {"paused from the quit dialog", [](e2e::Desk&) { DictationSeam::shared().dictationPause(15); },
         "нажатие проигнорировано: диктовка на паузе, осталось 15 мин"},
        {"a password field", [](e2e::Desk& d) { d.open("org.kde.kate", {}, "AXSecureTextField"); },
         "нажатие проигнорировано: поле парольное — запись не начинается (HC-02)"},
    };
    for (const Case& c : cases) {
        desk.open("org.kde.kate");
        c.arrange(desk);
        const int captures = mic.capturesStarted();
        holdDictationKey(2.0);
        desk.wait(1);
        EXPECT_EQ(desk.logCount(c.line), 1) << c.name;
        EXPECT_EQ(mic.capturesStarted(), captures) << c.name;
        EXPECT_TRUE(handed.empty()) << c.name;
        EXPECT_FALSE(desk.logHas("=== старт записи ===")) << c.name;
        desk.setting("dictationPausedUntil", 0.0);
    }
}

}  // namespace
