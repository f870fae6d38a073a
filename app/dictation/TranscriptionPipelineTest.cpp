#include "dictation/TranscriptionPipeline.h"

#include "TestEnvironment.h"
#include "diagnostics/Death.h"
#include "dictation/AudioRoute.h"
#include "dictation/DictationActivity.h"
#include "dictation/DictationHistory.h"
#include "dictation/DictationTestSupport.h"
#include "dictation/DictationTiming.h"
#include "dictation/Recorder.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "platform/AudioInput.h"
#include "platform/Folders.h"
#include "sim/SimAudioInput.h"

#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QTimer>
#include <QtEndian>
#include <atomic>
#include <deque>
#include <gtest/gtest.h>
#include <mutex>

using namespace murmelo;

namespace {

// A verbose reply of one segment.
QByteArray reply(const QString& text, double langp = 0.95, const QString& language = "ru") {
    return QStringLiteral(R"({"language":"%3","detected_language_probability":%1,"segments":[{"start":0,"end":1,"text":" %2",)"
                          R"("no_speech_prob":0.01,"words":[{"word":" x","start":0,"end":1,"probability":0.9}]}]})")
        .arg(langp)
        .arg(text)
        .arg(language)
        .toUtf8();
}

struct TranscriptionPipelineTest : ::testing::Test {
    test::TestEnvironment env;
    sim::SimAudioInput mic;
    ScopedService<AudioInput> micScope{mic};
    test::PolishForDictation polish;
    DictationNeighbours neighbours{polish};
    ScopedService<DictationNeighbours> neighboursScope{neighbours};

    std::mutex lock;
    std::deque<HttpResult> answers;  // what the server answers, in turn
    std::atomic<int> requests{0};
    QStringList delivered;
    std::vector<DictationVisualCompletion> outcomes;
    int revivals = 0;

    TranscriptionPipelineTest() {
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
        neighbours.postRecognition = [this](const QUrl&, const QByteArray&, const QByteArray&) {
            ++requests;
            std::lock_guard g(lock);
            HttpResult r;
            if (!answers.empty()) {
                r = answers.front();
                answers.pop_front();
            }
            return r;
        };
        neighbours.reviveServer = [this] { ++revivals; };
        neighbours.waitServerReady = [](double) { return true; };
        neighbours.deliverDictation = [this](const QString& text) { delivered << text; };
        neighbours.recognitionEndpoint = [] { return QUrl("http://127.0.0.1:1/inference"); };
    }
    ~TranscriptionPipelineTest() override {
        recorder().discardPrimedIfIdle();
        forgetPrimedForDeath();
        AudioRoute::resetForTesting();
        DictationTiming::shared().resetForTesting();
        DictationActivity::resetForTesting();
    }

    void answer(int status, const QByteArray& body) {
        HttpResult r;
        r.responded = true;
        r.status = status;
        r.body = body;
        std::lock_guard g(lock);
        answers.push_back(r);
    }
    void refuse() {
        HttpResult r;
        r.error = "Connection refused";
        r.networkError = 1;  // QNetworkReply::ConnectionRefusedError
        std::lock_guard g(lock);
        answers.push_back(r);
    }

    // A recording of `seconds` whose loudest sample is `peak` (a square hum).
    QString recording(double seconds, double peak = 0.3) {
        QByteArray pcm;
        const qint16 v = qint16(std::lround(peak * 32768));
        for (int i = 0; i < int(std::lround(seconds * 16000)); ++i) {
            char b[2];
            qToLittleEndian<qint16>(i % 2 ? v : qint16(-v), b);
            pcm.append(b, 2);
        }
        const QString path = Folders::join(env.root(), "murmelo_rec_test.wav");
        QFile f(path);
        f.open(QIODevice::WriteOnly);
        f.write(wavHeader(pcm.size()) + pcm);
        return path;
    }

    bool run(const QString& path, int limitMs = 10000) {
        DictationTiming::shared().begin();
        transcribeAndPaste(StoppedTake{path, {}, {}, false, std::nullopt, 0},
                           [this](DictationVisualCompletion o) { outcomes.push_back(o); });
        QDeadlineTimer deadline(limitMs);
        while (outcomes.empty()) {
            if (deadline.hasExpired()) return false;
            env.advance(0.05);
            QEventLoop loop;
            QTimer::singleShot(2, &loop, &QEventLoop::quit);
            loop.exec();
        }
        env.runPending();
        return true;
    }
    bool has(const QString& fragment) const { return env.logContains(fragment); }
};

TEST_F(TranscriptionPipelineTest, TheLevelOfATakeDecidesWhetherItIsSent) {
    struct Case {
        const char* name;
        double peak;
        QString line;
        bool sent;
    };
    const std::vector<Case> cases{
        {"loud", 0.3, {}, true},
        {"quiet", 0.005, "тихая запись (peak=0.0050, средн=0.0050, разброс=1.0) — отправляю, решать будет Whisper", true},
        {"silence", 0.001, "тишина (peak=0.0010, средн=0.0010, разброс=1.0) — пропуск", false},
        {"dead microphone", 0.0, "⚠ МЁРТВЫЙ ЗАХВАТ (peak=0.0000, 62КБ, устройство: ", false},
    };
    for (const Case& c : cases) {
        requests = 0;
        outcomes.clear();
        answer(200, reply("привет"));
        ASSERT_TRUE(run(recording(2.0, c.peak))) << c.name;
        EXPECT_EQ(requests, c.sent ? 1 : 0) << c.name;
        if (!c.line.isEmpty()) {
            EXPECT_TRUE(has(c.line)) << c.name;
        }
        EXPECT_EQ(outcomes.front(), c.sent ? DictationVisualCompletion::succeeded : DictationVisualCompletion::idle) << c.name;
        EXPECT_EQ(dictationHistory().first(), c.sent ? QString("привет") : SILENCE_MARK) << c.name;
        std::lock_guard g(lock);
        answers.clear();
    }
}

TEST_F(TranscriptionPipelineTest, AnEmptyOrMissingFileIsALostRecording) {
    const QString empty = Folders::join(env.root(), "murmelo_rec_empty.wav");
    QFile(empty).open(QIODevice::WriteOnly);
    ASSERT_TRUE(run(empty));
    EXPECT_TRUE(has("⚠ ЗАПИСЬ ПОТЕРЯНА: файл есть, 0 байт (murmelo_rec_empty.wav), устройство: "));
    outcomes.clear();
    ASSERT_TRUE(run(Folders::join(env.root(), "murmelo_rec_gone.wav")));
    EXPECT_TRUE(has("⚠ ЗАПИСЬ ПОТЕРЯНА: файл отсутствует (murmelo_rec_gone.wav)"));
    EXPECT_EQ(requests, 0);
    EXPECT_EQ(dictationHistory(), QStringList{SILENCE_MARK});
}

TEST_F(TranscriptionPipelineTest, AnEmptyAnswerIsRepeatedOnlyOnASubstantialTake) {
    // 96000 bytes of audio with its header: not substantial.
    const double atLimit = (96000.0 - 44) / 32000;
    answer(200, reply(""));
    ASSERT_TRUE(run(recording(atLimit)));
    EXPECT_EQ(requests, 1);
    EXPECT_TRUE(has("пусто/ошибка (коротко): нет текста"));

    requests = 0;
    outcomes.clear();
    answer(200, reply(""));
    answer(200, reply(""));
    const QString path = recording(atLimit + 2.0 / 32000);  // 96004 bytes
    ASSERT_TRUE(run(path));
    EXPECT_EQ(requests, 2);
    EXPECT_TRUE(has("⚠ существенная запись (93КБ) вернулась пусто — авто-ретрай того же запроса"));
    EXPECT_TRUE(has("⚠ существенная запись (93КБ, 3.0с) не вставлена: пусто — аудио СОХРАНЕНО: " + path));
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::idle});
}

TEST_F(TranscriptionPipelineTest, AReplyThatCannotBeReadIsNotSilence) {
    answer(200, "<html>oops");
    const QString shortTake = recording(1.0);
    ASSERT_TRUE(run(shortTake));
    EXPECT_TRUE(has("пусто/ошибка (коротко): ответ распознавания не прочитан (10 байт, не JSON-объект)"));
    EXPECT_FALSE(has("нет текста"));
    EXPECT_TRUE(has("аудио СОХРАНЕНО: " + shortTake));
    EXPECT_TRUE(QFile::exists(shortTake));
    EXPECT_EQ(dictationHistory(), QStringList{UNREADABLE_MARK});
    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::idle});

    // A substantial take is asked once more, then kept with the same reason.
    outcomes.clear();
    answer(200, "[1, 2]");
    answer(200, "[1, 2]");
    const QString longTake = recording(4.0);
    ASSERT_TRUE(run(longTake));
    EXPECT_EQ(requests, 3);
    EXPECT_TRUE(has("не вставлена: ответ распознавания не прочитан (6 байт, не JSON-объект) — аудио СОХРАНЕНО: " +
                    longTake));
    EXPECT_EQ(dictationHistory().first(), UNREADABLE_MARK);
}

// A reply beyond minutes of speech is refused before it is cleaned up, typed or kept in
// the history; the recording stays.
TEST_F(TranscriptionPipelineTest, AnOversizedReplyIsRefusedAndTheAudioKept) {
    struct Case {
        const char* name;
        QByteArray body;
        QString line;
    } cases[] = {
        {"too many characters", reply(QString(MAX_REPLY_CHARACTERS + 1, 'a')),
         "ответ распознавания больше 50000 символов — отклонён, не вставляю"},
        {"too many bytes", reply("привет") + QByteArray(MAX_REPLY_BYTES, ' '),
         "ответ распознавания больше 2097152 байт — отклонён, не вставляю"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        outcomes.clear();
        answer(200, c.body);
        const QString path = recording(1.0);
        ASSERT_TRUE(run(path));
        EXPECT_TRUE(has("Recognition failed: " + c.line + "; audio retained: " + path));
        EXPECT_TRUE(QFile::exists(path));
        EXPECT_TRUE(delivered.isEmpty());
        EXPECT_TRUE(dictationHistory().isEmpty());
        EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::idle});
    }
}

TEST_F(TranscriptionPipelineTest, ARefusedConnectionRevivesTheServerAndRepeatsOnce) {
    refuse();
    answer(200, reply("после подъёма"));
    ASSERT_TRUE(run(recording(1.0)));
    EXPECT_EQ(revivals, 1);
    EXPECT_EQ(requests, 2);
    EXPECT_TRUE(has("⚠ whisper-server не ответил (1) — поднимаю сайдкар и повторяю запрос"));
    EXPECT_EQ(delivered, QStringList{"после подъёма"});
}

TEST_F(TranscriptionPipelineTest, SuspectedHallucinationsAreKeptInTheHistoryButNotDelivered) {
    struct Case {
        const char* name;
        double seconds;
        QByteArray reply;
        bool suspected;
    };
    const QString sixty = "раз два три четыре пять шесть семь восемь девять десять один";  // 60 characters
    const std::vector<Case> cases{
        {"59 characters on 30 s", 30, reply(sixty.left(58) + "н"), true},
        {"60 characters on 30 s", 30, reply(sixty), false},
        {"langp 0.69", 2, reply("тихо", 0.69), true},
        {"langp 0.70", 2, reply("тихо", 0.70), false},
        {"a short take is not judged by length", 20, reply("да"), false},
    };
    for (const Case& c : cases) {
        outcomes.clear();
        delivered.clear();
        answer(200, c.reply);
        // The pipeline's seconds count the header too.
        const QString path = recording(c.seconds - 44.0 / 32000);
        ASSERT_TRUE(run(path)) << c.name;
        EXPECT_EQ(delivered.isEmpty(), c.suspected) << c.name;
        EXPECT_EQ(QFile::exists(path), c.suspected) << c.name;
        if (c.suspected) {
            EXPECT_TRUE(has("— НЕ вставляю (вероятно галлюцинация Whisper), но кладу в историю + аудио СОХРАНЕНО: " + path)) << c.name;
            QFile::remove(path);
        }
        EXPECT_FALSE(dictationHistory().first().isEmpty()) << c.name;
    }
    EXPECT_TRUE(has("язык распознан неуверенно (langp=0.69 < 0.70) — речи, вероятно, не было"));
}

TEST_F(TranscriptionPipelineTest, APinnedLanguageWithTheTransducerFailsWithoutReadingTheFile) {
    env.defaults().set("selectedModelID", "parakeet-tdt-v3");
    env.defaults().set("recogLanguage", "ru");
    const QString path = recording(1.0);
    ASSERT_TRUE(run(path));
    EXPECT_TRUE(has("Recognition failed: Parakeet cannot honor pinned language ru; audio retained: " + path));
    EXPECT_EQ(requests, 0);
    EXPECT_TRUE(QFile::exists(path));
    EXPECT_TRUE(dictationHistory().isEmpty());
}

TEST_F(TranscriptionPipelineTest, ACommandDictationBecomesAScreenReplyAndIsNotTyped) {
    std::optional<ReplyCommand> started;
    neighbours.screenReplyStart = [&](const ReplyCommand& c, const std::optional<ReplyTarget>&) { started = c; };
    answer(200, reply("ответь коротко"));
    DictationTiming::shared().begin();
    transcribeAndPaste(StoppedTake{recording(1.0), {}, {}, true, std::nullopt, 0},
                       [this](DictationVisualCompletion o) { outcomes.push_back(o); });
    QDeadlineTimer deadline(10000);
    while (outcomes.empty() && !deadline.hasExpired()) {
        env.runPending();
        QEventLoop loop;
        QTimer::singleShot(2, &loop, &QEventLoop::quit);
        loop.exec();
    }
    EXPECT_EQ(outcomes, std::vector{DictationVisualCompletion::continues});
    ASSERT_TRUE(started);
    EXPECT_EQ(*started, (ReplyCommand{ReplyTaskKind::automatic, "ответь коротко"}));
    EXPECT_TRUE(has("Команда (Control, auto): надиктовка в поле не вставляется"));
    EXPECT_TRUE(delivered.isEmpty());
}

TEST_F(TranscriptionPipelineTest, CleanUpRunsInTheUsersModeAndIsLogged) {
    env.defaults().set("smartCleanup.mode.v1", "clean");
    answer(200, reply("meet at five, actually six.", 0.95, "en"));
    ASSERT_TRUE(run(recording(1.0)));
    EXPECT_EQ(delivered, QStringList{"meet at six."});
    EXPECT_TRUE(has("Smart Cleanup: backtrack [en.backtrack.tail] (27→12 симв., clean)"));
    EXPECT_EQ(dictationHistory().first(), "meet at five, actually six.");  // as recognised
}

}  // namespace
