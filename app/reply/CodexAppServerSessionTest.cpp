#include "reply/CodexAppServerClient.h"

#include "reply/ReplyPersonalizationGuard.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>

using namespace murmelo;

namespace {

using E = CodexBridgeError::Kind;

// A session fed by hand: what it writes is kept, what the agent says is given line by line.
struct Wire {
    QTemporaryDir tmp;
    QList<QJsonObject> written;
    bool writable = true;
    std::unique_ptr<CodexAppServerSession> session;

    explicit Wire(CodexTaskMode mode = CodexTaskMode::textOnly, ReplyTaskKind task = ReplyTaskKind::reply) {
        session = std::make_unique<CodexAppServerSession>(
            CodexReplyRequest{"Привет, Анна!", "ответь коротко", ScreenContextSource::axWindow, ReplyProfile{}, task}, mode,
            [this](const QByteArray& line, QString* error) {
                if (!writable) {
                    *error = "Broken pipe";
                    return false;
                }
                EXPECT_TRUE(line.endsWith('\n') && line.count('\n') == 1);
                written << QJsonDocument::fromJson(line).object();
                return true;
            },
            tmp.path());
    }
    void say(const QByteArray& line) { session->consumeLine(line); }
    // Answers the handshake up to the turn, as a signed-in agent with the given MCP servers.
    void toTurn(const QByteArray& config = R"({"id":5,"result":{"config":{}}})") {
        QString error;
        ASSERT_TRUE(session->sendInitialize(&error));
        say(R"({"id":1,"result":{}})");
        say(R"({"id":2,"result":{"account":{"type":"chatgpt"}}})");
        say(config);
        say(R"({"id":3,"result":{"thread":{"id":"t-1"}}})");
    }
    QStringList methods() const {
        QStringList m;
        for (const QJsonObject& o : written) m << o.value("method").toString() + '#' + o.value("id").toVariant().toString();
        return m;
    }
    const std::optional<CodexReplyResult>& result() const { return session->terminalResult(); }
};

QString finalText(const QString& reply) {
    return QString::fromUtf8(QJsonDocument(QJsonObject{{"action_title", "Ответ"},
                                                       {"reply", reply},
                                                       {"output_language", "ru"},
                                                       {"needs_confirmation", false},
                                                       {"warning", ""},
                                                       {"actions", QJsonArray{}}})
                                 .toJson(QJsonDocument::Compact));
}

QByteArray item(const char* method, const QString& type, const QString& text = {}) {
    QJsonObject it{{"type", type}};
    if (!text.isNull()) it.insert("text", text);
    return QJsonDocument(QJsonObject{{"method", method}, {"params", QJsonObject{{"item", it}}}}).toJson(QJsonDocument::Compact);
}

std::string describe(const std::optional<CodexReplyResult>& r) {
    if (!r) return "none";
    if (const auto* e = std::get_if<CodexBridgeError>(&*r)) return "bridge " + std::to_string(int(e->kind)) + " " + e->detail.toStdString();
    if (const auto* e = std::get_if<CodexSystemError>(&*r)) return "system " + e->description.toStdString();
    if (std::holds_alternative<CodexCancellation>(*r)) return "cancelled";
    return "reply " + std::get<QuickReplyResult>(*r).reply.toStdString();
}

}  // namespace

TEST(CodexAppServerSession, HandshakeWithFixedIdsThenTheReply) {
    Wire w(CodexTaskMode::bookingResearch);
    w.toTurn(R"({"id":5,"result":{"config":{"mcp_servers":{"b":{"command":"x"},"a":{}}}}})");
    EXPECT_EQ(w.methods(),
              (QStringList{"initialize#1", "initialized#", "account/read#2", "config/read#5", "thread/start#3", "turn/start#4"}));
    EXPECT_EQ(w.written[0].value("params").toObject().value("clientInfo").toObject().value("name"), "ondrix");
    EXPECT_FALSE(w.written[1].contains("id"));
    EXPECT_EQ(w.written[2].value("params").toObject(), (QJsonObject{{"refreshToken", false}}));

    const QJsonObject thread = w.written[4].value("params").toObject();
    const QString cwd = thread.value("cwd").toString();
    EXPECT_EQ(QFileInfo(cwd).absolutePath(), w.tmp.filePath("ondrix-codex-bridge"));
    EXPECT_TRUE(QFileInfo(cwd).fileName().contains(QRegularExpression("^[0-9A-F]{8}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{4}-[0-9A-F]{12}$")));
    EXPECT_EQ(QFileInfo(cwd).permissions() & 0x7777, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                                                           QFile::WriteUser | QFile::ExeUser);
    EXPECT_EQ(QDir(cwd).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{});
    EXPECT_EQ(thread.value("sandbox"), "read-only");
    EXPECT_EQ(thread.value("ephemeral"), true);
    const QJsonObject config = thread.value("config").toObject();
    EXPECT_EQ(config.value("mcp_servers").toObject(),
              (QJsonObject{{"a", QJsonObject{{"enabled", false}}}, {"b", QJsonObject{{"enabled", false}}}}));
    EXPECT_EQ(config.value("project_doc_max_bytes"), 0);
    EXPECT_TRUE(thread.value("developerInstructions").toString().endsWith(
        "You may use only the built-in read-only web search tool.\nReturn one final JSON object that matches the supplied schema. "
        "Do not wrap it in Markdown."));

    const QJsonObject turn = w.written[5].value("params").toObject();
    EXPECT_EQ(turn.value("threadId"), "t-1");
    EXPECT_EQ(turn.value("sandboxPolicy").toObject(), (QJsonObject{{"type", "readOnly"}, {"networkAccess", true}}));
    EXPECT_EQ(turn.value("outputSchema").toObject(), CodexActionContract::schema());
    EXPECT_EQ(turn.value("input").toArray().at(0).toObject().value("text").toString(), w.session->prompt());

    // Noise is skipped; a line split over two reads is joined by the reader before it comes here.
    w.say("not json");
    w.say("[1,2]");
    w.say(item("item/started", "webSearch"));  // allowed in a booking turn
    w.say(item("item/completed", "agentMessage", finalText("первый")));
    w.say(item("item/completed", "agentMessage", finalText("второй")));
    EXPECT_FALSE(w.result());
    w.say(R"({"method":"turn/completed","params":{"turn":{"status":"completed","items":[]}}})");
    EXPECT_EQ(describe(w.result()), "reply второй");

    // The folder goes with the session.
    w.session.reset();
    EXPECT_FALSE(QFileInfo::exists(cwd));
}

TEST(CodexAppServerSession, WhatEndsATurn) {
    const QByteArray completedWithItems =
        R"({"method":"turn/completed","params":{"turn":{"status":"completed","items":[{"type":"agentMessage","text":)" +
        QJsonDocument(QJsonArray{finalText("из списка")}).toJson(QJsonDocument::Compact).mid(1).chopped(1) +
        R"(},{"type":"reasoning"}]}}})";
    const struct {
        const char* line;
        CodexTaskMode mode;
        std::string expected;
    } cases[] = {
        {R"({"id":4,"error":{"message":"quota"}})", CodexTaskMode::textOnly, "bridge 1 quota"},
        {R"({"id":4,"error":{"code":1}})", CodexTaskMode::textOnly, "bridge 1 unknown JSON-RPC error"},
        {R"({"id":4,"error":"text"})", CodexTaskMode::textOnly, "none"},
        {R"({"id":9,"method":"item/commandExecution/requestApproval","params":{}})", CodexTaskMode::textOnly,
         "bridge 2 item/commandExecution/requestApproval"},
        {R"({"id":null,"method":"x/y"})", CodexTaskMode::textOnly, "bridge 2 x/y"},
        {R"({"method":"mcpServer/startupStatus/updated","params":{}})", CodexTaskMode::textOnly, "bridge 2 mcpServer"},
        {R"({"method":"item/started","params":{"item":{"type":"commandExecution"}}})", CodexTaskMode::bookingResearch,
         "bridge 2 commandExecution"},
        {R"({"method":"item/started","params":{"item":{"type":"webSearch"}}})", CodexTaskMode::actionExtraction,
         "bridge 2 webSearch"},
        {R"({"method":"item/started","params":{"item":{"type":"webSearch"}}})", CodexTaskMode::publicContactLookup, "none"},
        {R"({"method":"item/started","params":{"item":{}}})", CodexTaskMode::textOnly, "none"},
        {R"({"method":"turn/completed","params":{"turn":{"status":"failed","error":{"message":"usage limit"}}}})",
         CodexTaskMode::textOnly, "bridge 1 usage limit"},
        {R"({"method":"turn/completed","params":{"turn":{"status":"interrupted"}}})", CodexTaskMode::textOnly,
         "bridge 1 interrupted"},
        {R"({"method":"turn/completed","params":{"turn":{}}})", CodexTaskMode::textOnly, "bridge 1 failed"},
        {R"({"method":"turn/completed","params":{}})", CodexTaskMode::textOnly, "none"},
        {R"({"method":"turn/completed","params":{"turn":{"status":"completed"}}})", CodexTaskMode::textOnly, "bridge 5 "},
        {completedWithItems.constData(), CodexTaskMode::textOnly, "reply из списка"},
    };
    for (const auto& c : cases) {
        Wire w(c.mode);
        w.toTurn();
        const qsizetype before = w.written.size();
        w.say(c.line);
        EXPECT_EQ(describe(w.result()), c.expected) << c.line;
        EXPECT_EQ(w.written.size(), before) << "nothing is ever answered to the agent: " << c.line;
    }
}

TEST(CodexAppServerSession, WhatEndsTheHandshake) {
    {
        Wire w;
        QString error;
        w.session->sendInitialize(&error);
        w.say(R"({"id":1,"result":{}})");
        w.say(R"({"id":2,"result":{"account":{"type":"apiKey"}}})");
        EXPECT_EQ(describe(w.result()), "bridge 4 ");
    }
    {
        Wire v;
        QString error;
        v.session->sendInitialize(&error);
        v.say(R"({"id":1,"result":{}})");
        v.say(R"({"id":2,"result":{"account":{"type":"chatgpt"}}})");
        v.say(R"({"id":5,"result":{}})");
        const QString cwd = v.written.last().value("params").toObject().value("cwd").toString();
        EXPECT_EQ(v.written.last().value("params").toObject().value("config").toObject().value("mcp_servers").toObject(),
                  QJsonObject{});
        v.say(R"({"id":3,"result":{"thread":{}}})");
        EXPECT_EQ(describe(v.result()), "bridge 1 thread/start returned no thread id");
        v.session->removeWorkingDirectory();
        EXPECT_FALSE(QFileInfo::exists(cwd));
    }
    {
        // A child gone before the turn: the failed write itself ends the session.
        Wire w;
        QString error;
        w.session->sendInitialize(&error);
        w.say(R"({"id":1,"result":{}})");
        w.say(R"({"id":2,"result":{"account":{"type":"chatgpt"}}})");
        w.say(R"({"id":5,"result":{}})");
        w.writable = false;
        w.say(R"({"id":3,"result":{"thread":{"id":"t"}}})");
        EXPECT_EQ(describe(w.result()), "system Broken pipe");
    }
}

TEST(CodexAppServerSession, CommandLineAndEnvironment) {
    const QStringList args = CodexAppServerSession::arguments(CodexTaskMode::textOnly);
    EXPECT_EQ(args.size(), 33);
    EXPECT_EQ(args.mid(0, 5), (QStringList{"app-server", "--listen", "stdio://", "--disable", "apps"}));
    EXPECT_EQ(args.mid(26), (QStringList{"workspace_dependencies", "--disable", "browser_use", "--disable",
                                         "browser_use_external", "--disable", "in_app_browser"}));
    EXPECT_EQ(CodexAppServerSession::arguments(CodexTaskMode::actionExtraction), args);
    EXPECT_EQ(CodexAppServerSession::arguments(CodexTaskMode::publicContactLookup), args.mid(0, 27));
    EXPECT_EQ(CodexAppServerSession::arguments(CodexTaskMode::bookingResearch), args.mid(0, 27));

    QProcessEnvironment app;
    for (const char* name : {"LC_ALL", "HOME", "SECRET_TOKEN", "CODEX_HOME", "LD_PRELOAD", "PATH", "DISPLAY", "LANG"})
        app.insert(name, QString::fromLatin1(name).toLower());
    app.insert("TMPDIR", "");
    EXPECT_EQ(CodexAppServerSession::environment(app),
              (QStringList{"HOME=home", "PATH=path", "TMPDIR=", "LANG=lang", "LC_ALL=lc_all", "CODEX_HOME=codex_home"}));
}

TEST(CodexAppServerSession, PromptCarriesTaskModeRulesAndInput) {
    Wire w(CodexTaskMode::actionExtraction, ReplyTaskKind::translate);
    const QString prompt = w.session->prompt();
    EXPECT_TRUE(prompt.startsWith("Prepare a polished, ready-to-review result for the user. Follow the selected length profile;\n"
                                  "do not compress a complete thought into telegraphic wording.\n"
                                  "Translate the requested text without adding or removing meaning.\n"
                                  "Extract calendar events, reminders, tasks and agreements as typed proposals. Do not create "
                                  "them.\nPreserve names"));
    EXPECT_TRUE(prompt.endsWith("\n\nINPUT_JSON:\n{\"context_source\":\"" + rawValue(ScreenContextSource::axWindow) +
                                "\",\"screen_context\":\"Привет, Анна!\",\"spoken_intent\":\"ответь коротко\"}"));
    const QString guard = ReplyPersonalizationGuard::promptRule(ScreenContextSource::axWindow, ReplyTaskKind::translate);
    EXPECT_TRUE(prompt.contains("trailing punctuation.\n" + ReplyProfile{}.promptRules(ReplyTaskKind::translate) + '\n' + guard +
                                "\n\nINPUT_JSON:\n"));
}
