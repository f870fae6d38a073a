// Status, texts, report and the launch check of the keep-awake service.
#include "base/Format.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "keepawake/StayAwake.h"
#include "platform/MainQueue.h"

#include <QDateTime>
#include <QFileInfo>
#include <QLocale>
#include <QStringList>

namespace murmelo::StayAwake {
namespace {

double nowSeconds() { return double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0; }

QDateTime deadlineDate(double until) { return QDateTime::fromMSecsSinceEpoch(qint64(until * 1000.0)).toLocalTime(); }

QString clockText(double until) { return deadlineDate(until).toString(QStringLiteral("HH:mm")); }

QString yesNoLid(const std::optional<bool>& flag) {
    if (!flag) return QStringLiteral("no lid");
    return *flag ? QStringLiteral("yes") : QStringLiteral("no");
}

QString reasonPhrase(const QString& word) {
    if (word == QLatin1String("token")) return QStringLiteral("сняли галку");
    if (word == QLatin1String("deadline")) return QStringLiteral("вышел срок");
    if (word == QLatin1String("battery")) return QStringLiteral("села батарея");
    return word;
}

}  // namespace

Status status() {
    if (usesSystemDaemon()) {
        if (isOrphaned()) return Status::orphan;
        if (isArmed()) return Status::armed;
        if (isEnabled()) return Status::enabledButOff;
        if (systemSleepDisabled()) return Status::foreign;
        if (isInstalled()) return Status::off;
        return Status::needsSetup;
    }
    if (isArmed()) return Status::armed;
    if (isEnabled()) return Status::enabledButOff;
    return Status::off;
}

QString statusText() {
    switch (status()) {
    case Status::unsupported:
        return L(QStringLiteral("stayAwake.status.unsupported"),
                 QStringLiteral("Эта версия системы не даёт запретить сон: системную настройку принимает только она сама, "
                                "и на запрос от администратора не отвечает. Держать ноутбук с закрытой крышкой сейчас "
                                "можно лишь так, как это задумано в системе - с внешним монитором и питанием."));
    case Status::noLid:
        return L(QStringLiteral("stayAwake.status.noLid"),
                 QStringLiteral("У этого компьютера нет крышки - настройка ни на что не влияет."));
    case Status::orphan:
        return L(QStringLiteral("stayAwake.status.orphan"),
                 QStringLiteral("Запрет сна стоит, но служба, которая его снимает, не работает: машина не заснёт сама "
                                "ни по сроку, ни по разряду. Обычно так бывает после перезагрузки."));
    case Status::enabledButOff:
        if (usesSystemDaemon())
            return L(QStringLiteral("stayAwake.status.enabledButOff"),
                     QStringLiteral("Включено, но системный запрет сна не стоит."));
        return L(QStringLiteral("stayAwake.status.enabledButOff"),
                 QStringLiteral("Не удалось создать запрет сна по бездействию. Выключи и включи режим снова."));
    case Status::foreign:
        return L(QStringLiteral("stayAwake.status.foreign"),
                 QStringLiteral("Запрет сна в системе стоит, но поставили его не мы - не трогаю."));
    case Status::needsSetup:
        return L(QStringLiteral("stayAwake.status.needsSetup"),
                 QStringLiteral("Выключено. Экспериментальный режим закрытой крышки при первом включении спросит пароль."));
    case Status::off:
        return L(QStringLiteral("stayAwake.status.off"),
                 QStringLiteral("Выключено: компьютер засыпает по обычным настройкам питания."));
    case Status::armed:
        break;
    }
    const double until = armedUntil();
    if (usesSystemDaemon()) {
        if (until <= 0) return QStringLiteral("Работает и при закрытой крышке, пока не выключишь.");
        return QStringLiteral("Работает и при закрытой крышке до ") + clockText(until) + QStringLiteral(".");
    }
    const QString hint =
        hasLid() ? L(QStringLiteral("stayAwake.status.lidNeedsDisplay"),
                     QStringLiteral("Через 5 секунд после закрытия прозвучит контрольный сигнал, если процесс работает. "
                                    "Для штатного режима системы нужны питание и внешний дисплей."))
                 : L(QStringLiteral("stayAwake.status.desktop"), QStringLiteral("Экран и процессы останутся активными."));
    if (until <= 0)
        return L(QStringLiteral("stayAwake.status.armedForever"),
                 QStringLiteral("Работает: компьютер не уснёт от бездействия, пока Ondrix запущена. %1$@"), {hint});
    return L(QStringLiteral("stayAwake.status.armed"),
             QStringLiteral("Работает до %1$@: компьютер не уснёт от бездействия. %2$@"), {clockText(until), hint});
}

QString shortStatusText() {
    switch (status()) {
    case Status::unsupported: return QStringLiteral("система не даёт запретить сон");
    case Status::noLid: return QStringLiteral("у этого компьютера нет крышки");
    case Status::armed: {
        const double until = armedUntil();
        if (!(until > 0)) return QStringLiteral("работает, пока не выключишь");
        return QStringLiteral("работает до ") + clockText(until);
    }
    case Status::orphan: return QStringLiteral("⚠ запрет стоит, служба не работает - см. Настройки");
    case Status::enabledButOff: return QStringLiteral("запрет сна не сработал");
    case Status::foreign: return QStringLiteral("запрет сна стоит не от нас");
    case Status::needsSetup: return QStringLiteral("первое включение спросит пароль");
    case Status::off: return QStringLiteral("компьютер засыпает по обычным настройкам");
    }
    return {};
}

QString report() {
    QStringList lines;
    auto add = [&lines](const char* label, const QString& value) {
        lines << QString::fromUtf8(label).leftJustified(31, QLatin1Char(' ')) + value;
    };
    auto active = [](bool held) { return held ? QStringLiteral("1 - active") : QStringLiteral("0 - inactive"); };

    add("public mode:", usesSystemDaemon() ? QStringLiteral("system daemon (experimental)")
                                           : QStringLiteral("idle-sleep prevention"));
    add("logind idle inhibitor:", active(systemIdleAssertionIsHeld()));
    add("logind display inhibitor:", active(displayIdleAssertionIsHeld()));
    add("logind sleep block:", systemSleepDisabled() ? QStringLiteral("1 - sleep disabled") : QStringLiteral("0 - sleep allowed"));
    add("lid switch suspends:", yesNoLid(lidCausesSleep()) + QStringLiteral(" (diagnostic only)"));
    add("with the lid closed:", QStringLiteral("keeps running when docked: power + external display"));
    add("lid closed:", yesNoLid(lidClosed()));
    // No system file is installed here: the guard lives in this process.
    add("daemon:", isInstalled() ? QStringLiteral("%1 (in-process, logind)").arg(QLatin1String(daemonLabel))
                                 : QStringLiteral("not installed"));
    add("token:", tokenExists() ? tokenPath() : QStringLiteral("absent"));
    QString beat = QStringLiteral("absent");
    const QFileInfo beatInfo(beatPath());
    if (beatInfo.exists() && beatInfo.lastModified().isValid()) {
        const double age = double(beatInfo.lastModified().msecsTo(Clock::shared().now())) / 1000.0;
        beat = formatSpec(QStringLiteral("%.0fs ago"), {age});
    }
    if (guardIsAlive()) beat += QStringLiteral(" (alive)");
    add("daemon heartbeat:", beat);
    add("settings switch:", isEnabled() ? QStringLiteral("on") : QStringLiteral("off"));
    const double until = armedUntil();
    add("deadline:", until > 0 ? QLocale().toString(deadlineDate(until).time(), QLocale::ShortFormat)
                               : QStringLiteral("no deadline"));
    add("battery floor:", QString::number(batteryFloor()) + QStringLiteral("%"));
    add("result:", statusText());
    return lines.join(QLatin1Char('\n'));
}

bool checkAtLaunch() {
    if (usesSystemDaemon()) {
        // The guard runs whenever the program does, as a system daemon would run from boot:
        // it resumes a lock left by the last run, or ends it when a limit passed meanwhile.
        startGuard();
        if (const auto reason = takeLastReason()) {
            logLine(QStringLiteral("stay-awake: прошлый сеанс закончился - ") + reasonPhrase(*reason));
            if (*reason != QLatin1String("token") && isEnabled()) {
                setEnabled(false);
                setArmedUntil(0);
            }
        }
        logLine(QStringLiteral("stay-awake: SleepDisabled=%1 крышка-усыпляет=%2 жетон=%3 сторож=%4")
                    .arg(systemSleepDisabled() ? 1 : 0)
                    .arg(yesNoLid(lidCausesSleep()),
                         tokenExists() ? QStringLiteral("есть") : QStringLiteral("нет"),
                         guardIsAlive() ? QStringLiteral("жив") : QStringLiteral("нет")));
        if (isOrphaned()) {
            logLine(QStringLiteral("stay-awake: ⚠ ЗАПРЕТ СНА БЕЗ СТОРОЖА - машина не заснёт сама ни по сроку, ни по батарее"));
            return true;
        }
        return false;
    }
    if (isEnabled()) {
        const double until = armedUntil();
        const auto power = currentPowerState();
        const bool deadlinePassed = until > 0 && nowSeconds() >= until;
        const bool batteryLow = power && !power->isOnAC && power->percent <= batteryFloor();
        if (deadlinePassed || batteryLow) {
            setEnabled(false);
            setArmedUntil(0);
        }
    }
    holdIdleAssertion(isEnabled());
    if (isEnabled()) startLocalLimitMonitoring();
    const double until = armedUntil();
    logLine(QStringLiteral("stay-awake: system idle assertion=%1 display=%2 deadline=%3")
                .arg(systemIdleAssertionIsHeld() ? 1 : 0)
                .arg(displayIdleAssertionIsHeld() ? 1 : 0)
                .arg(until > 0 ? QString::number(qint64(until)) : QStringLiteral("none")));
    return false;
}

ModeOutput statusMode() { return {report() + QLatin1Char('\n'), 0}; }

void uninstallMode(std::function<void(const ModeOutput&)> completion) {
    if (!isInstalled()) {
        const ModeOutput out{QStringLiteral("сторож не установлен - снимать нечего\n"), 0};
        MainQueue::shared().post([completion, out] { completion(out); });
        return;
    }
    uninstall([completion](const std::optional<QString>& error) {
        if (error)
            completion({QStringLiteral("не удалось снять: ") + *error + QLatin1Char('\n'), 0});
        else
            completion({report() + QLatin1Char('\n'), 0});
    });
}

}  // namespace murmelo::StayAwake
