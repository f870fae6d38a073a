#include "dictation/RecordingControl.h"

#include "TestEnvironment.h"
#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationPause.h"
#include "dictation/DictationTestSupport.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "input/AXText.h"
#include "input/HotkeyDef.h"
#include "input/SecureInput.h"
#include "platform/Accessibility.h"
#include "platform/Folders.h"
#include "platform/ModifierFlags.h"
#include "platform/Workspace.h"
#include "sim/SimAccessibility.h"
#include "sim/SimAudioInput.h"
#include "sim/SimDesktop.h"
#include "sim/SimModifierFlags.h"
#include "ui/AppState.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint64 kCommand = 0x100000;
constexpr quint64 kOption = 0x80000;

// What the indicators were told, in order: "live", "think", "rest", "error" for the ladder.
std::vector<QString>& ladderLog() {
    static std::vector<QString> log;
    return log;
}

struct LoggingLadder : LadderPresence {
    void set(LadderState s) override {
        static const char* names[] = {"rest", "live", "think", "error"};
        ladderLog().push_back(QString::fromLatin1(names[int(s)]));
    }
};

struct LoggingDrop : DropPresence {
    void set(DropState s, bool, bool cloud) override {
        static const char* names[] = {"idle", "recording", "recognizing", "succeeded"};
        ladderLog().push_back(QStringLiteral("drop ") + QString::fromLatin1(names[int(s)]) + (cloud ? " cloud" : ""));
    }
};

// The shared state hub is made once per process: its indicators are ours from the start.
const bool kIndicatorsInstalled = [] {
    AppState::setPresenceFactory([] {
        return std::make_pair(std::unique_ptr<LadderPresence>(new LoggingLadder),
                              std::unique_ptr<DropPresence>(new LoggingDrop));
    });
    return true;
}();

struct RecordingControlTest : ::testing::Test {
    test::TestEnvironment env;
    sim::SimAudioInput mic;
    ScopedService<AudioInput> micScope{mic};
    sim::SimDesktop desktop;
    ScopedService<Workspace> workspaceScope{desktop};
    sim::SimAccessibility ax{desktop};
    ScopedService<Accessibility> axScope{ax};
    sim::SimModifierFlags mods;
    ScopedService<ModifierFlags> modsScope{mods};
    test::PolishForDictation polish;
    DictationNeighbours neighbours{polish};
    ScopedService<DictationNeighbours> neighboursScope{neighbours};

    std::vector<StoppedTake> takes;
    std::vector<std::function<void(DictationVisualCompletion)>> completions;
    QStringList history;
    int screenReplyCancels = 0, previewCancels = 0;
    bool generating = false;

    RecordingControlTest() {
        (void)kIndicatorsInstalled;
        RecordingControl::resetForTesting();
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
        AXText::resetForTesting();
        SecureInput::resetForTesting();
        resetHotkeyCacheForTesting();
        ladderLog().clear();
        neighbours.transcribeAndPaste = [this](const StoppedTake& t, auto completion) {
            takes.push_back(t);
            completions.push_back(completion);
        };
        neighbours.addToHistory = [this](const QString& text) { history << text; };
        neighbours.screenReplyCancel = [this] { ++screenReplyCancels; };
        neighbours.quickReplyPreviewCancel = [this] { ++previewCancels; };
        neighbours.screenReplyIsGenerating = [this] { return generating; };
        desktop.addApp("org.example.notes", "Notes");
        desktop.addField("org.example.notes");
        desktop.focus("org.example.notes");
        mic.playTone(440, 0.3, 30);
    }
    ~RecordingControlTest() override {
        RecordingControl::resetForTesting();
        if (recorder().isRecording()) recorder().stop();
        recorder().discardPrimedIfIdle();
        forgetPrimedForDeath();
        AudioRoute::resetForTesting();
        AXText::resetForTesting();
        SecureInput::resetForTesting();
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
    }

    // The hotkey as the event tap dispatches it.
    void press(bool command = false) {
        mods.flags = command ? kOption : kCommand;
        startRec(command);
    }
    void release() {
        mods.flags = 0;
        DictationTiming::shared().noteKeyUp();
        stopRec();
    }
    QStringList lines() const {
        QStringList out;
        for (const QString& l : env.logLines()) out << l.mid(9);
        return out;
    }
    QStringList recordings() const {
        return QDir(Folders::temporary()).entryList(QStringList{"murmelo_rec_*.wav"}, QDir::Files);
    }
    static qint64 samplesIn(const QString& path) {
        QFile f(path);
        if (!f.open(QIODevice::ReadOnly)) return -1;
        const auto r = wavPCM16PayloadRange(f.readAll());
        return r ? r->size() / 2 : -1;
    }
    QString lastDrop() const {
        for (auto it = ladderLog().rbegin(); it != ladderLog().rend(); ++it)
            if (it->startsWith("drop ")) return it->mid(5);
        return {};
    }
};

}  // namespace

TEST_F(RecordingControlTest, AHeldTakeRecordsThroughTheTailAndIsHandedOnWithItsPress) {
    press();
    EXPECT_TRUE(isRecording());
    EXPECT_EQ(lastDrop(), "recording");
    EXPECT_EQ(polish.liveCancels, 1);
    EXPECT_TRUE(DictationActivity::isHeld());
    EXPECT_TRUE(lines().contains("приложение: Notes [org.example.notes]"));
    EXPECT_EQ(lines().last(), "=== старт записи === → Notes");

    env.advance(2.0);
    release();
    EXPECT_FALSE(isRecording());
    EXPECT_EQ(lastDrop(), "recognizing");
    EXPECT_TRUE(takes.empty());  // still in the tail
    EXPECT_TRUE(RecordingControl::hasPendingStop());

    env.advance(TAIL_PAD);
    ASSERT_EQ(takes.size(), 1u);
    const StoppedTake& t = takes[0];
    EXPECT_FALSE(RecordingControl::hasPendingStop());
    EXPECT_TRUE(wavIsComplete(t.path));
    EXPECT_EQ(samplesIn(t.path), qint64(2.12 * 16000));
    ASSERT_TRUE(t.trimSeconds);
    EXPECT_DOUBLE_EQ(*t.trimSeconds, 2.0 + TAIL_PAD);
    ASSERT_TRUE(t.context);
    EXPECT_EQ(*t.context, (DictationContext{"org.example.notes", "Notes"}));
    EXPECT_FALSE(t.commandMode);
    const std::vector<DictationTiming::Stage> stages = DictationTiming::shared().stages();
    ASSERT_EQ(stages.size(), 2u);
    EXPECT_EQ(stages[0], (DictationTiming::Stage{"хвост", 120}));
    EXPECT_EQ(stages[1], (DictationTiming::Stage{"пауза", 0}));

    completions[0](DictationVisualCompletion::succeeded);
    EXPECT_EQ(lastDrop(), "succeeded");
}

TEST_F(RecordingControlTest, ATakeShorterThanTheMinimumIsDroppedWithItsFile) {
    struct Case {
        const char* name;
        double held;
        bool generating;
        bool taken;
        QString line;
        QString drop;
    };
    const std::vector<Case> cases{
        {"a tap", 0.2, false, false, "слишком коротко (0.2с) — пропуск", "idle"},
        {"just under", 0.299, false, false, "слишком коротко (0.299с) — пропуск", "idle"},
        {"while a screen reply generates", 0.1, true, false, "слишком коротко (0.1с) — пропуск", "recognizing cloud"},
        // The tail does not count toward the minimum; the minimum itself does.
        {"the minimum", 0.3, false, true, {}, "recognizing"},
    };
    for (const Case& c : cases) {
        takes.clear();
        history.clear();
        generating = c.generating;
        press();
        env.advance(c.held);
        release();
        if (!c.taken) {
            EXPECT_EQ(lines().last(), c.line) << c.name;
            EXPECT_FALSE(RecordingControl::hasPendingStop()) << c.name;
            EXPECT_FALSE(DictationActivity::isHeld()) << c.name;
        }
        EXPECT_EQ(lastDrop(), c.drop) << c.name;
        env.advance(1);
        EXPECT_EQ(takes.size(), c.taken ? 1u : 0u) << c.name;
        EXPECT_TRUE(history.isEmpty()) << c.name;
        if (!c.taken) {
            EXPECT_TRUE(recordings().isEmpty()) << c.name;
        }
        for (const auto& t : takes) QFile::remove(t.path);
    }
}

TEST_F(RecordingControlTest, ANewPressDuringTheTailHandsTheFirstTakeOnWithItsOwnTrim) {
    press();
    env.advance(1.0);
    release();
    env.advance(0.05);
    press();  // the first take is still in its tail
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_TRUE(isRecording());
    EXPECT_EQ(samplesIn(takes[0].path), qint64(1.05 * 16000));
    env.advance(1.0);
    release();
    // The first take's pipeline has not read its trim yet when the second stop comes.
    ASSERT_TRUE(takes[0].trimSeconds);
    EXPECT_DOUBLE_EQ(*takes[0].trimSeconds, 1.0 + TAIL_PAD);
    env.advance(TAIL_PAD);
    ASSERT_EQ(takes.size(), 2u);  // the first take's scheduled stop did nothing
    ASSERT_TRUE(takes[1].trimSeconds);
    EXPECT_DOUBLE_EQ(*takes[1].trimSeconds, 1.0 + TAIL_PAD);
    EXPECT_NE(takes[0].path, takes[1].path);
    env.advance(1.0);
    EXPECT_EQ(takes.size(), 2u);
}

TEST_F(RecordingControlTest, RefusedPressesLeaveNoStateBehind) {
    struct Case {
        const char* name;
        std::function<void(RecordingControlTest&)> arrange;
        QString line;  // empty: no line at all
        size_t takesAtThePress;
    };
    const std::vector<Case> cases{
        {"a second press while recording", [](RecordingControlTest& t) { t.press(); }, {}, 1},
        {"paused", [](RecordingControlTest&) { DictationPause::pause(15); },
         "нажатие проигнорировано: диктовка на паузе, осталось 15 мин", 0},
        {"password field",
         [](RecordingControlTest& t) {
             t.desktop.focus("org.example.notes", t.desktop.addField("org.example.notes", "AXSecureTextField"));
         },
         "нажатие проигнорировано: поле парольное — запись не начинается (HC-02)", 1},
        {"onboarding prepares the first model",
         [](RecordingControlTest& t) { t.neighbours.deferVoiceInputUntilModelReady = [] { return true; }; }, {}, 0},
    };
    for (const Case& c : cases) {
        RecordingControlTest& t = *this;
        takes.clear();
        // A previous take still in its tail.
        press();
        env.advance(1.0);
        release();
        c.arrange(t);
        const bool recordingBefore = isRecording();
        const int capturesBefore = mic.capturesStarted();
        const int linesBefore = int(env.logLines().size());
        press();
        if (c.line.isEmpty()) {
            EXPECT_EQ(int(env.logLines().size()), linesBefore) << c.name;
        } else {
            EXPECT_EQ(lines().last(), c.line) << c.name;
        }
        EXPECT_EQ(isRecording(), recordingBefore) << c.name;
        EXPECT_EQ(mic.capturesStarted(), capturesBefore) << c.name;
        EXPECT_EQ(takes.size(), c.takesAtThePress) << c.name;
        env.advance(TAIL_PAD);
        EXPECT_EQ(takes.size(), 1u) << c.name;  // the tail always ends, once
        // Clear the way for the next case.
        if (isRecording()) release(), env.advance(1);
        DictationPause::resume();
        neighbours.deferVoiceInputUntilModelReady = [] { return false; };
        desktop.focus("org.example.notes", desktop.addField("org.example.notes"));
    }
}

TEST_F(RecordingControlTest, TheWatchdogStopsARecordingWhoseReleaseNeverCame) {
    press();
    env.advance(1.0);
    EXPECT_TRUE(RecordingControl::watchdogArmed());
    mods.flags = 0;  // the key is up, its event lost
    env.advance(0.1);
    EXPECT_TRUE(isRecording());  // one miss is not enough
    env.advance(0.1);
    EXPECT_EQ(lines().last(), "⚠ сторож клавиши: запись идёт, а клавиша уже отпущена — событие об отпускании не пришло "
                              "или stopRec ждёт очереди. Останавливаю сам");
    env.runPending();
    EXPECT_FALSE(isRecording());
    env.advance(TAIL_PAD);
    ASSERT_EQ(takes.size(), 1u);
    // The watchdog's moment is the release.
    ASSERT_TRUE(takes[0].trimSeconds);
    EXPECT_NEAR(*takes[0].trimSeconds, 1.2 + TAIL_PAD, 1e-9);
}

TEST_F(RecordingControlTest, AHotkeyTheFlagsDoNotShowDisarmsTheWatchdogAndRecordingGoesOn) {
    startRec(false);  // flags never show the key
    env.advance(KEY_WATCHDOG_FIRST);
    EXPECT_EQ(lines().last(), "сторож клавиши выключен: правый Ctrl не читается как зажатая (flagsState её не отдаёт) — "
                              "сторожить нечем, запись не трогаю");
    EXPECT_FALSE(RecordingControl::watchdogArmed());
    const int reads = mods.reads;
    env.advance(5);
    EXPECT_TRUE(isRecording());
    EXPECT_EQ(mods.reads, reads);
    stopRec();
    env.advance(TAIL_PAD);
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_FALSE(takes[0].trimSeconds);  // no release was noted
}

TEST_F(RecordingControlTest, ACommandDictationCancelsTheScreenReplyAtTheReleaseNotThePress) {
    Defaults::shared().set(HotkeyKeys::command, 61);
    resetHotkeyCacheForTesting();
    press(true);
    EXPECT_EQ(lastDrop(), "recording cloud");
    EXPECT_EQ(lines().last(), "=== старт записи === (команда, правый Alt) → Notes");
    EXPECT_EQ(screenReplyCancels, 0);
    env.advance(0.8);
    EXPECT_TRUE(isRecording());  // the watchdog reads the command key's flag
    release();
    EXPECT_EQ(screenReplyCancels, 1);
    EXPECT_EQ(previewCancels, 1);
    EXPECT_EQ(lastDrop(), "recognizing cloud");
    env.advance(TAIL_PAD);
    ASSERT_EQ(takes.size(), 1u);
    EXPECT_TRUE(takes[0].commandMode);
    completions[0](DictationVisualCompletion::continues);
    EXPECT_EQ(lastDrop(), "recognizing cloud");  // the screen reply keeps the indicators
}

TEST_F(RecordingControlTest, ATakeTheRecorderCannotGiveIsLostWithTheSilenceMark) {
    mic.failCaptures = 100;
    press();
    env.advance(1.0);
    release();
    env.advance(TAIL_PAD);
    EXPECT_TRUE(takes.empty());
    EXPECT_EQ(lines().last(), "⚠ ЗАПИСЬ ПОТЕРЯНА: рекордер не отдал файл, устройство: Встроенный микрофон");
    EXPECT_EQ(history, QStringList{SILENCE_MARK});
    EXPECT_EQ(ladderLog().back(), "drop idle");
    EXPECT_TRUE(std::find(ladderLog().begin(), ladderLog().end(), "error") != ladderLog().end());
    EXPECT_FALSE(DictationTiming::shared().isMeasuring());
    EXPECT_FALSE(DictationActivity::isHeld());
    mic.failCaptures = 0;
}

TEST_F(RecordingControlTest, EveryEndOfADictationClosesItsTimingAndActivity) {
    struct Case {
        const char* name;
        std::function<void()> pipeline;  // what the pipeline does before reporting
        DictationVisualCompletion outcome;
        bool timingLine;
    };
    const std::vector<Case> cases{
        {"delivered", [] { DictationTiming::shared().finish("вставка"); }, DictationVisualCompletion::succeeded, true},
        {"a path that forgot its timing", [] {}, DictationVisualCompletion::idle, false},
        {"handed to the screen reply", [] {}, DictationVisualCompletion::continues, false},
    };
    for (const Case& c : cases) {
        takes.clear();
        completions.clear();
        press();
        env.advance(1.0);
        release();
        env.advance(TAIL_PAD);
        ASSERT_EQ(takes.size(), 1u) << c.name;
        EXPECT_TRUE(DictationActivity::isHeld()) << c.name;
        const int linesBefore = int(env.logLines().size());
        c.pipeline();
        completions[0](c.outcome);
        env.runPending();
        EXPECT_FALSE(DictationTiming::shared().isMeasuring()) << c.name;
        EXPECT_FALSE(DictationActivity::isHeld()) << c.name;
        const bool lined = lines().mid(linesBefore).filter("ждать ").size() == 1;
        EXPECT_EQ(lined, c.timingLine) << c.name;
        QFile::remove(takes[0].path);
    }
    // No fuse has anything left to release.
    env.advance(DictationActivity::FUSE_SECONDS);
    EXPECT_FALSE(env.logContains("предохранителю"));
}

