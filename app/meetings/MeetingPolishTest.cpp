#include "meetings/MeetingPolish.h"

#include "LocalHttpServer.h"
#include "StandIns.h"
#include "sim/ManualMainQueue.h"
#include "TestEnvironment.h"
#include "TestFiles.h"

#include <QThread>
#include <future>
#include <gtest/gtest.h>

using namespace murmelo;
using test::LocalHttpServer;

namespace {

struct MeetingPolishTest : ::testing::Test {
    test::TestEnvironment env;

    // Runs fn on a worker, as a transcription does, serving this thread's events meanwhile.
    template <typename F>
    auto onWorker(F fn) {
        auto result = std::async(std::launch::async, fn);
        EXPECT_TRUE(env.waitFor([&] { return result.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 60000));
        return result.get();
    }
};

}  // namespace

TEST_F(MeetingPolishTest, AnAnswerIsKeptOnlyWhenItsWordCountStaysClose) {
    const QString ten = "раз два три четыре пять шесть семь восемь девять десять";
    const auto words = [](int n) {
        QStringList w;
        for (int i = 0; i < n; ++i) w << "x";
        return w.join(' ');
    };
    for (int m : {8, 14}) EXPECT_TRUE(MeetingPolish::acceptable(ten, words(m))) << m;
    for (int m : {7, 15}) EXPECT_FALSE(MeetingPolish::acceptable(ten, words(m))) << m;
    EXPECT_FALSE(MeetingPolish::acceptable("одно", "одно слово"));
    EXPECT_TRUE(MeetingPolish::acceptable("раз\nдва\nтри", "Раздватри."));
    EXPECT_FALSE(MeetingPolish::acceptable("", ""));
}

TEST_F(MeetingPolishTest, OnlyRussianTurnsAreSent) {
    const QString russian = "мы завтра утром начинаем работу над проектом";
    EXPECT_TRUE(MeetingPolish::shouldPolish({"ru"}, russian));
    EXPECT_FALSE(MeetingPolish::shouldPolish({"ru", "en"}, russian));
    EXPECT_FALSE(MeetingPolish::shouldPolish({"ru"}, "we start working on the project tomorrow morning"));
    EXPECT_TRUE(MeetingPolish::languageDisagrees({"ru"}, "we start working on the project tomorrow morning"));
    EXPECT_FALSE(MeetingPolish::languageDisagrees({"en"}, "we start working on the project tomorrow morning"));
}

TEST_F(MeetingPolishTest, FixSendsLongTurnsAndRefusesBadAnswers) {
    LocalHttpServer server;
    const quint16 port = quint16(server.url("/").port());
    const QString twenty = "абвгд ежзий клмно пр";  // 20 characters, 4 words
    ASSERT_EQ(twenty.size(), 20);
    struct Row {
        const char* name;
        LocalHttpServer::Reply reply;
        QString expected;
    };
    const std::vector<Row> rows{
        {"accepted", {200, "  Абвгд, ежзий клмно пр.\n"}, "Абвгд, ежзий клмно пр."},
        {"too many words", {200, "абвгд ежзий клмно пр и ещё"}, twenty},
        {"an error page", {500, "internal server error page"}, twenty},
        {"empty", {200, "  \n"}, twenty},
    };
    for (const Row& row : rows) {
        server.set("/correct", row.reply);
        EXPECT_EQ(onWorker([&] { return MeetingPolish::fix(twenty, port); }), row.expected) << row.name;
    }
    EXPECT_TRUE(server.lastRequest().endsWith(twenty.toUtf8()));
    const int sent = server.requests();
    EXPECT_EQ(onWorker([&] { return MeetingPolish::fix(twenty.left(19), port); }), twenty.left(19));
    env.defaults().set("meetingPolish", false);
    EXPECT_EQ(onWorker([&] { return MeetingPolish::fix(twenty, port); }), twenty);
    EXPECT_EQ(server.requests(), sent);
}

TEST_F(MeetingPolishTest, ACorrectorBorrowedWhilePolishIsOffIsStoppedAfterwards) {
    const QString models = env.root() + "/models";
    test::writeFile(models + "/vudi_ct2_int8/model.bin", "weights");
    test::writeFile(models + "/vudi_ct2_int8/tokenizer.json", "{}");
    CorrectorManager::Config config;
    config.port = test::freePort();
    config.modelsDir = models;
    config.logPath = env.root() + "/corrector.log";
    const auto engine = CorrectorEngine::bundled(test::toolPath("murmelo-corrector-stand-in"));
    config.engine = [engine] { return std::optional<CorrectorEngine>(engine); };
    CorrectorManager manager(config);

    env.defaults().set("polishEnabled", true);
    EXPECT_FALSE(onWorker([&] { return MeetingPolish::borrowCorrector(manager, config.port); }));
    EXPECT_EQ(manager.pid(), -1);

    env.defaults().set("polishEnabled", false);
    ASSERT_TRUE(onWorker([&] { return MeetingPolish::borrowCorrector(manager, config.port); }));
    EXPECT_TRUE(env.logContains("встреча/полировка: полировка диктовок выключена - поднимаю корректор на время расшифровки"));
    EXPECT_TRUE(env.logContains("встреча/полировка: корректор готов"));
    const qint32 pid = manager.pid();
    ASSERT_GT(pid, 0);
    onWorker([&] {
        MeetingPolish::returnCorrector(true, manager);
        return 0;
    });
    EXPECT_TRUE(env.logContains("встреча/полировка: корректор погашен - брали его только на расшифровку"));
    EXPECT_TRUE(env.waitFor([pid] { return !test::isAlive(pid); }));
}

TEST_F(MeetingPolishTest, ACorrectorThatNeverComesUpIsReportedAndStillReturned) {
    env.defaults().set("polishEnabled", false);
    CorrectorManager::Config config;
    config.port = test::freePort();
    config.engine = [] { return std::optional<CorrectorEngine>(); };
    config.logPath = env.root() + "/corrector.log";
    CorrectorManager manager(config);
    EXPECT_TRUE(onWorker([&] { return MeetingPolish::borrowCorrector(manager, config.port, 1.0); }));
    EXPECT_TRUE(env.logContains("встреча/полировка: корректор не поднялся за 1 с - расшифровка идёт без пунктуации от модели"));
}
