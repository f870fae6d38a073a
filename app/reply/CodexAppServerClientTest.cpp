#include "reply/CodexAppServerClient.h"

#include "diagnostics/Death.h"
#include "platform/Folders.h"
#include "ScopedEnv.h"
#include "StandIns.h"
#include "TestEnvironment.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>

using namespace murmelo;
using namespace murmelo::test;

namespace {

using E = CodexBridgeError::Kind;

QString finalMessage(int actions, const QString& warning = {}) {
    QJsonArray list;
    for (int i = 0; i < actions; ++i)
        list.append(QJsonObject{{"kind", "reminder"}, {"title", "Позвонить"}, {"details", ""}, {"starts_at", ""}, {"source_quote", "позвони"}});
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"action_title", "Ответ Анне"},
                                                       {"reply", "Готово, созвонимся."},
                                                       {"output_language", "ru"},
                                                       {"needs_confirmation", false},
                                                       {"warning", warning},
                                                       {"actions", list}})
                                 .toJson(QJsonDocument::Compact));
}

QString line(const QJsonObject& o) { return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact)); }

QJsonArray finalLines(const QString& message) {
    return {line({{"method", "item/completed"}, {"params", QJsonObject{{"item", QJsonObject{{"type", "agentMessage"}, {"text", message}}}}}}),
            line({{"method", "turn/completed"}, {"params", QJsonObject{{"turn", QJsonObject{{"status", "completed"}}}}}})};
}

class AgentBridge : public ::testing::Test {
protected:
    TestEnvironment env;
    QTemporaryDir home;  // the agent's own home: its script and its records
    ScopedEnv program{"ONDRIX_CODEX_EXECUTABLE", toolPath("murmelo-agent-stand-in").toLocal8Bit()};
    ScopedEnv codexHome{"CODEX_HOME", home.path().toLocal8Bit()};
    ScopedEnv secret{"MURMELO_AGENT_TEST_SECRET", QByteArray("never passed on")};
    // Its worker thread lives as long as the program, as the shared client's does.
    CodexAppServerClient& client = *new CodexAppServerClient(CodexAppServerClient::DEADLINE);
    int ready = -1;

    void SetUp() override {
        const QByteArray fifo = QFile::encodeName(home.filePath("ready"));
        ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
        ready = ::open(fifo.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    }
    void TearDown() override { ::close(ready); }

    void script(const QJsonObject& s) {
        QFile f(home.filePath("script.json"));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QJsonDocument(s).toJson());
    }

    struct Reply {
        std::shared_ptr<CodexAppServerTask> task;
        std::shared_ptr<std::optional<CodexReplyResult>> result = std::make_shared<std::optional<CodexReplyResult>>();
    };
    Reply ask(const QString& intent = "ответь Анне") {
        Reply r;
        r.task = client.createReply("Анна: созвонимся?", intent, ScreenContextSource::axSelection, ReplyProfile{}, ReplyTaskKind::reply,
                                    [out = r.result](const CodexReplyResult& result) {
                                        EXPECT_FALSE(out->has_value()) << "the completion runs once";
                                        *out = result;
                                    });
        return r;
    }
    CodexReplyResult wait(const Reply& r) {
        EXPECT_TRUE(env.waitFor([&] { return r.result->has_value(); }));
        return r.result->value_or(CodexSystemError{"no completion"});
    }
    // The process id of a stand-in that went silent.
    pid_t waitSilent() {
        std::string got;
        while (got.find('\n') == std::string::npos) {
            pollfd p{ready, POLLIN, 0};
            if (::poll(&p, 1, 30000) <= 0) return -1;
            char buffer[64];
            const ssize_t n = ::read(ready, buffer, sizeof buffer);
            if (n > 0) got.append(buffer, size_t(n));
        }
        return pid_t(std::atoll(got.c_str() + got.find(' ') + 1));
    }
    QJsonObject record() const {
        QFile f(home.filePath("record.json"));
        return f.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(f.readAll()).object() : QJsonObject{};
    }
    QList<QJsonObject> received() const {
        QList<QJsonObject> out;
        QFile f(home.filePath("received.jsonl"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& l : f.readAll().split('\n'))
                if (!l.isEmpty()) out << QJsonDocument::fromJson(l).object();
        return out;
    }
    QList<pid_t> starts() const {
        QList<pid_t> out;
        QFile f(home.filePath("starts"));
        if (f.open(QIODevice::ReadOnly))
            for (const QByteArray& l : f.readAll().split('\n'))
                if (!l.isEmpty()) out << pid_t(l.toLongLong());
        return out;
    }
    // Nothing of a finished reply is left: no child, no registration, no folder.
    void expectNothingLeft() {
        for (pid_t pid : starts()) EXPECT_FALSE(isAlive(pid)) << pid;
        EXPECT_EQ(childPidForDeath(DeathChild::codexAgent), 0);
        EXPECT_EQ(QDir(Folders::join(Folders::temporary(), "ondrix-codex-bridge")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
                  QStringList{});
    }
};

std::string describe(const CodexReplyResult& r) {
    if (const auto* e = std::get_if<CodexBridgeError>(&r)) return "bridge " + std::to_string(int(e->kind)) + " " + e->detail.toStdString();
    if (const auto* e = std::get_if<CodexSystemError>(&r)) return "system " + e->description.toStdString();
    if (std::holds_alternative<CodexCancellation>(r)) return "cancelled";
    return "reply " + std::get<QuickReplyResult>(r).reply.toStdString();
}

}  // namespace

TEST_F(AgentBridge, TwoProposalsAskForConfirmationAndTheChildGetsOnlyItsShare) {
    script({{"lines", finalLines(finalMessage(2, " Уточни время "))}, {"mcpServers", QJsonArray{"b", "a"}}});
    const CodexReplyResult r = wait(ask());
    ASSERT_TRUE(std::holds_alternative<QuickReplyResult>(r)) << describe(r);
    const QuickReplyResult& reply = std::get<QuickReplyResult>(r);
    EXPECT_TRUE(reply.needsConfirmation);
    EXPECT_EQ(reply.warning, "Уточни время Найдено предложений: 2. Пока ничего не выполнено.");
    EXPECT_EQ(reply.actions.size(), 2);

    const QJsonObject rec = record();
    EXPECT_EQ(rec.value("arguments").toArray().size(), 33);
    EXPECT_EQ(rec.value("arguments").toArray().at(0), "app-server");
    EXPECT_EQ(rec.value("cwd").toString(), QDir::currentPath());
    QJsonObject expectedEnv;
    const QProcessEnvironment own = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"HOME", "PATH", "TMPDIR", "USER", "LOGNAME", "SHELL", "LANG", "LC_ALL", "CODEX_HOME"})
        if (own.contains(name)) expectedEnv.insert(name, own.value(name));
    EXPECT_EQ(rec.value("environment").toObject(), expectedEnv);

    QStringList methods;
    for (const QJsonObject& o : received()) methods << o.value("method").toString();
    EXPECT_EQ(methods, (QStringList{"initialize", "initialized", "account/read", "config/read", "thread/start", "turn/start"}));
    QFile mode(home.filePath("thread-folder"));
    ASSERT_TRUE(mode.open(QIODevice::ReadOnly));
    EXPECT_EQ(mode.readAll(), "700");
    expectNothingLeft();
}

TEST_F(AgentBridge, OutcomesOfOneChildEach) {
    const QString agentRequest = line({{"id", 40}, {"method", "item/commandExecution/requestApproval"}, {"params", QJsonObject{}}});
    const QString mcpEvent = line({{"method", "mcpServer/startupStatus/updated"}, {"params", QJsonObject{}}});
    const QString shellItem = line({{"method", "item/started"}, {"params", QJsonObject{{"item", QJsonObject{{"type", "commandExecution"}}}}}});
    const QString longError = QString(300, QChar(0x0436));  // "ж", two bytes each
    const struct {
        const char* name;
        QJsonObject script;
        std::string expected;
    } cases[] = {
        {"a request of its own", {{"lines", QJsonArray{agentRequest}}}, "bridge 2 item/commandExecution/requestApproval"},
        {"an MCP server event", {{"lines", QJsonArray{mcpEvent}}}, "bridge 2 mcpServer"},
        {"a shell item", {{"lines", QJsonArray{shellItem}}}, "bridge 2 commandExecution"},
        {"no ChatGPT sign-in", {{"account", "apiKey"}}, "bridge 4 "},
        {"lines that are not JSON", {{"noise", true}, {"lines", finalLines(finalMessage(0))}}, "reply Готово, созвонимся."},
        {"exit right after the final message",
         {{"paddingLines", 300000}, {"lines", finalLines(finalMessage(0))}, {"exitAfterLines", true}},
         "reply Готово, созвонимся."},
        {"a flood on standard error", {{"stderrBytes", 3000000}, {"lines", finalLines(finalMessage(0))}}, "reply Готово, созвонимся."},
        {"exit at start", {{"exitAtStart", longError}}, "bridge 1 " + longError.left(240).toStdString()},
        {"exit at start without a word", {{"exitAtStart", ""}}, "bridge 1 "},
    };
    for (const auto& c : cases) {
        script(c.script);
        QFile::remove(home.filePath("received.jsonl"));
        EXPECT_EQ(describe(wait(ask())), c.expected) << c.name;
        if (c.expected.rfind("bridge 2", 0) == 0) {
            EXPECT_EQ(received().last().value("method"), "turn/start") << c.name << ": nothing answers the agent";
        }
        expectNothingLeft();
    }
}

TEST_F(AgentBridge, WebModesKeepTheBrowserTools) {
    script({{"lines", finalLines(finalMessage(0))}});
    wait(ask("забронируй столик на вечер"));
    EXPECT_EQ(record().value("arguments").toArray().size(), 27);
    EXPECT_EQ(received().last().value("params").toObject().value("sandboxPolicy").toObject().value("networkAccess"), true);
}

TEST_F(AgentBridge, ASilentChildMeetsTheDeadline) {
    script({{"silent", true}});
    const Reply r = ask();
    const pid_t child = waitSilent();
    ASSERT_GT(child, 0);
    EXPECT_EQ(childPidForDeath(DeathChild::codexAgent), child);
    env.advance(CodexAppServerClient::DEADLINE - 0.5);
    env.runPending();
    EXPECT_FALSE(r.result->has_value());
    env.advance(0.5);
    const CodexReplyResult result = wait(r);
    EXPECT_EQ(result, CodexReplyResult(CodexBridgeError{E::timedOut, {}}));
    EXPECT_EQ(codexFailureMessage(result), "Codex не успел ответить. Попробуй ещё раз.");
    EXPECT_TRUE(r.task->isFinished());
    expectNothingLeft();
}

// The deadline counts from the call: replies waiting behind a silent one spend their time
// there; one cancelled while it waits still starts its child once and ends it at once.
TEST_F(AgentBridge, RepliesWaitInOrderAndStopWhileWaiting) {
    script({{"silent", true}});
    const Reply first = ask();
    ASSERT_GT(waitSilent(), 0);
    const Reply cancelled = ask();
    const Reply late = ask();
    cancelled.task->cancel();
    env.advance(CodexAppServerClient::DEADLINE);
    EXPECT_EQ(wait(first), CodexReplyResult(CodexBridgeError{E::timedOut, {}}));
    EXPECT_EQ(wait(cancelled), CodexReplyResult(CodexCancellation{}));
    EXPECT_EQ(wait(late), CodexReplyResult(CodexBridgeError{E::timedOut, {}}));
    EXPECT_EQ(received().size(), 6) << "only the first child was spoken to";
    cancelled.task->cancel();  // after the end: nothing
    env.runPending();
    expectNothingLeft();
}

TEST_F(AgentBridge, CancelEndsEvenAChildThatIgnoresTerm) {
    script({{"silent", true}, {"ignoreTerm", true}});
    const Reply r = ask();
    ASSERT_GT(waitSilent(), 0);
    r.task->cancel();
    EXPECT_EQ(wait(r), CodexReplyResult(CodexCancellation{}));
    expectNothingLeft();
}

TEST_F(AgentBridge, NoProgramAnswersAtOnce) {
    ScopedEnv missing{"ONDRIX_CODEX_EXECUTABLE", home.filePath("nothing-here").toLocal8Bit()};
    ScopedEnv path{"PATH", home.path().toLocal8Bit()};
    ScopedEnv noHome{"HOME", std::nullopt};
    std::optional<CodexReplyResult> got;
    const auto task = client.createReply("c", "i", ScreenContextSource::clipboard, ReplyProfile{}, ReplyTaskKind::reply,
                                         [&](const CodexReplyResult& r) { got = r; });
    EXPECT_EQ(task, nullptr);
    ASSERT_TRUE(got);
    EXPECT_EQ(codexFailureMessage(*got), "Codex не найден. Установи приложение Codex и попробуй снова.");
    EXPECT_EQ(env.queue().pendingTimers(), 0u);
    EXPECT_TRUE(starts().isEmpty());
}

// The death handlers end the agent too: a host that crashes while the agent waits leaves none.
TEST_F(AgentBridge, AHostThatDiesLeavesNoAgent) {
    script({{"silent", true}});
    QTemporaryDir tmp;
    StandIn host = spawnStandIn({toolPath("murmelo-test-agent-death-host")}, {QStringLiteral("TMPDIR=") + tmp.path()});
    ASSERT_GT(host.pid, 0);
    const pid_t child = waitSilent();
    ASSERT_GT(child, 0);
    ASSERT_TRUE(isAlive(child));
    ::kill(host.pid, SIGSEGV);
    host.wait();
    EXPECT_TRUE(waitGone(child));
}
