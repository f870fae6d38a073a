#include "shell/OneShotModes.h"
#include "base/Graphemes.h"

#include "shell/AppQuit.h"
#include "base/Autostart.h"
#include "base/Format.h"
#include "base/Localization.h"
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
    // The request runs on a worker; the mode ends from its completion, on the main queue.
    MeetingsSeam::shared().meetingNotesSend(folder, kind, [start](std::optional<QString> written, QString error) {
        MainQueue::shared().post([start, written, error] {
            const QString flag = QString::fromLatin1(meetingNotesSendArgument);
            if (!written) {
                print(QStringLiteral("не вышло: ") + error);
                AppQuit::terminateSilently(flag, kFailed);
                return;
            }
            const QString text = readUtf8(*written);
            print(formatSpec(QStringLiteral("готово за %.0f с, %d симв.\n"), {secondsSince(start), graphemeCount(text)}));
            print(text);
            AppQuit::terminateSilently(flag);
        });
    });
    return kPending;
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

// The options the command line knows, in the help's order: the flag, whether the arguments
// after it are its operands, and the help line (key and Russian text).
struct KnownOption {
    const char* flag;
    bool takesOperands;
    const char* key;
    const char* text;
};

constexpr KnownOption kKnownOptions[] = {
    {"--meeting-preflight", false, "cli.help.meetingPreflight", "проверить, готова ли запись встреч"},
    {"--meeting-names", false, "cli.help.meetingNames", "имена участников из окна звонка"},
    {meetingNotesSendArgument, true, "cli.help.meetingNotesSend",
     "ПАПКА [summary]: заметки (или итоги) встречи через AI-сервис"},
    {"--meeting-retranscribe", true, "cli.help.meetingRetranscribe", "ПАПКА: расшифровать встречу заново"},
    {"--meeting-recover", false, "cli.help.meetingRecover", "расшифровать брошенные записи встреч"},
    {"--stay-awake-status", false, "cli.help.stayAwakeStatus", "состояние запрета сна этого компьютера (logind)"},
    {"--stay-awake-uninstall", false, "cli.help.stayAwakeUninstall", "снять сторожа запрета сна"},
    {"--migrate-autostart", false, "cli.help.migrateAutostart", "перенести старый автозапуск на нынешний"},
    {"--onboarding-preview", false, "cli.help.onboardingPreview", "запуск с показом знакомства с программой"},
    {"--manual-input-release-gate", false, "cli.help.manualInputReleaseGate",
     "запуск, в котором при MURMELO_MANUAL_INPUT_TEST_FORCE_TIS_FAILURE=1 всякая смена раскладки переключателем "
     "проваливается (проверка)"},
};

// The toolkit's own options, which it takes off the command line when the program starts:
// those followed by a value, then those that stand alone.
const QStringList& toolkitOptionsWithValue() {
    static const QStringList list = {
        "platform", "platformpluginpath", "platformtheme", "plugin", "qwindowgeometry", "qwindowicon",
        "qwindowtitle", "display", "geometry", "style", "stylesheet", "session", "name", "title",
        "visual", "qmljsdebugger"};
    return list;
}
const QStringList& toolkitFlags() {
    static const QStringList list = {"reverse", "nograb", "dograb", "sync", "widgetcount", "cmap"};
    return list;
}

const KnownOption* knownOption(const QString& argument) {
    for (const KnownOption& o : kKnownOptions)
        if (argument == QLatin1String(o.flag)) return &o;
    return nullptr;
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

std::optional<CommandLineAnswer> checkCommandLine(const QStringList& arguments) {
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments[i];
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h"))
            return CommandLineAnswer{CommandLineAnswer::Kind::help, {}};
        if (!argument.startsWith(QLatin1Char('-')) || argument == QLatin1String("-")) continue;
        if (const KnownOption* known = knownOption(argument)) {
            if (known->takesOperands) break;
            continue;
        }
        // The toolkit spells its options with one dash or two, and a value after "=" or
        // as the next argument.
        QString name = argument.mid(argument.startsWith(QLatin1String("--")) ? 2 : 1);
        const bool inlineValue = name.contains(QLatin1Char('='));
        name = name.section(QLatin1Char('='), 0, 0);
        if (toolkitOptionsWithValue().contains(name)) {
            if (!inlineValue) ++i;
            continue;
        }
        if (!inlineValue && toolkitFlags().contains(name)) continue;
        return CommandLineAnswer{CommandLineAnswer::Kind::unknownOption, argument};
    }
    return std::nullopt;
}

QString helpText() {
    QStringList lines;
    lines << L(QStringLiteral("cli.help.usage"),
               QStringLiteral("Запуск: murmelo [РЕЖИМ]. Без режима работает значок в трее; режим выполняется и "
                              "программа выходит."));
    lines << QString() << L(QStringLiteral("cli.help.modes"), QStringLiteral("Режимы и параметры:"));
    auto line = [&lines](const QString& flag, const QString& text) {
        lines << QStringLiteral("  ") + flag.leftJustified(31) + QLatin1Char(' ') + text;
    };
    for (const KnownOption& o : kKnownOptions)
        line(QString::fromLatin1(o.flag), L(QString::fromLatin1(o.key), QString::fromUtf8(o.text)));
    line(QString::fromLatin1(screenContextProbeEnvironmentKey) + QStringLiteral("=1"),
         L(QStringLiteral("cli.help.screenContextProbe"),
           QStringLiteral("(переменная окружения) проба контекста экрана")));
    line(QStringLiteral("--help, -h"), L(QStringLiteral("cli.help.help"), QStringLiteral("этот список")));
    return lines.join(QLatin1Char('\n'));
}

QString unknownOptionText(const QString& option) {
    return L(QStringLiteral("cli.unknownOption"), QStringLiteral("murmelo: неизвестный параметр %1$@ (список: murmelo --help)"),
             {option});
}

void setOutput(Output output) {
    std::lock_guard lock(g_outputMutex);
    g_output = std::move(output);
}

}  // namespace murmelo::OneShotModes
