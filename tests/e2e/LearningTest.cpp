// A correction the user teaches after a dictation changes the next dictation into the same
// application and no other. Everything runs as in the application: the held key goes
// through the event tap to recording control, which captures the application in front;
// the stand-in recognition server answers with the spoken sentence; the pipeline applies
// the learned replacements and delivers into the field; the correction goes through the
// status menu line and the correction dialog, answered for the user.
#include "Desk.h"
#include "DictationSupport.h"
#include "LocalHttpServer.h"
#include "StandIns.h"

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
#include "platform/AudioInput.h"
#include "platform/Folders.h"
#include "platform/ModifierFlags.h"
#include "sim/SimAudioInput.h"
#include "sim/SimModifierFlags.h"
#include "ui/AppState.h"
#include "vocabulary/AppVocab.h"
#include "vocabulary/DictationLearningController.h"
#include "vocabulary/DictationLearningStore.h"
#include "vocabulary/VocabularySeam.h"

#include <QFile>
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

class LearningTest : public e2e::RecognitionFixture {
protected:
    LearningTest() {
        DictationLearningStore::shared() = DictationLearningStore();
        // As start-up does.
        VocabularySeam::shared().bindDictationNeighbours();
        DictationSeam::shared().tapDictationInstall();
        AppState::shared().ensureStatusItem();

        recordTakes();
        neighbours.reviveServer = [] {};
    }
    ~LearningTest() override {
        DictationLearningStore::shared() = DictationLearningStore();
    }

    // The stand-in server, answering every recording with the spoken sentence.
    void serve() { RecognitionFixture::serve(kSpoken); }

    // The user dictates into the focused field of the application in front; the text the
    // field then holds.
    QString dictateInto(const QString& bundleId) {
        desk.open(bundleId);
        play(2.0);
        const size_t before = outcomes.size();
        desk.hold(kRightCtrl, 2.0, kCommand);
        desk.wait(0.3);
        until([&] { return outcomes.size() > before; });
        EXPECT_GT(outcomes.size(), before) << "the dictation did not finish";
        return desk.fieldText();
    }

    AnsweringUser user;
    ScopedService<DictationLearningPresenter> userScope_{user};
};

TEST_F(LearningTest, ACorrectionOnlyInOneApplicationChangesItsNextDictationAndNoOther) {
    serve();
    desk.setting("smartCleanup.mode.v1", "literal");
    EXPECT_EQ(dictateInto(QStringLiteral("org.example.alpha")), kSpoken);

    // The user corrects it from the menu, while another application is in front.
    desk.open(QStringLiteral("org.example.beta"));
    user.answers = {{0, QStringLiteral("Позвони Маше завтра"), 1}, {0, {}, 0}};
    ASSERT_TRUE(desk.choose(QStringLiteral("openLastDictationCorrection")));
    ASSERT_EQ(user.shown.size(), 2u);
    EXPECT_EQ(user.shown[0].editorText, kSpoken);
    EXPECT_EQ(user.shown[0].popupItems.value(1), QStringLiteral("Только в alpha"));

    const auto rules = DictationLearningStore::shared().rules();
    ASSERT_EQ(rules.size(), 1);
    EXPECT_EQ(rules[0].scope, DictationLearningScope::application);
    EXPECT_EQ(rules[0].bundleID, QStringLiteral("org.example.alpha"));
    EXPECT_EQ(desk.logCount(QStringLiteral("обучение диктовки: сохранено локальное правило (4→4 симв., application)")),
              1);

    EXPECT_EQ(dictateInto(QStringLiteral("org.example.alpha")), QStringLiteral("Позвони Маше завтра"));
    EXPECT_EQ(dictateInto(QStringLiteral("org.example.beta")), kSpoken);
    // Recording control counted the dictations per application: two into alpha, one into beta.
    ASSERT_EQ(AppVocab::recentApps(2).size(), 1);
    EXPECT_EQ(AppVocab::recentApps(2)[0].bundleID, QStringLiteral("org.example.alpha"));
    // What was said or corrected never reached the log.
    EXPECT_FALSE(desk.logHas(QStringLiteral("Мише")));
    EXPECT_FALSE(desk.logHas(QStringLiteral("Маше")));
}

}  // namespace
