// A dictation from the held key to text in the focused field: the simulated microphone
// plays a WAV, the stand-in recognition server answers with a scripted transcript, and the
// recognised text is cleaned, added to the history and delivered.
#include "Desk.h"
#include "DictationSupport.h"
#include "LocalHttpServer.h"
#include "StandIns.h"

#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationHistory.h"
#include "dictation/DictationNeighbours.h"
#include "dictation/DictationSeam.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/RecordingControl.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "input/HistoryMenus.h"
#include "input/HotkeyDef.h"
#include "input/TapConsumers.h"
#include "platform/AudioInput.h"
#include "platform/Folders.h"
#include "platform/ModifierFlags.h"
#include "sim/SimAudioInput.h"
#include "sim/SimModifierFlags.h"
#include "ui/AppState.h"
#include "ui/OrbShape.h"

#include <QFile>
#include <QRegularExpression>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

constexpr quint64 kCommand = 0x100000;
constexpr quint16 kRightCtrl = 54;

class TranscriptionTest : public e2e::RecognitionFixture {
protected:
    TranscriptionTest() {
        DictationSeam::shared().tapDictationInstall();
        AppState::shared().ensureStatusItem();

        recordTakes();
        neighbours.reviveServer = [this] { ++revivals; };
    }

    // Holds the dictation key, lets the tail pass, and serves the queue until the dictation
    // has reported its outcome.
    bool dictate(double seconds) {
        const size_t before = outcomes.size();
        desk.hold(kRightCtrl, seconds, kCommand);
        desk.wait(0.3);
        return until([&] { return outcomes.size() > before; });
    }

    OrbIconMode indicator() const { return AppState::shared().item->mode(); }

    int revivals = 0;
};

TEST_F(TranscriptionTest, ASpokenSentenceIsTypedIntoTheFieldEntersTheHistoryAndTheTimingLineListsEveryStage) {
    serve("привет мир");
    desk.setting("smartCleanup.mode.v1", "literal");
    desk.open("org.kde.kate");
    desk.copy("the user's clipboard").wait(1);
    const qint64 changes = desk.clipboardChanges();
    play(2.0);
    ASSERT_TRUE(dictate(2.0));

    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::succeeded});
    EXPECT_EQ(desk.fieldText(), "привет мир");
    EXPECT_TRUE(desk.logHas("вставка: напечатано 10 симв. напрямую (без буфера)"));
    EXPECT_EQ(desk.pastesPosted(), 0);
    EXPECT_EQ(dictationHistory(), QStringList{"привет мир"});
    EXPECT_EQ(HistoryMenus::historyMenuModel().first().representedObject, "привет мир");
    EXPECT_TRUE(desk.logHas("обработка: "));
    EXPECT_TRUE(desk.logHas("признаки: langp=0.95 увер.слова=0.90/0.90"));
    // Literal mode changes nothing, so no clean-up line.
    EXPECT_FALSE(desk.logHas("Smart Cleanup: "));

    QString timing;
    for (const QString& line : desk.log())
        if (line.contains("ждать ")) timing = line;
    EXPECT_TRUE(QRegularExpression("ждать \\d+ мс: хвост \\d+ \\+ пауза \\d+ \\+ файл \\d+ \\+ сборка \\d+ \\+ whisper \\d+ "
                                   "\\+ разбор \\d+ \\+ чистка \\d+ \\+ вставка \\d+$")
                    .match(timing)
                    .hasMatch())
        << timing.toStdString();
    desk.wait(5);
    EXPECT_EQ(desk.clipboardChanges(), changes);
    // The recording was held for the rollback window, not left in the temporary folder.
    EXPECT_FALSE(QFile::exists(paths[0]));
}

// The recognition server names the detected language in words ("language":"russian", as
// whisper.cpp's does); the clean-up and the spoken mode trigger still know it for Russian.
TEST_F(TranscriptionTest, TheCleanUpFollowsTheLanguageTheServerNamesInWords) {
    struct Case {
        const char* name;
        QString transcript;
        QString typed;
        const char* line;
    };
    const Case cases[] = {
        {"clean-up", "Э-э, встреча в среду, нет, в пятницу.", "Встреча в пятницу.", "Smart Cleanup: "},
        {"spoken trigger", "Дословно, э-э, встреча в среду, нет, в пятницу.", "Э-э, встреча в среду, нет, в пятницу",
         "Smart Cleanup: голосом задан режим «Дословно» на эту надиктовку"},
    };
    desk.setting("smartCleanup.mode.v1", "clean");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        serve(c.transcript);
        desk.open("org.kde.kate");
        play(2.0);
        ASSERT_TRUE(dictate(2.0));
        EXPECT_EQ(outcomes.back(), DictationVisualCompletion::succeeded);
        EXPECT_EQ(desk.fieldText(), c.typed);
        EXPECT_TRUE(desk.logHas(c.line));
        desk.wait(5);
    }
}

TEST_F(TranscriptionTest, ALongTranscriptGoesThroughTheClipboardAndTheUsersClipboardComesBack) {
    const QString sentence = "это длинная надиктовка, которая не помещается в прямой ввод текста по буквам";
    const QString text = sentence + " " + sentence + " " + sentence;  // over 200 characters
    ASSERT_GT(text.size(), 200);
    serve(text);
    desk.open("org.kde.kate");
    desk.copy("the user's clipboard").wait(1);
    play(2.5);
    ASSERT_TRUE(dictate(2.5));
    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::succeeded});
    desk.wait(3);
    EXPECT_EQ(desk.fieldText(), text);
    EXPECT_EQ(desk.pastesPosted(), 1);
    EXPECT_EQ(desk.clipboardText(), "the user's clipboard");
    EXPECT_EQ(dictationHistory().value(0), text);
}

TEST_F(TranscriptionTest, SilenceIsDroppedWithItsLineAndNothingIsTyped) {
    serve("привет мир");
    desk.open("org.kde.kate");
    play(2.0, 30);  // a peak of about 0.0009: silence, not a dead microphone
    ASSERT_TRUE(dictate(2.0));
    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::idle});
    EXPECT_EQ(desk.logCount("тишина (peak=0.0009"), 1);
    EXPECT_TRUE(desk.logHas(") — пропуск"));
    EXPECT_FALSE(desk.logHas("обработка: "));  // never sent
    EXPECT_EQ(desk.fieldText(), "");
    EXPECT_EQ(desk.posted().size(), 0u);
    EXPECT_EQ(dictationHistory(), QStringList{SILENCE_MARK});
}

TEST_F(TranscriptionTest, AShortAnswerToALongTakeIsSuspectedKeptAndNotTyped) {
    serve("один два три");  // 12 characters for 21 seconds of audio
    desk.open("org.kde.kate");
    play(21.0);
    ASSERT_TRUE(dictate(21.0));
    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::idle});
    EXPECT_EQ(desk.logCount("⚠ ПОДОЗРИТЕЛЬНО на 21с аудио, текст не похож на речь такой длины: "), 1);
    EXPECT_TRUE(desk.logHas("НЕ вставляю (вероятно галлюцинация Whisper), но кладу в историю + аудио СОХРАНЕНО: " + paths[0]));
    EXPECT_EQ(desk.fieldText(), "");
    EXPECT_EQ(desk.posted().size(), 0u);
    EXPECT_EQ(dictationHistory(), QStringList{"один два три"});
    EXPECT_TRUE(QFile::exists(paths[0]));
    EXPECT_EQ(indicator(), OrbIconMode::solid(OrbColors::orange()));
}

TEST_F(TranscriptionTest, ARecognitionServerThatIsDownFailsTheDictationAndKeepsTheRecording) {
    struct Case {
        const char* name;
        double seconds;
        QString line;
    };
    const std::vector<Case> cases{
        {"a long take", 4.0, "⚠ существенная запись (128КБ, 4.1с) не вставлена: пусто — аудио СОХРАНЕНО: "},
        {"a short take", 2.0, "пусто/ошибка (коротко): "},
    };
    port = test::freePort();  // nobody listens there
    desk.open("org.kde.kate");
    for (const Case& c : cases) {
        outcomes.clear();
        revivals = 0;
        play(c.seconds);
        ASSERT_TRUE(dictate(c.seconds)) << c.name;
        EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::idle}) << c.name;
        EXPECT_EQ(revivals, 1) << c.name;  // revived once, repeated once, never again
        EXPECT_TRUE(desk.logHas("whisper-server не поднялся за 8с — повтор всё равно шлю")) << c.name;
        EXPECT_TRUE(desk.logHas(c.line)) << c.name;
        EXPECT_TRUE(QFile::exists(paths.last())) << c.name;
        EXPECT_EQ(indicator(), OrbIconMode::solid(OrbColors::orange())) << c.name;
        EXPECT_EQ(desk.fieldText(), "") << c.name;
        EXPECT_EQ(dictationHistory().value(0), SILENCE_MARK) << c.name;
        desk.wait(5);
    }
}

}  // namespace
