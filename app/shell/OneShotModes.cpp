#include "shell/OneShotModes.h"
#include "base/Graphemes.h"

#include "shell/AppQuit.h"
#include "base/Autostart.h"
#include "base/Format.h"
#include "ai/AiSeam.h"
#include "keepawake/KeepAwakeSeam.h"
#include "meetings/MeetingsSeam.h"
#include "reply/ReplySeam.h"
#include "platform/MainQueue.h"

#include <QFile>
#include <QFileInfo>
#include <QSemaphore>
#include <QStringDecoder>
#include <cstdio>
#include <memory>
#include <mutex>

namespace murmelo::OneShotModes {
namespace {

// A failed mode exits with this status, so that scripts can tell failure from success.
constexpr int kFailed = 1;
// A mode whose end comes later, from its own completion.
constexpr int kPending = -1;

std::mutex g_outputMutex;
Output g_output;

void print(const QString& line) {
    std::lock_guard lock(g_outputMutex);
    if (g_output) {
        g_output(line);
        return;
    }
    const QByteArray bytes = line.toUtf8() + '\n';
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout);
    std::fflush(stdout);
}

bool has(const QStringList& arguments, const QString& flag) { return arguments.contains(flag); }

// The operands of a flag: the arguments after its first occurrence.
QStringList operands(const QStringList& arguments, const QString& flag) {
    const qsizetype at = arguments.indexOf(flag);
    return at < 0 ? QStringList() : arguments.mid(at + 1);
}

QString folderOf(const QString& path) { return QFileInfo(path).absoluteFilePath(); }

QString readUtf8(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return {};
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString text = decoder(file.readAll());
    return decoder.hasError() ? QString() : text;
}

double secondsSince(double start) { return Clock::shared().uptime() - start; }

int callWindowNames() {
    const std::optional<qint64> pid = MeetingsSeam::shared().meetingCallAppPID();
    if (!pid) {
        print(QStringLiteral("никто не играет звук - звонилку не опознать"));
        return 0;
    }
    QString name = MeetingsSeam::shared().localizedApplicationName(*pid);
    if (name.isEmpty()) name = QStringLiteral("?");
    print(QStringLiteral("окно: ") + name + QStringLiteral(" [pid ") + QString::number(*pid) + QStringLiteral("]"));

    // The completion may come on another thread while this one waits, or later than the
    // wait; what it shares lives as long as the last of them.
    struct Wait {
        QSemaphore done;
        std::atomic<bool> failed{false};
    };
    auto wait = std::make_shared<Wait>();
    ReplySeam::shared().windowOCRRecognizeText(
        *pid, MeetingsSeam::shared().meetingCallWindowTitles(),
        [wait, candidatesOf = MeetingsSeam::shared().meetingParticipantCandidates](std::optional<QString> text, QString error) {
            if (!text) {
                print(QStringLiteral("снимок не вышел: ") + error);
                wait->failed = true;
            } else {
                QStringList lines = text->split(QLatin1Char('\n'), Qt::SkipEmptyParts);
                print(QStringLiteral("--- распознанный текст ---"));
                print(lines.mid(0, 40).join(QLatin1Char('\n')));
                print(QStringLiteral("--- имена-кандидаты ---"));
                const QStringList names = candidatesOf(*text);
                print(names.isEmpty() ? QStringLiteral("не нашлось") : names.join(QStringLiteral(" | ")));
            }
            wait->done.release();
        });
    if (!wait->done.tryAcquire(1, int(callWindowWaitSeconds * 1000))) {
        print(QStringLiteral("снимок не вышел: нет ответа за 20 с"));
        return kFailed;
    }
    return wait->failed ? kFailed : 0;
}

int sendMeetingNotes(const QStringList& arguments) {
    const QStringList ops = operands(arguments, QString::fromLatin1(meetingNotesSendArgument));
    if (ops.isEmpty()) {
        print(QStringLiteral("укажи папку встречи"));
        return kFailed;
    }
    const QString folder = folderOf(ops[0]);
    const QString kind = ops.size() > 1 && ops[1] == QStringLiteral("summary") ? QStringLiteral("summary")
                                                                              : QStringLiteral("notes");
    QString error;
    const auto draft = MeetingsSeam::shared().meetingNotesDraft(folder, kind, &error);
    if (!draft) {
        print(QStringLiteral("не вышло: ") + error);
        return kFailed;
    }
    print(QStringLiteral("отправляю ") + QString::number(draft->characters) + QStringLiteral(" симв., модель ") +
          MeetingsSeam::shared().meetingNotesModel() + QStringLiteral(", ") + QStringLiteral("ключ ") +
          (AiSeam::shared().aiProviderIsReady() ? QStringLiteral("есть") : QStringLiteral("НЕТ")));
    const double start = Clock::shared().uptime();
    error.clear();
    const auto written = MeetingsSeam::shared().meetingNotesSend(folder, kind, &error);
    if (!written) {
        print(QStringLiteral("не вышло: ") + error);
        return kFailed;
    }
    const QString text = readUtf8(*written);
    print(formatSpec(QStringLiteral("готово за %.0f с, %d симв.\n"), {secondsSince(start), graphemeCount(text)}));
    print(text);
    return 0;
}

int retranscribeMeeting(const QStringList& arguments) {
    const QStringList ops = operands(arguments, QStringLiteral("--meeting-retranscribe"));
    if (ops.isEmpty()) {
        print(QStringLiteral("укажи папку встречи"));
        return kFailed;
    }
    const double start = Clock::shared().uptime();
    if (!MeetingsSeam::shared().meetingRetranscribe(folderOf(ops[0]))) {
        print(QStringLiteral("не вышло: расшифровка не сохранена"));
        return kFailed;
    }
    print(formatSpec(QStringLiteral("готово за %.0f с"), {secondsSince(start)}));
    return 0;
}

int recoverMeetings() {
    const QStringList pending = MeetingsSeam::shared().meetingRecoveryPending();
    print(pending.isEmpty() ? QStringLiteral("брошенных записей нет")
                            : QStringLiteral("брошенных записей: ") + QString::number(pending.size()));
    for (const QString& name : pending) print(QStringLiteral("  ") + name);
    const int done = MeetingsSeam::shared().meetingRecoveryRun(0);
    print(QStringLiteral("расшифровано: ") + QString::number(done));
    return done < pending.size() ? kFailed : 0;
}

int uninstallStayAwake() {
    if (!KeepAwakeSeam::shared().isInstalled()) {
        print(QStringLiteral("сторож не установлен - снимать нечего"));
        return 0;
    }
    // The removal finishes later; the process ends from its completion, on the main queue.
    KeepAwakeSeam::shared().uninstall([](std::optional<QString> error) {
        MainQueue::shared().post([error] {
            if (error) {
                print(QStringLiteral("не удалось снять: ") + *error);
                AppQuit::terminateSilently(QStringLiteral("--stay-awake-uninstall"), kFailed);
                return;
            }
            print(KeepAwakeSeam::shared().report());
            AppQuit::terminateSilently(QStringLiteral("--stay-awake-uninstall"));
        });
    });
    return kPending;
}

int migrateAutostart() {
    const Autostart::CommandResult result = Autostart::runMigrateAutostart();
    QString text = result.output;
    if (text.endsWith(QLatin1Char('\n'))) text.chop(1);
    if (!text.isEmpty()) print(text);
    return result.exitStatus;
}

struct Mode {
    QString reason;
    std::function<bool()> matches;
    std::function<int()> run;
};

}  // namespace

int screenContextProbeLevel(const QProcessEnvironment& environment) {
    bool ok = false;
    const int level = environment.value(QString::fromLatin1(screenContextProbeEnvironmentKey)).toInt(&ok, 10);
    return ok ? level : 0;
}

bool run(const QStringList& arguments, const QProcessEnvironment& environment) {
    const QString notesFlag = QString::fromLatin1(meetingNotesSendArgument);
    auto flag = [&arguments](const char* f) { return [&arguments, f] { return has(arguments, QString::fromLatin1(f)); }; };
    const std::vector<Mode> modes = {
        {QStringLiteral("--screen-context-probe"),
         [&] { return screenContextProbeLevel(environment) >= 1; },
         [&] {
             ReplySeam::shared().screenContextProbeRun();
             return 0;
         }},
        {QStringLiteral("--meeting-preflight"), flag("--meeting-preflight"),
         [&] {
             print(MeetingsSeam::shared().meetingPreflightReport());
             return 0;
         }},
        {QStringLiteral("--meeting-names"), flag("--meeting-names"), [] { return callWindowNames(); }},
        {notesFlag, [&] { return has(arguments, notesFlag); }, [&] { return sendMeetingNotes(arguments); }},
        {QStringLiteral("--meeting-retranscribe"), flag("--meeting-retranscribe"),
         [&] { return retranscribeMeeting(arguments); }},
        {QStringLiteral("--meeting-recover"), flag("--meeting-recover"), [] { return recoverMeetings(); }},
        {QStringLiteral("--stay-awake-status"), flag("--stay-awake-status"),
         [&] {
             print(KeepAwakeSeam::shared().report());
             return 0;
         }},
        {QStringLiteral("--stay-awake-uninstall"), flag("--stay-awake-uninstall"), [] { return uninstallStayAwake(); }},
        {QStringLiteral("--migrate-autostart"), flag("--migrate-autostart"),
         [] { return migrateAutostart(); }},
    };
    for (const Mode& mode : modes) {
        if (!mode.matches()) continue;
        const int status = mode.run();
        if (status != kPending) AppQuit::terminateSilently(mode.reason, status);
        return true;
    }
    return false;
}

void setOutput(Output output) {
    std::lock_guard lock(g_outputMutex);
    g_output = std::move(output);
}

}  // namespace murmelo::OneShotModes
