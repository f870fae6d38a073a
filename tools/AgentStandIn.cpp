// A stand-in for the user's agent program in its app-server mode, as the screen reply's client
// sees it: one JSON object a line on standard input and output. It never does any work of its
// own; a script decides what it answers.
//
//   murmelo-agent-stand-in app-server --listen stdio:// [--disable NAME]...
//
// Everything lives in $CODEX_HOME (the one folder the client passes on):
//   script.json   what to do (below); missing: a plain reply
//   record.json   written at start: arguments, environment, working folder, process id
//   starts        one line with the process id for every start
//   received.jsonl every line the client wrote, as it came
//   thread-folder  the permission bits (octal) of the thread's folder, when it exists
//   ready         when it is a FIFO, "silent <pid>" is written to it once the stand-in goes
//                 silent, so that a test knows without sleeping
//
// The script, every member optional:
//   "account"       account type answered to account/read ("chatgpt"); null: no account
//   "mcpServers"    server names answered to config/read
//   "noThreadId"    thread/start answers without an id
//   "noise"         a line that is not JSON before every answer
//   "lines"         raw lines written after the turn/start answer (items, requests, events,
//                   turn/completed)
//   "stderrBytes"   this many bytes written to standard error before those lines
//   "paddingLines"  this many empty lines written to standard output before those lines
//   "silent"        after the turn/start answer nothing more is read or written; only a
//                   signal ends it
//   "exitAfterLines" exit as soon as the lines are written, without waiting for input to end
//   "exitAtStart"   write this text to standard error and exit with status 1 at once
//   "ignoreTerm"    SIGTERM is ignored (only SIGKILL ends it)
// Otherwise it reads until its input ends and exits with status 0. A method it does not know
// is noted on standard error and left unanswered.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcessEnvironment>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <iostream>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString home;
QJsonObject script;

void writeAll(int fd, const QByteArray& bytes) {
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n <= 0) std::_Exit(3);
        done += n;
    }
}

void say(const QJsonObject& message) {
    if (script.value("noise").toBool()) writeAll(1, "stand-in: not json\n");
    writeAll(1, QJsonDocument(message).toJson(QJsonDocument::Compact) + '\n');
}

void answer(const QJsonValue& id, const QJsonObject& result) { say({{"id", id}, {"result", result}}); }

void appendFile(const QString& name, const QByteArray& bytes) {
    QFile f(home + '/' + name);
    if (f.open(QIODevice::Append)) f.write(bytes);
}

void recordStart(int argc, char** argv) {
    QJsonArray args;
    for (int i = 1; i < argc; ++i) args.append(QString::fromLocal8Bit(argv[i]));
    QJsonObject env;
    const QProcessEnvironment e = QProcessEnvironment::systemEnvironment();
    for (const QString& key : e.keys()) env.insert(key, e.value(key));
    const QJsonObject record{{"arguments", args}, {"environment", env}, {"cwd", QDir::currentPath()},
                             {"pid", qint64(::getpid())}};
    QFile f(home + QStringLiteral("/record.json"));
    if (f.open(QIODevice::WriteOnly)) f.write(QJsonDocument(record).toJson(QJsonDocument::Compact));
    appendFile(QStringLiteral("starts"), QByteArray::number(qint64(::getpid())) + '\n');
}

void noteThreadFolder(const QString& path) {
    struct stat st {};
    if (::stat(QFile::encodeName(path).constData(), &st) == 0)
        appendFile(QStringLiteral("thread-folder"), QByteArray::number(st.st_mode & 07777, 8));
}

void signalSilence() {
    const QByteArray ready = QFile::encodeName(home + QStringLiteral("/ready"));
    struct stat st {};
    if (::stat(ready.constData(), &st) != 0 || !S_ISFIFO(st.st_mode)) return;
    const int fd = ::open(ready.constData(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) return;
    writeAll(fd, "silent " + QByteArray::number(qint64(::getpid())) + '\n');
    ::close(fd);
}

void afterTurn() {
    if (const int flood = script.value("stderrBytes").toInt(); flood > 0) writeAll(2, QByteArray(flood, 'e'));
    if (const int padding = script.value("paddingLines").toInt(); padding > 0) writeAll(1, QByteArray(padding, '\n'));
    for (const QJsonValue& line : script.value("lines").toArray()) writeAll(1, line.toString().toUtf8() + '\n');
    if (script.value("exitAfterLines").toBool()) std::_Exit(0);
    if (script.value("silent").toBool()) {
        signalSilence();
        // Silent for good: not even the end of its input ends it, only a signal.
        for (;;) ::pause();
    }
}

void handle(const QJsonObject& message) {
    const QString method = message.value("method").toString();
    const QJsonValue id = message.value("id");
    if (method == "initialize") {
        answer(id, {{"userAgent", "murmelo-agent-stand-in"}});
    } else if (method == "initialized") {
    } else if (method == "account/read") {
        const QJsonValue type = script.contains("account") ? script.value("account") : QJsonValue("chatgpt");
        answer(id, {{"account", type.isNull() ? QJsonValue() : QJsonValue(QJsonObject{{"type", type}})}});
    } else if (method == "config/read") {
        QJsonObject config;
        if (script.contains("mcpServers")) {
            QJsonObject servers;
            for (const QJsonValue& name : script.value("mcpServers").toArray())
                servers.insert(name.toString(), QJsonObject{{"command", "server"}});
            config.insert("mcp_servers", servers);
        }
        answer(id, {{"config", config}});
    } else if (method == "thread/start") {
        noteThreadFolder(message.value("params").toObject().value("cwd").toString());
        answer(id, {{"thread", script.value("noThreadId").toBool() ? QJsonObject{} : QJsonObject{{"id", "thread-1"}}}});
    } else if (method == "turn/start") {
        answer(id, {{"turn", QJsonObject{{"id", "turn-1"}, {"status", "inProgress"}}}});
        afterTurn();
    } else {
        writeAll(2, "murmelo-agent-stand-in: unknown method " + method.toUtf8() + '\n');
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    home = QString::fromLocal8Bit(qgetenv("CODEX_HOME"));
    if (home.isEmpty()) {
        std::fprintf(stderr, "murmelo-agent-stand-in: CODEX_HOME is not set\n");
        return 2;
    }
    recordStart(argc, argv);
    QFile scriptFile(home + QStringLiteral("/script.json"));
    if (scriptFile.open(QIODevice::ReadOnly)) script = QJsonDocument::fromJson(scriptFile.readAll()).object();
    if (script.value("ignoreTerm").toBool()) std::signal(SIGTERM, SIG_IGN);
    if (script.contains("exitAtStart")) {
        writeAll(2, script.value("exitAtStart").toString().toUtf8());
        return 1;
    }
    std::string line;
    while (std::getline(std::cin, line)) {
        appendFile(QStringLiteral("received.jsonl"), QByteArray::fromStdString(line) + '\n');
        const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(line));
        if (doc.isObject()) handle(doc.object());
    }
    return 0;
}
