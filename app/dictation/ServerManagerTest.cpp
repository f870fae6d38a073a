#include "dictation/ServerManager.h"
#include "LocalHttpServer.h"

#include "base/Log.h"
#include "diagnostics/Death.h"
#include "diagnostics/Orphans.h"
#include "dictation/SherpaEngine.h"
#include "dictation/Wav.h"
#include "dictation/WhisperReply.h"
#include "StandIns.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThreadPool>
#include <future>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::writeFile;

// A test-only WAV: the app's header and a little tone, so that each test's audio hashes apart.
QByteArray testWav(double seconds, int seed) {
    QByteArray samples(int(seconds * 16000) * 2, '\0');
    for (int i = 0; i < samples.size() / 2; ++i) {
        const qint16 v = qint16((i * (seed + 3)) % 2000 - 1000);
        samples[2 * i] = char(v & 0xff);
        samples[2 * i + 1] = char((v >> 8) & 0xff);
    }
    return wavHeader(samples.size()) + samples;
}

using test::sha;

// Runs blocking work on another thread while this one keeps serving its events and the
// manual main queue; the answer, or nothing after the limit.
template <class F>
auto offMain(test::TestEnvironment& env, F f, int limitMs = 20000) -> std::optional<decltype(f())> {
    auto future = std::async(std::launch::async, std::move(f));
    QDeadlineTimer deadline(limitMs);
    while (future.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready) {
        if (deadline.hasExpired()) return std::nullopt;
        env.runPending();
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        future.wait_for(std::chrono::milliseconds(5));
    }
    return future.get();
}

// A server of the test's own that answers every request with fixed bytes (or just closes).
class CannedServer : public QObject {
public:
    explicit CannedServer(QByteArray response) : response_(std::move(response)) {
        server_.listen(QHostAddress::LocalHost, 0);
        connect(&server_, &QTcpServer::newConnection, this, [this] {
            while (QTcpSocket* s = server_.nextPendingConnection()) {
                connect(s, &QTcpSocket::readyRead, s, [this, s] {
                    request_ += s->readAll();
                    if (!request_.contains("\r\n\r\n")) return;
                    if (!response_.isEmpty()) s->write(response_);
                    s->disconnectFromHost();
                });
                connect(s, &QTcpSocket::disconnected, s, &QObject::deleteLater);
            }
        });
    }
    quint16 port() const { return server_.serverPort(); }

private:
    QTcpServer server_;
    QByteArray response_;
    QByteArray request_;
};

const ModelChoice& tiny() { return MODELS()[3]; }

class ServerManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        modelsDir = env.root() + "/models";
        scriptsDir = env.root() + "/scripts";
        writeFile(modelsDir + "/ggml-tiny.bin", "model");
        writeFile(scriptsDir + "/default.txt", "");
        qputenv("MURMELO_WHISPER_STAND_IN_SCRIPTS", scriptsDir.toUtf8());
        env.defaults().set("silenceGateVAD", false);
        port = test::freePort();
        ServerManager::Config config;
        config.binary = test::toolPath("murmelo-whisper-stand-in");
        config.modelsDir = modelsDir;
        config.port = port;
        config.endpoint = endpoint();
        config.background = [this](std::function<void()> job) { pool.start(std::move(job)); };
        manager = std::make_unique<ServerManager>(config);
    }
    void TearDown() override {
        const qint32 pid = manager->pid();
        manager->stop();
        if (pid > 0) {
            EXPECT_TRUE(env.waitFor([pid] { return !test::isAlive(pid); }));
        }
        // Warm-ups and probes end before the test's queue and log go away.
        EXPECT_TRUE(env.waitFor([this] { return pool.activeThreadCount() == 0; }));
        manager.reset();
        Orphans::resetServerPrograms();
        qunsetenv("MURMELO_WHISPER_STAND_IN_SCRIPTS");
    }
    QUrl endpoint() const { return QUrl(QString("http://127.0.0.1:%1/inference").arg(port)); }
    int count(const QString& fragment) { return int(env.logText().count(fragment)); }
    bool startedAndWarm() {
        return env.waitFor([this] { return manager->isRunning() && env.logContains("whisper-server: прогрет за"); });
    }

    test::TestEnvironment env;
    QThreadPool pool;
    QString modelsDir, scriptsDir;
    quint16 port = 0;
    std::unique_ptr<ServerManager> manager;
};

}  // namespace

TEST_F(ServerManagerTest, StartsTheServerAndADictationGetsItsScriptedText) {
    manager->start(tiny());
    ASSERT_TRUE(manager->isRunning());
    const qint32 pid = manager->pid();
    EXPECT_TRUE(env.logContains(QString("whisper-server старт: ggml-tiny.bin (pid %1)").arg(pid)));
    EXPECT_EQ(childPidForDeath(DeathChild::whisperServer), pid);
    ASSERT_TRUE(startedAndWarm()) << env.logText().toStdString();
    EXPECT_TRUE(env.logContains("whisper-server: гейт тишины ВЫКЛ (ключ silenceGateVAD)"));

    const QByteArray wav = testWav(1.0, 1);
    writeFile(scriptsDir + "/" + sha(wav) + ".txt", "Привет всем.\nProduct launch is on Monday. [BLANK_AUDIO]\n");
    const auto reply = offMain(env, [&] { return recognizeDictation(wav, "Kubernetes, Grafana", QString("ru"), endpoint()); });
    ASSERT_TRUE(reply);
    EXPECT_TRUE(reply->ok()) << reply->failure.toStdString();
    EXPECT_EQ(reply->text, "Привет всем. Product launch is on Monday.");
    EXPECT_EQ(reply->raw, "Привет всем. Product launch is on Monday.");

    // The reply's timing and language, as the client's decoder sees them.
    const QJsonObject object = QJsonDocument::fromJson(reply->bytes).object();
    EXPECT_EQ(object["task"].toString(), "transcribe");
    EXPECT_EQ(object["language"].toString(), "russian");
    EXPECT_DOUBLE_EQ(object["duration"].toDouble(), 1.0);
    const QJsonArray segments = object["segments"].toArray();
    ASSERT_EQ(segments.size(), 2);
    const QJsonArray words = segments[1].toObject()["words"].toArray();
    ASSERT_EQ(words.size(), 6);
    EXPECT_EQ(words[0].toObject()["word"].toString(), " Product");
    EXPECT_DOUBLE_EQ(words[0].toObject()["start"].toDouble(), 0.25);
    EXPECT_DOUBLE_EQ(segments[1].toObject()["end"].toDouble(), 1.0);

    // The server's output and the start header are in its sidecar log.
    QFile log(SERVER_LOG());
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    const QString sidecar = QString::fromUtf8(log.readAll());
    EXPECT_TRUE(sidecar.contains(QString("whisper-server старт ggml-tiny.bin порт %1 гейт тишины ВЫКЛ ===").arg(port)));
    EXPECT_TRUE(sidecar.contains("processing 'warmup.wav'"));
    EXPECT_TRUE(sidecar.contains("processing 'rec.wav'"));
}

TEST_F(ServerManagerTest, AKilledServerIsRestartedWithinTheBudgetThenLeftForTheNextDictation) {
    manager->start(tiny());
    ASSERT_TRUE(startedAndWarm());
    for (int death = 1; death <= 6; ++death) {
        const qint32 pid = manager->pid();
        ASSERT_GT(pid, 0) << "death " << death;
        ::kill(pid, SIGKILL);
        const QString line = death <= 5 ? QString("(%1-я смерть за минуту)").arg(death)
                                        : QString("шестая смерть за минуту, ФОНОВЫЙ перезапуск остановлен");
        ASSERT_TRUE(env.waitFor([&] { return env.logContains(line); })) << env.logText().toStdString();
        if (death <= 5) {
            ASSERT_TRUE(env.waitFor([&] { return manager->isRunning() && manager->pid() != pid; }));
            EXPECT_NE(childPidForDeath(DeathChild::whisperServer), pid);
        }
    }
    EXPECT_TRUE(env.logContains("⚰ whisper-server умер (код 9), SIGKILL — сервер убили извне"));
    EXPECT_TRUE(env.logContains("поднимаю заново (1-я смерть за минуту)"));
    EXPECT_TRUE(env.logContains("причина — в " + SERVER_LOG() + ". Следующая надиктовка поднимет его по требованию"));
    EXPECT_FALSE(manager->isRunning());
    EXPECT_EQ(childPidForDeath(DeathChild::whisperServer), 0);

    manager->reviveIfNeeded();
    EXPECT_TRUE(env.logContains("whisper-server не запущен — поднимаю по требованию"));
    EXPECT_TRUE(manager->isRunning());
    // A running server is left alone.
    const qint32 pid = manager->pid();
    manager->reviveIfNeeded();
    EXPECT_EQ(manager->pid(), pid);
}

TEST_F(ServerManagerTest, DeathsAMinuteApartNeverExhaustTheBudget) {
    manager->start(tiny());
    ASSERT_TRUE(manager->isRunning());
    for (int i = 1; i <= 7; ++i) {
        const qint32 pid = manager->pid();
        ::kill(pid, SIGKILL);
        ASSERT_TRUE(env.waitFor([&] { return count("(1-я смерть за минуту)") == i; })) << env.logText().toStdString();
        ASSERT_TRUE(env.waitFor([&] { return manager->isRunning() && manager->pid() != pid; }));
        env.advance(61);
    }
    EXPECT_FALSE(env.logContains("(2-я смерть за минуту)"));
}

TEST_F(ServerManagerTest, AWarmUpWhoseServerWasReplacedEndsSilently) {
    manager->start(tiny());
    const qint32 first = manager->pid();
    // Restarted before the first warm-up could look at its server on the main thread.
    manager->start(tiny());
    ASSERT_NE(manager->pid(), first);
    ASSERT_TRUE(startedAndWarm());
    ASSERT_TRUE(env.waitFor([this] { return pool.activeThreadCount() == 0; }));
    EXPECT_EQ(count("whisper-server: прогрет за"), 1);
    EXPECT_FALSE(env.logContains("прогрев отменён"));
    EXPECT_FALSE(env.logContains("прогрев не прошёл"));
    EXPECT_FALSE(env.logContains("умер"));
}

TEST_F(ServerManagerTest, AStopIsNoDeathAndForgetsTheProcess) {
    manager->start(tiny());
    const qint32 pid = manager->pid();
    ASSERT_GT(pid, 0);
    manager->stop();
    EXPECT_EQ(manager->pid(), -1);
    // The fatal-signal handler no longer holds an id that may be reused.
    EXPECT_EQ(childPidForDeath(DeathChild::whisperServer), 0);
    ASSERT_TRUE(env.waitFor([pid] { return !test::isAlive(pid); }));
    QCoreApplication::processEvents();
    env.runPending();
    EXPECT_FALSE(env.logContains("умер"));
    EXPECT_FALSE(manager->isRunning());
}

TEST_F(ServerManagerTest, StartFreesThePortFromALeftoverServer) {
    test::StandIn leftover = test::spawnStandIn(
        {test::toolPath("murmelo-whisper-stand-in"), "-m", modelsDir + "/ggml-tiny.bin", "--port", QString::number(port)});
    ASSERT_EQ(leftover.readLine(), "stand-in: listening at http://127.0.0.1:" + std::to_string(port));
    manager->start(tiny());
    EXPECT_EQ(leftover.wait(), SIGKILL);
    EXPECT_TRUE(env.logContains(QString("порт %1").arg(port)));
    ASSERT_TRUE(startedAndWarm()) << env.logText().toStdString();
}

TEST_F(ServerManagerTest, MissingProgramModelOrTransducerFolderStartNothing) {
    ServerManager::Config config;
    config.binary = env.root() + "/no-such-server";
    config.modelsDir = modelsDir;
    config.port = port;
    ServerManager missing(config);
    missing.start(tiny());
    EXPECT_TRUE(env.logContains("нет бинаря whisper-server: " + config.binary));
    EXPECT_FALSE(missing.isRunning());

    manager->start(MODELS()[0]);
    EXPECT_TRUE(env.logContains("модель не загружена: ggml-large-v3-turbo.bin"));
    EXPECT_FALSE(manager->isRunning());

    manager->reviveIfNeeded();  // picks the one downloaded whisper model
    EXPECT_TRUE(manager->isRunning());
    QFile::remove(modelsDir + "/ggml-tiny.bin");
    ServerManager empty(config);
    empty.reviveIfNeeded();
    EXPECT_TRUE(env.logContains("whisper-server поднять нечем: ни одной загруженной модели"));
}

TEST_F(ServerManagerTest, TheTransducerModelStopsTheServerForGood) {
    SherpaEngine engine;
    QStringList warmed;
    engine.warmUp = [&](const QString& dir) { warmed << dir; };
    engine.isLoaded = [] { return true; };
    ScopedService<SherpaEngine> scope(engine);
    const ModelChoice parakeet = MODELS().last();

    manager->start(tiny());
    const qint32 pid = manager->pid();
    ASSERT_GT(pid, 0);
    manager->start(parakeet);
    EXPECT_TRUE(env.logContains("Parakeet model is not installed"));
    EXPECT_FALSE(manager->lastModel());
    ASSERT_TRUE(env.waitFor([pid] { return !test::isAlive(pid); }));
    QCoreApplication::processEvents();
    env.runPending();
    EXPECT_FALSE(manager->isRunning());
    EXPECT_FALSE(env.logContains("умер"));

    for (const QString& f : SherpaEngine::requiredFiles()) writeFile(modelsDir + "/parakeet-tdt-v3/" + f, "x");
    EXPECT_TRUE(manager->isDownloaded(parakeet));
    manager->start(parakeet);
    EXPECT_TRUE(env.logContains("Parakeet selected; Whisper sidecar is not started for dictation"));
    EXPECT_EQ(warmed, QStringList{modelsDir + "/parakeet-tdt-v3"});

    setSelectedID(parakeet.id);
    std::optional<bool> ready;
    manager->recognitionReady([&](bool r) { ready = r; });
    env.runPending();
    EXPECT_EQ(ready, true);
}

TEST_F(ServerManagerTest, CommandLine) {
    EXPECT_EQ(manager->arguments(tiny()),
              (QStringList{"-m", modelsDir + "/ggml-tiny.bin", "-l", "auto", "--host", "127.0.0.1", "--port",
                           QString::number(port), "-t", "4"}));
    env.defaults().set("silenceGateVAD", true);
    EXPECT_EQ(vadServerArguments("whisper-server", std::nullopt), QStringList{});
    EXPECT_TRUE(env.logContains("whisper-server: НЕТ VAD-модели ggml-silero-v6.2.0.bin — поднимаю без гейта тишины"));
    const QStringList withGate = vadServerArguments("whisper-server", QString("/m/vad.bin"));
    EXPECT_EQ(withGate.mid(0, 3), (QStringList{"--vad", "--vad-model", "/m/vad.bin"}));
    EXPECT_EQ(10 + withGate.size(), 21);
    env.defaults().set("silenceGateVAD", QString("false"));  // not a Boolean: the gate stays on
    EXPECT_TRUE(vadGateEnabled());
}

TEST_F(ServerManagerTest, ReadinessWaitsAreBoundedAndAnyStatusIsReady) {
    // Nobody listens on the port.
    EXPECT_EQ(offMain(env, [&] { return manager->waitReady(0); }), false);
    const auto none = offMain(env, [&] { return manager->waitReady(0.5); });
    ASSERT_TRUE(none);
    EXPECT_FALSE(*none);
    std::optional<bool> ready;
    manager->recognitionReady([&](bool r) { ready = r; });
    ASSERT_TRUE(env.waitFor([&] { return ready.has_value(); }));
    EXPECT_FALSE(*ready);

    CannedServer failing("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    EXPECT_EQ(offMain(env, [&] { return waitServerReady(failing.port(), 5); }), true);
}

TEST_F(ServerManagerTest, BrokenRepliesAreAClearFailureOfThatDictation) {
    const QByteArray wav = testWav(0.5, 2);
    CannedServer truncated("HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: 20\r\n"
                           "Connection: close\r\n\r\n{\"text\":\" Hello wor");
    const QUrl truncatedURL(QString("http://127.0.0.1:%1/inference").arg(truncated.port()));
    const auto cut = offMain(env, [&] { return recognizeDictation(wav, "", std::nullopt, truncatedURL); });
    ASSERT_TRUE(cut);
    EXPECT_FALSE(cut->ok());
    EXPECT_EQ(cut->text, "");

    CannedServer silent("");
    const QUrl silentURL(QString("http://127.0.0.1:%1/inference").arg(silent.port()));
    const auto none = offMain(env, [&] { return recognizeDictation(wav, "", std::nullopt, silentURL); });
    ASSERT_TRUE(none);
    EXPECT_FALSE(none->transportOK);
    EXPECT_TRUE(none->failure.startsWith("сервер распознавания не ответил")) << none->failure.toStdString();
}

// The stand-in on its own: the protocol a client of the real server sees.
TEST(WhisperStandIn, SpeaksTheServerProtocol) {
    test::TestEnvironment env;
    const QString scripts = env.root() + "/scripts";
    writeFile(scripts + "/default.txt", "one two three four\n");
    writeFile(env.root() + "/model.bin", "m");
    const quint16 port = test::freePort();
    test::StandIn server = test::spawnStandIn({test::toolPath("murmelo-whisper-stand-in"), "-m", env.root() + "/model.bin",
                                              "-l", "en", "--host", "127.0.0.1", "--port", QString::number(port), "-t", "4",
                                              "--script-dir", scripts, "--fail-after", "3"});
    ASSERT_EQ(server.readLine(), "stand-in: listening at http://127.0.0.1:" + std::to_string(port));
    const QUrl url(QString("http://127.0.0.1:%1/inference").arg(port));
    auto post = [&](const QList<FormField>& fields, bool withFile) {
        const QString b = WhisperRequest::boundary("Boundary-test-");
        QByteArray body = WhisperRequest::multipartBody(b, "t.wav", testWav(2.0, 3), fields);
        if (!withFile) {
            body = "--" + b.toUtf8() + "\r\nContent-Disposition: form-data; name=\"temperature\"\r\n\r\n0\r\n--" +
                   b.toUtf8() + "--\r\n";
        }
        return offMain(env, [&] { return loopbackHttp("POST", url, WhisperRequest::contentType(b), body, 10, 10); });
    };

    const auto probe = offMain(env, [&] { return loopbackHttp("GET", QUrl(QString("http://127.0.0.1:%1/").arg(port)), {}, {}, 2, 2.5); });
    ASSERT_TRUE(probe && probe->responded);
    EXPECT_EQ(probe->status, 200);

    const auto noFile = post({{"response_format", "verbose_json"}}, false);
    ASSERT_TRUE(noFile && noFile->responded);
    EXPECT_EQ(noFile->status, 400);

    // A request's fields hold for that request only.
    const auto russian = post({{"response_format", "verbose_json"}, {"language", "ru"}}, true);
    ASSERT_TRUE(russian && russian->responded);
    EXPECT_EQ(QJsonDocument::fromJson(russian->body).object()["language"].toString(), "russian");
    EXPECT_EQ(reassemble(russian->body), "one two three four");
    const QJsonArray words = QJsonDocument::fromJson(russian->body)["segments"][0]["words"].toArray();
    ASSERT_EQ(words.size(), 4);
    EXPECT_DOUBLE_EQ(words[3].toObject()["start"].toDouble(), 1.5);
    EXPECT_DOUBLE_EQ(words[3].toObject()["end"].toDouble(), 2.0);

    const auto plain = post({{"response_format", "text"}}, true);
    ASSERT_TRUE(plain && plain->responded);
    EXPECT_EQ(plain->body, " one two three four\n");

    // --fail-after 3: the third recognition request was the last.
    const auto english = post({{"response_format", "verbose_json"}}, true);
    ASSERT_TRUE(english && english->responded);
    EXPECT_EQ(QJsonDocument::fromJson(english->body).object()["language"].toString(), "english");
    const int status = server.wait();
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 1);
}

// A server that answers with more than the caller takes is cut off, with or without a
// declared length; what fits is read whole.
TEST(LoopbackHttp, ReadsNoMoreThanTheCallersBound) {
    test::TestEnvironment env;
    test::LocalHttpServer server;
    constexpr qint64 bound = 1024 * 1024;
    server.set("/declared", {200, QByteArray(3 * bound, 'x')});
    server.set("/undeclared", {200, QByteArray(3 * bound, 'x'), false});
    server.set("/fits", {200, QByteArray(bound, 'y')});
    for (const char* path : {"/declared", "/undeclared"}) {
        SCOPED_TRACE(path);
        const auto big = offMain(env, [&] { return loopbackHttp("GET", server.url(path), {}, {}, 10, 10, {}, bound); });
        ASSERT_TRUE(big);
        EXPECT_TRUE(big->tooLarge);
        EXPECT_FALSE(big->responded);
        EXPECT_TRUE(big->body.isEmpty());
        EXPECT_EQ(big->error, "ответ больше 1048576 байт — не дочитан");
    }
    const auto fits = offMain(env, [&] { return loopbackHttp("GET", server.url("/fits"), {}, {}, 10, 10, {}, bound); });
    ASSERT_TRUE(fits);
    EXPECT_TRUE(fits->responded);
    EXPECT_FALSE(fits->tooLarge);
    EXPECT_EQ(fits->body.size(), bound);
}

TEST(WhisperStandIn, DelaysEveryReplyWhenAsked) {
    test::TestEnvironment env;
    writeFile(env.root() + "/model.bin", "m");
    const quint16 port = test::freePort();
    test::StandIn server = test::spawnStandIn({test::toolPath("murmelo-whisper-stand-in"), "-m", env.root() + "/model.bin",
                                              "--port", QString::number(port), "--delay-ms", "400"});
    ASSERT_EQ(server.readLine(), "stand-in: listening at http://127.0.0.1:" + std::to_string(port));
    const QUrl root(QString("http://127.0.0.1:%1/").arg(port));
    // The reply cannot come before its delay, so a shorter wait gives up whatever the load.
    const auto early = offMain(env, [&] { return loopbackHttp("GET", root, {}, {}, 2, 0.1); });
    ASSERT_TRUE(early);
    EXPECT_FALSE(early->responded);
    const auto late = offMain(env, [&] { return loopbackHttp("GET", root, {}, {}, 10, 10); });
    ASSERT_TRUE(late);
    EXPECT_TRUE(late->responded);
    EXPECT_EQ(late->status, 200);
}
