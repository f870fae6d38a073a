#include "vocabulary/CorrectorManager.h"
#include "LocalHttpServer.h"

#include "diagnostics/Death.h"
#include "diagnostics/Orphans.h"
#include "dictation/LoopbackHttp.h"
#include "StandIns.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QTcpServer>
#include <QTimer>
#include <future>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using test::writeFile;

QString readFile(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QStringList commandLine(qint32 pid) {
    const QByteArray raw = readFile(QStringLiteral("/proc/%1/cmdline").arg(pid)).toUtf8();
    QStringList parts = QString::fromUtf8(raw).split(QChar(0));
    if (!parts.isEmpty() && parts.last().isEmpty()) parts.removeLast();
    return parts;
}

class CorrectorManagerTest : public ::testing::Test {
protected:
    void SetUp() override {
        modelsDir = env.root() + "/models";
        modelDir = modelsDir + "/vudi_ct2_int8";
        port = test::freePort();
        env.defaults().set("polishEnabled", true);
    }
    void TearDown() override {
        if (manager) {
            const qint32 pid = manager->pid();
            manager->stop();
            if (pid > 0) {
                EXPECT_TRUE(env.waitFor([pid] { return !test::isAlive(pid); }));
            }
            manager.reset();
        }
        Orphans::resetServerPrograms();
    }
    void installModel() {
        writeFile(modelDir + "/model.bin", "weights");
        writeFile(modelDir + "/tokenizer.json", "{}");
    }
    void makeManager(std::optional<CorrectorEngine> engine) {
        CorrectorManager::Config config;
        config.port = port;
        config.modelsDir = modelsDir;
        config.logPath = env.root() + "/logs/corrector.log";
        config.engine = [engine] { return engine; };
        manager = std::make_unique<CorrectorManager>(config);
    }
    CorrectorEngine standIn() const { return CorrectorEngine::bundled(test::toolPath("murmelo-corrector-stand-in")); }
    bool listening() { return readFile(manager->logPath()).contains(QStringLiteral(":%1, model").arg(port)); }

    test::TestEnvironment env;
    QString modelsDir, modelDir;
    quint16 port = 0;
    std::unique_ptr<CorrectorManager> manager;
};

}  // namespace

TEST(CorrectorEngineTest, CommandLinesPutThePortAndTheModelFolderLast) {
    EXPECT_EQ(CorrectorEngine::bundled("/app/corrector-server").arguments(8911, "/m/vudi_ct2_int8"),
              (QStringList{"--port", "8911", "--model-dir", "/m/vudi_ct2_int8"}));
    const CorrectorEngine dev = CorrectorEngine::dev("/dev/python", "/dev/server_ct2.py");
    EXPECT_EQ(dev.program(), "/dev/python");
    EXPECT_EQ(dev.arguments(8911, "/m"), (QStringList{"/dev/server_ct2.py", "--port", "8911", "--model-dir", "/m"}));
}

TEST(CorrectorEngineTest, ResolvesTheProgramBesideTheApplicationOnlyWhenExecutable) {
    test::TestEnvironment env;
    const QString app = env.root() + "/app";
    EXPECT_FALSE(resolveCorrectorEngine(app).has_value()) << "nothing there, and the developer tree has no corrector";
    writeFile(app + "/corrector-server", "#!/bin/sh\n");
    EXPECT_FALSE(resolveCorrectorEngine(app).has_value()) << "not executable";
    QFile::setPermissions(app + "/corrector-server", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    EXPECT_EQ(resolveCorrectorEngine(app), CorrectorEngine::bundled(QFileInfo(app + "/corrector-server").absoluteFilePath()));
}

TEST_F(CorrectorManagerTest, ReadinessAndNoticeFollowTheEngineAndTheModelFiles) {
    EXPECT_EQ(correctorReadiness(std::nullopt, modelsDir), CorrectorReadiness::engineMissing);
    EXPECT_EQ(correctorNoticeText(std::nullopt, modelsDir), "В этой сборке нет корректора знаков");
    writeFile(modelDir + "/model.bin", "weights");
    EXPECT_EQ(correctorReadiness(standIn(), modelsDir), CorrectorReadiness::modelMissing) << "no tokenizer.json";
    EXPECT_EQ(correctorNoticeText(standIn(), modelsDir), "Знаки появятся после загрузки модели");
    writeFile(modelDir + "/tokenizer.json", "{}");
    EXPECT_EQ(correctorReadiness(standIn(), modelsDir), CorrectorReadiness::ready);
    EXPECT_EQ(correctorNoticeText(standIn(), modelsDir), "Корректор не отвечает");
}

TEST_F(CorrectorManagerTest, PolishOffStartsNothingUnlessForced) {
    installModel();
    makeManager(standIn());
    env.defaults().set("polishEnabled", false);
    manager->start();
    EXPECT_EQ(manager->pid(), -1);
    EXPECT_TRUE(env.logLines().isEmpty());
    manager->start(true);
    EXPECT_GT(manager->pid(), 0);
    EXPECT_TRUE(env.waitFor([this] { return listening(); }));
}

TEST_F(CorrectorManagerTest, StartsTheServerWithItsCommandLineAndItAnswers) {
    installModel();
    makeManager(standIn());
    manager->start();
    const qint32 pid = manager->pid();
    ASSERT_GT(pid, 0);
    EXPECT_EQ(childPidForDeath(DeathChild::corrector), pid);
    EXPECT_EQ(commandLine(pid), (QStringList{test::toolPath("murmelo-corrector-stand-in"), "--port",
                                             QString::number(port), "--model-dir", modelDir}));
    EXPECT_TRUE(env.logContains(QStringLiteral("corrector-server старт (ct2-int8 бандл, порт %1, модель %2, загрузка ~1с, pid %3)")
                                    .arg(port)
                                    .arg(modelDir)
                                    .arg(pid)));
    ASSERT_TRUE(env.waitFor([this] { return listening(); })) << readFile(manager->logPath()).toStdString();

    // The parent keeps no handle on the server's log file.
    const QString log = QFileInfo(manager->logPath()).canonicalFilePath();
    for (const QFileInfo& fd : QDir("/proc/self/fd").entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
        EXPECT_NE(fd.symLinkTarget(), log);

    auto reply = std::async(std::launch::async, [this] {
        return loopbackHttp("GET", QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(port)), {}, {}, 5, 5);
    });
    ASSERT_TRUE(env.waitFor([&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_EQ(reply.get().status, 200);
}

TEST_F(CorrectorManagerTest, ASecondStartLeavesOneServerAndStopEndsIt) {
    installModel();
    makeManager(standIn());
    manager->start();
    const qint32 first = manager->pid();
    ASSERT_GT(first, 0);
    ASSERT_TRUE(env.waitFor([this] { return listening(); }));
    manager->start();
    const qint32 second = manager->pid();
    ASSERT_GT(second, 0);
    EXPECT_NE(first, second);
    EXPECT_TRUE(env.waitFor([first] { return !test::isAlive(first); }));
    EXPECT_TRUE(test::isAlive(second));
    manager->stop();
    EXPECT_EQ(manager->pid(), -1);
    EXPECT_TRUE(env.waitFor([second] { return !test::isAlive(second); }));
    EXPECT_TRUE(env.waitFor([] { return childPidForDeath(DeathChild::corrector) <= 0; }));
    manager->stop();  // nothing left to stop
    EXPECT_EQ(manager->pid(), -1);
}

TEST_F(CorrectorManagerTest, AMissingEngineOrModelIsLoggedAndNothingStarts) {
    makeManager(std::nullopt);
    manager->start(true);
    EXPECT_EQ(manager->pid(), -1);
    EXPECT_TRUE(env.logContains("corrector: движка нет ни в бандле (corrector-server), ни в каталоге разработки — знаки НЕ "
                                "будут ставиться"));

    makeManager(standIn());
    writeFile(modelDir + "/model.bin", "weights");
    manager->start();
    EXPECT_EQ(manager->pid(), -1);
    EXPECT_TRUE(env.logContains("corrector: движок есть, весов нет (" + modelDir +
                                ") — знаки появятся после загрузки модели"));
}

TEST_F(CorrectorManagerTest, AProgramThatCannotStartIsLogged) {
    installModel();
    makeManager(CorrectorEngine::bundled(env.root() + "/no-such-program"));
    manager->start();
    EXPECT_EQ(manager->pid(), -1);
    EXPECT_TRUE(env.logContains("ошибка запуска corrector-server: "));
}

TEST_F(CorrectorManagerTest, AServerThatDiedIsReplacedByTheNextStart) {
    installModel();
    makeManager(standIn());
    manager->start();
    const qint32 first = manager->pid();
    ASSERT_TRUE(env.waitFor([this] { return listening(); }));
    ::kill(first, SIGKILL);
    EXPECT_TRUE(env.waitFor([] { return childPidForDeath(DeathChild::corrector) <= 0; }));
    EXPECT_EQ(correctorReadiness(standIn(), modelsDir), CorrectorReadiness::ready);
    manager->start();
    EXPECT_GT(manager->pid(), 0);
    EXPECT_NE(manager->pid(), first);
}

TEST_F(CorrectorManagerTest, AStartFromAWorkerThreadRunsTheServerToo) {
    installModel();
    makeManager(standIn());
    auto done = std::async(std::launch::async, [this] { manager->start(true); });
    ASSERT_TRUE(env.waitFor([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    EXPECT_GT(manager->pid(), 0);
}

// The main thread is busy waiting for the very worker that asks it to start the server: the
// worker gives up after its bound instead of waiting forever, and the start it gave up on
// does not run later behind its back.
TEST_F(CorrectorManagerTest, AWorkerWaitsForTheMainThreadOnlyABoundedTime) {
    installModel();
    CorrectorManager::Config config;
    config.port = port;
    config.modelsDir = modelsDir;
    config.logPath = env.root() + "/logs/corrector.log";
    config.engine = [engine = standIn()] { return std::optional(engine); };
    config.ownerWaitSeconds = 0.05;
    manager = std::make_unique<CorrectorManager>(config);
    auto done = std::async(std::launch::async, [this] { manager->start(true); });
    const bool returned = done.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    EXPECT_TRUE(returned) << "the worker waited for a main thread that was waiting for it";
    ASSERT_TRUE(env.waitFor([&] { return done.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }));
    QCoreApplication::processEvents();
    EXPECT_EQ(manager->pid(), -1);
    EXPECT_TRUE(env.logContains(QStringLiteral("corrector: главный поток не взял start за 0.05 с — отменяю")));
}

namespace {

QString corrected(test::TestEnvironment& env, quint16 port, const QString& text) {
    auto reply = std::async(std::launch::async, [port, text] {
        return loopbackHttp("POST", QUrl(QStringLiteral("http://127.0.0.1:%1/correct").arg(port)),
                            "text/plain; charset=utf-8", text.toUtf8(), 10, 10);
    });
    if (!env.waitFor([&] { return reply.wait_for(std::chrono::seconds(0)) == std::future_status::ready; })) return {};
    const HttpResult r = reply.get();
    return r.status == 200 ? QString::fromUtf8(r.body) : QStringLiteral("HTTP %1").arg(r.status);
}

}  // namespace

TEST(CorrectorStandInTest, AnswersScriptedTextsAndLeavesOthersAlone) {
    test::TestEnvironment env;
    writeFile(env.root() + "/m/model.bin", "w");
    writeFile(env.root() + "/m/tokenizer.json", "{}");
    writeFile(env.root() + "/script.tsv", "привет как дела\tПривет, как дела?\n");
    const quint16 port = test::freePort();
    test::StandIn server = test::spawnStandIn({test::toolPath("murmelo-corrector-stand-in"), "--port",
                                               QString::number(port), "--model-dir", env.root() + "/m", "--script",
                                               env.root() + "/script.tsv"});
    ASSERT_FALSE(server.readLine().empty());
    EXPECT_EQ(corrected(env, port, "привет как дела"), "Привет, как дела?");
    EXPECT_EQ(corrected(env, port, "что-то ещё"), "что-то ещё");
}

TEST(CorrectorStandInTest, MendsPunctuationCapitalsAndSpellingByRule) {
    test::TestEnvironment env;
    writeFile(env.root() + "/m/model.bin", "w");
    writeFile(env.root() + "/m/tokenizer.json", "{}");
    const quint16 port = test::freePort();
    test::StandIn server = test::spawnStandIn({test::toolPath("murmelo-corrector-stand-in"), "--port",
                                               QString::number(port), "--model-dir", env.root() + "/m"});
    ASSERT_FALSE(server.readLine().empty());
    const struct {
        const char* name;
        QString in, out;
    } cases[] = {
        {"sentence start and final stop", "привет мир", "Привет мир."},
        {"spaces around punctuation", "да ,конечно . потом", "Да, конечно. Потом."},
        {"question kept, next sentence capitalised", "how are you? fine", "How are you? Fine."},
        {"unknown English word gets its suggestion", "we recieve mail", "We receive mail."},
        {"abbreviations and numbers kept", "version 2.5 of the API", "Version 2.5 of the API."},
    };
    for (const auto& c : cases) EXPECT_EQ(corrected(env, port, c.in), c.out) << c.name;
}

TEST(CorrectorStandInTest, RefusesAModelFolderWithoutTokenizer) {
    test::TestEnvironment env;
    writeFile(env.root() + "/m/model.bin", "w");
    test::StandIn server = test::spawnStandIn(
        {test::toolPath("murmelo-corrector-stand-in"), "--port", QString::number(test::freePort()), "--model-dir", env.root() + "/m"});
    const int status = server.wait();
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 1);
}
