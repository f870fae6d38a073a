#include "dictation/VoiceCommands.h"

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
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
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

    int out[2], err[2];
    if (pipe2(out, O_CLOEXEC) != 0) return failed(QStringLiteral("не запустилась: ") + QString::fromLocal8Bit(strerror(errno)));
    if (pipe2(err, O_CLOEXEC) != 0) {
        const int e = errno;
        close(out[0]);
        close(out[1]);
        return failed(QStringLiteral("не запустилась: ") + QString::fromLocal8Bit(strerror(e)));
    }

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(transcriptEnvKey, transcript);
    QList<QByteArray> envBytes;
    for (const QString& entry : env.toStringList()) envBytes << entry.toLocal8Bit();
    std::vector<char*> envp;
    for (QByteArray& e : envBytes) envp.push_back(e.data());
    envp.push_back(nullptr);
    QByteArray shellPath = shell().toLocal8Bit(), flag = "-lc", line = command.command.toUtf8();
    char* argv[] = {shellPath.data(), flag.data(), line.data(), nullptr};

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // A group of its own, so that the bound ends whatever the command started too.
    posix_spawnattr_setpgroup(&attr, 0);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETPGROUP);
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, shellPath.constData(), &actions, &attr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    close(out[1]);
    close(err[1]);
    if (spawned != 0) {
        close(out[0]);
        close(err[0]);
        return failed(QStringLiteral("не запустилась: ") + QString::fromLocal8Bit(strerror(spawned)));
    }

    // Both pipes are read together: a command that fills one while the other is read
    // would otherwise wait on us for ever.
    QByteArray output, errors;
    const double deadline = now() + bound;
    bool timedOut = false;
    int status = 0;
    bool exited = false;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open = 2;
    while (open > 0 || !exited) {
        if (!exited) {
            const pid_t r = waitpid(pid, &status, WNOHANG);
            if (r == pid) exited = true;
        }
        const double left = deadline - now();
        if (left <= 0) {
            timedOut = true;
            break;
        }
        if (open == 0) {
            // Output is closed, the shell still runs: look again shortly.
            usleep(std::min<useconds_t>(20000, useconds_t(left * 1e6) + 1));
            continue;
        }
        const int ready = poll(fds, 2, std::max(1, int(std::min(left, exited ? left : 0.05) * 1000)));
        if (ready < 0 && errno != EINTR) break;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
            char buffer[65536];
            const ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) {
                (i == 0 ? output : errors).append(buffer, n);
            } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
                close(fds[i].fd);
                fds[i].fd = -1;
                --open;
            }
        }
    }

    // At the bound (or should reading fail) the shell's whole group is ended, so that
    // nothing it started outlives the run.
    if (timedOut || !exited) {
        kill(-pid, SIGTERM);
        const double grace = now() + killGrace;
        while (!exited && now() < grace) {
            if (waitpid(pid, &status, WNOHANG) == pid) exited = true;
            else usleep(10000);
        }
        kill(-pid, SIGKILL);
        if (!exited && waitpid(pid, &status, 0) == pid) exited = true;
    }
    for (const pollfd& f : fds)
        if (f.fd >= 0) close(f.fd);

    const int code = !exited ? -1 : WIFEXITED(status) ? WEXITSTATUS(status) : WIFSIGNALED(status) ? WTERMSIG(status) : -1;
    if (code != 0) {
        const QString message = decode(errors);
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
