#include "dictation/VoiceCommands.h"

#include "base/ChildProcess.h"
#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "dictation/LeadPhrase.h"
#include "input/DictationDelivery.h"
#include "platform/MainQueue.h"
#include "ui/AppState.h"

#include <QProcessEnvironment>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace murmelo {

const QString VOICE_COMMANDS_SAMPLE = QStringLiteral(
    "# имя = что выполнить\n"
    "# дневник = echo \"$MURMELO_TRANSCRIPT\" >> ~/дневник.md\n"
    "# посчитай = echo \"$MURMELO_TRANSCRIPT\" | bc");

namespace VoiceCommands {

namespace {

// Spaces and tabs, not line breaks.
QString trimLine(const QString& s) {
    auto blank = [](QChar c) { return c != u'\n' && c != u'\r' && c.isSpace(); };
    qsizetype from = 0, to = s.size();
    while (from < to && blank(s[from])) ++from;
    while (to > from && blank(s[to - 1])) --to;
    return s.mid(from, to - from);
}

QString decode(const QByteArray& bytes) {
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError()) return {};
    return text.trimmed();
}

double now() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

}  // namespace

QString text() { return Defaults::shared().stringValue(key).value_or(QString()); }

void setText(const QString& text) { Defaults::shared().set(key, text); }

QList<VoiceCommand> parse(const QString& text) {
    QList<VoiceCommand> commands;
    QSet<QString> names;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = trimLine(raw);
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) continue;
        const QString name = trimLine(line.left(eq)).toLower();
        const QString command = trimLine(line.mid(eq + 1));
        if (name.isEmpty() || command.isEmpty() || names.contains(name)) continue;
        names.insert(name);
        commands.append({name, command});
    }
    std::stable_sort(commands.begin(), commands.end(),
                     [](const VoiceCommand& a, const VoiceCommand& b) { return graphemeCount(a.name) > graphemeCount(b.name); });
    return commands;
}

std::optional<VoiceCommandMatch> match(const QString& text, const QList<VoiceCommand>& commands) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    const QString lower = trimmed.toLower();
    for (const VoiceCommand& c : commands) {
        std::optional<QString> rest = afterLeadPhrase(trimmed, lower, c.name);
        if (!rest) continue;
        if (rest->isEmpty()) return std::nullopt;
        return VoiceCommandMatch{c, *std::move(rest)};
    }
    return std::nullopt;
}

std::optional<VoiceCommandMatch> match(const QString& text) { return match(text, parse(VoiceCommands::text())); }

QString shell() {
    const QByteArray s = qgetenv("SHELL");
    return s.isEmpty() ? QStringLiteral("/bin/sh") : QString::fromLocal8Bit(s);
}

VoiceCommandResult runBlocking(const VoiceCommand& command, const QString& transcript, double bound) {
    auto failed = [](const QString& message) { return VoiceCommandResult{VoiceCommandResult::Kind::failed, graphemes(message).mid(0, 200).join(QString())}; };

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(transcriptEnvKey, transcript);
    ChildProcess::Options options;
    options.program = shell();
    options.arguments = {QStringLiteral("-lc"), command.command};
    options.environment = env.toStringList();
    QString error;
    const std::unique_ptr<ChildProcess> child = ChildProcess::start(options, &error);
    if (!child) return failed(QStringLiteral("не запустилась: ") + error);

    // Standard error is read together with the output: a command that fills one while the
    // other is read would otherwise wait on us for ever.
    QByteArray output;
    const double deadline = now() + bound;
    bool exited = false;
    for (;;) {
        const double left = deadline - now();
        if (left <= 0) break;
        const ChildProcess::Wait w = child->waitForOutput(output, -1, left);
        if (w == ChildProcess::Wait::ended) {
            exited = child->finish(deadline - now());
            break;
        }
        if (w == ChildProcess::Wait::timedOut) break;
    }

    // At the bound the shell's whole group is ended, so that nothing it started outlives the
    // run; a command that finished may leave a program it started in the background.
    if (exited) child->reapExited();
    else child->end(killGrace);
    const int status = exited ? child->exitStatus().value_or(-1) : -1;
    const int code = !exited || status < 0 ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    if (code != 0) {
        const QString message = decode(child->errors());
        return failed(message.isEmpty() ? QStringLiteral("код возврата ") + QString::number(code) : message);
    }
    const QString printed = decode(output);
    if (printed.isEmpty()) return {VoiceCommandResult::Kind::silent, {}};
    return {VoiceCommandResult::Kind::output, printed};
}

void run(const VoiceCommand& command, const QString& transcript, std::function<void(VoiceCommandResult)> done,
         double bound) {
    MainQueue& main = MainQueue::shared();
    std::thread([&main, command, transcript, bound, done = std::move(done)]() mutable {
        VoiceCommandResult result = runBlocking(command, transcript, bound);
        main.post([result = std::move(result), done = std::move(done)] { done(result); });
    }).detach();
}

}  // namespace VoiceCommands

void deliverDictation(const QString& text, std::function<void(const QString&, TextWriteOrigin)> paste, double bound) {
    const auto found = VoiceCommands::match(text);
    if (!found) {
        paste(text, TextWriteOrigin::dictation);
        return;
    }
    const QString name = found->command.name;
    logLine(QStringLiteral("своя команда «") + name + QStringLiteral("»: ") + QString::number(graphemeCount(found->transcript)) +
            QStringLiteral(" симв. → ") + found->command.command);
    VoiceCommands::run(
        found->command, found->transcript,
        [text, name, paste](const VoiceCommandResult& result) {
            switch (result.kind) {
            case VoiceCommandResult::Kind::output:
                logLine(QStringLiteral("своя команда «") + name + QStringLiteral("»: вывод ") +
                        QString::number(graphemeCount(result.text)) + QStringLiteral(" симв. → вставляю"));
                paste(result.text, TextWriteOrigin::voiceCommand);
                break;
            case VoiceCommandResult::Kind::failed:
                logLine(QStringLiteral("⚠ своя команда «") + name + QStringLiteral("» не сработала (") + result.text +
                        QStringLiteral(") — вставляю надиктовку как есть"));
                AppState::shared().transcribeFailed();
                paste(text, TextWriteOrigin::dictation);
                break;
            case VoiceCommandResult::Kind::silent:
                logLine(QStringLiteral("своя команда «") + name + QStringLiteral("»: выполнена, выводить нечего"));
                break;
            }
        },
        bound);
}

void deliverDictation(const QString& text) {
    deliverDictation(text, [](const QString& t, TextWriteOrigin origin) { pasteText(t, origin); });
}

}  // namespace murmelo
