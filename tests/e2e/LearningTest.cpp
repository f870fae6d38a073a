// A correction the user teaches after a dictation changes the next dictation into the same
// application and no other. The press goes through the event tap and recording control,
// which captures the application; the correction goes through the status menu line and
// the correction dialog, answered for the user.
//
// The transcription pipeline is not on this branch yet: the step that stands in for it
// below does only what the pipeline does with the learning store (learned replacements on
// the recognised text, the last dictation recorded before delivery) and keeps the text it
// would deliver. Once the pipeline is in, the stand-in goes and the real one runs.
#include "Desk.h"

#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationSeam.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingControl.h"
#include "dictation/Wav.h"
#include "diagnostics/Death.h"
#include "input/HotkeyDef.h"
#include "input/TapConsumers.h"
#include "platform/AudioInput.h"
#include "platform/Folders.h"
#include "platform/ModifierFlags.h"
#include "sim/SimAudioInput.h"
#include "sim/SimModifierFlags.h"
#include "vocabulary/AppVocab.h"
#include "vocabulary/DictationLearningController.h"
#include "vocabulary/DictationLearningStore.h"
#include "vocabulary/VocabularySeam.h"

#include <QFile>
#include <QtEndian>
#include <cmath>
#include <deque>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint64 kCommand = 0x100000;
constexpr quint16 kRightCtrl = 54;
const QString kSpoken = QStringLiteral("Позвони Мише завтра");

struct AnsweringUser : DictationLearningPresenter {
    LearningAnswer run(const LearningAlert& alert) override {
        shown.push_back(alert);
        if (answers.empty()) return {};
        LearningAnswer a = answers.front();
        answers.pop_front();
        return a;
    }
    std::deque<LearningAnswer> answers;
    std::vector<LearningAlert> shown;
};

class LearningTest : public ::testing::Test {
protected:
    LearningTest() {
        desk.tap.session = &session;
        RecordingControl::resetForTesting();
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
        resetHotkeyCacheForTesting();
        DictationLearningStore::shared() = DictationLearningStore();
        // As start-up does.
        VocabularySeam::shared().bindDictationNeighbours();
        DictationSeam::shared().tapDictationInstall();
        neighbours.transcribeAndPaste = [this](const StoppedTake& take, auto completion) {
            DictationLearningStore& store = DictationLearningStore::shared();
            const QString text = store.apply(kSpoken, take.context);
            store.recordLast(kSpoken, text, take.context, SmartCleanupMode::literal);
            QFile::remove(take.path);
            DictationTiming::shared().abandon();
            delivered.push_back(text);
            completion(DictationVisualCompletion::idle);
        };
    }
    ~LearningTest() override {
        RecordingControl::resetForTesting();
        TapDictation::install(previousDictation_);
        if (recorder().isRecording()) recorder().stop();
        recorder().discardPrimedIfIdle();
        forgetPrimedForDeath();
        AudioRoute::resetForTesting();
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
        DictationLearningStore::shared().clear();
        DictationLearningStore::shared() = DictationLearningStore();
    }

    // The user dictates into the application in front; returns what the pipeline delivered.
    QString dictate() {
        const QString path = Folders::join(desk.env.root(), "speech.wav");
        QByteArray wav = wavHeader(48000 * 2);
        for (int i = 0; i < 48000; ++i) {
            char b[2];
            qToLittleEndian<qint16>(qint16(std::lround(12000 * std::sin(2 * M_PI * 200 * i / 16000.0))), b);
            wav.append(b, 2);
        }
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(wav);
        f.close();
        EXPECT_TRUE(mic.playWavFile(path));
        const size_t before = delivered.size();
        desk.hold(kRightCtrl, 1.5, kCommand);
        desk.wait(TAIL_PAD + 0.1);
        return delivered.size() > before ? delivered.back() : QStringLiteral("<nothing delivered>");
    }

    e2e::Desk desk;
    sim::SimModifierFlags session;
    ScopedService<ModifierFlags> sessionScope_{session};
    sim::SimAudioInput mic;
    ScopedService<AudioInput> micScope_{mic};
    DictationNeighbours neighbours;
    ScopedService<DictationNeighbours> neighboursScope_{neighbours};
    TapDictation* previousDictation_ = installedService<TapDictation>();
    AnsweringUser user;
    ScopedService<DictationLearningPresenter> userScope_{user};
    std::vector<QString> delivered;
};

TEST_F(LearningTest, ACorrectionOnlyInOneApplicationChangesItsNextDictationAndNoOther) {
    desk.open(QStringLiteral("org.example.alpha"));
    desk.open(QStringLiteral("org.example.beta"));
    desk.focus(QStringLiteral("org.example.alpha"));
    EXPECT_EQ(dictate(), kSpoken);

    // The user corrects it from the menu, while another application is in front.
    desk.focus(QStringLiteral("org.example.beta"));
    user.answers = {{0, QStringLiteral("Позвони Маше завтра"), 1}, {0, {}, 0}};
    ASSERT_TRUE(desk.choose(QStringLiteral("openLastDictationCorrection")));
    ASSERT_EQ(user.shown.size(), 2u);
    EXPECT_EQ(user.shown[0].popupItems.value(1), QStringLiteral("Только в alpha"));

    const auto rules = DictationLearningStore::shared().rules();
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].scope, DictationLearningScope::application);
    EXPECT_EQ(rules[0].bundleID, QStringLiteral("org.example.alpha"));
    EXPECT_EQ(desk.logCount(QStringLiteral("обучение диктовки: сохранено локальное правило (4→4 симв., application)")),
              1);
    EXPECT_FALSE(desk.logHas(QStringLiteral("Мише")));
    EXPECT_FALSE(desk.logHas(QStringLiteral("Маше")));

    desk.focus(QStringLiteral("org.example.alpha"));
    EXPECT_EQ(dictate(), QStringLiteral("Позвони Маше завтра"));
    desk.focus(QStringLiteral("org.example.beta"));
    EXPECT_EQ(dictate(), kSpoken);
    // Recording control counted the dictations per application: two into alpha, one into beta.
    ASSERT_EQ(AppVocab::recentApps(2).size(), 1);
    EXPECT_EQ(AppVocab::recentApps(2)[0].bundleID, QStringLiteral("org.example.alpha"));
}

}  // namespace
