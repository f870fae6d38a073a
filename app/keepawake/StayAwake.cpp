#include "keepawake/StayAwake.h"

#include "base/Decimal.h"
#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "platform/Power.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace murmelo::StayAwake {
namespace {

const QString kEnabledKey = QStringLiteral("stayAwakeLidClosed");
const QString kHoursKey = QStringLiteral("stayAwakeHours");
const QString kFloorKey = QStringLiteral("stayAwakeBatteryFloor");
const QString kUntilKey = QStringLiteral("stayAwakeUntil");
const QString kDaemonKey = QStringLiteral("stayAwakeAssumeSupported");

const QString kSystemAssertionName = QStringLiteral("Ondrix: не усыплять компьютер по простою");
const QString kDisplayAssertionName = QStringLiteral("Ondrix: keep display on while lid is open");

// Process-wide state; touched on the main thread only.
struct State {
    quint32 systemAssertionID = 0;
    quint32 displayAssertionID = 0;
    TimerHandle localLimitTimer;
    TimerHandle lidMonitorTimer;
    bool observingSleep = false;
    TimerHandle lidConfirmation;
    std::optional<bool> lastLidClosed;

    // The guard: its poll timer, and what it last asked of the sleep lock (none = nothing
    // yet, so its first pass always applies a value).
    bool guardRunning = false;
    TimerHandle guardTimer;
    std::optional<bool> guardOn;
};

State& state() {
    static State s;
    return s;
}

double nowSeconds() { return double(Clock::shared().now().toMSecsSinceEpoch()) / 1000.0; }

// A repeating main-queue timer: the next firing is scheduled before the work runs, so the
// work may cancel it through the same slot.
void repeatEvery(TimerHandle& slot, double seconds, std::function<void()> fn) {
    slot = MainQueue::shared().after(seconds, [&slot, seconds, fn] {
        repeatEvery(slot, seconds, fn);
        fn();
    });
}

void cancel(TimerHandle& t) {
    t.cancel();
    t.reset();
}

void releaseDisplayAssertion() {
    auto& s = state();
    if (s.displayAssertionID != 0) Power::shared().releaseAssertion(s.displayAssertionID);
    s.displayAssertionID = 0;
}

void releaseSystemAssertion() {
    auto& s = state();
    if (s.systemAssertionID != 0) Power::shared().releaseAssertion(s.systemAssertionID);
    s.systemAssertionID = 0;
}

bool isBatteryReason(const std::optional<LocalPowerState>& power, int floor) {
    return power && !power->isOnAC && power->percent <= floor;
}

void removeFile(const QString& path) { QFile::remove(path); }

// Daemon-mode arming, continued from arm() with the deadline and the floor.
void armWithGuard(double deadline, int floor, int h, std::function<void(const ArmResult&)> completion);
void releaseWithGuard();

}  // namespace

// ---- settings ----

bool isEnabled() { return Defaults::shared().boolValue(kEnabledKey); }
void setEnabled(bool on) { Defaults::shared().set(kEnabledKey, on); }

int hours() {
    auto& d = Defaults::shared();
    return int(d.integerObject(kHoursKey).value_or(8));
}
void setHours(int h) { Defaults::shared().set(kHoursKey, qlonglong(h)); }

int batteryFloor() {
    auto& d = Defaults::shared();
    return int(d.integerObject(kFloorKey).value_or(20));
}
void setBatteryFloor(int percent) { Defaults::shared().set(kFloorKey, qlonglong(percent)); }

double armedUntil() {
    const Defaults& d = Defaults::shared();
    const double until = d.doubleValue(kUntilKey);
    // The deadline is shown as a date, counted in 64-bit milliseconds.
    if (wholeInt64(until * 1000.0)) return until;
    d.noteOutOfRange(kUntilKey);
    return 0;
}
void setArmedUntil(double secondsSince1970) { Defaults::shared().set(kUntilKey, secondsSince1970); }

bool usesSystemDaemon() { return Defaults::shared().boolValue(kDaemonKey); }

// ---- flags ----

std::optional<bool> rootDomainFlag(const QString& key) {
    auto& p = Power::shared();
    if (key == QLatin1String("SleepDisabled")) return p.sleepDisabled();
    if (key == QLatin1String("AppleClamshellState")) return p.lidClosed();
    if (key == QLatin1String("AppleClamshellCausesSleep")) return p.lidCausesSleep();
    return std::nullopt;
}

bool systemSleepDisabled() { return rootDomainFlag(QStringLiteral("SleepDisabled")).value_or(false); }
std::optional<bool> lidCausesSleep() { return rootDomainFlag(QStringLiteral("AppleClamshellCausesSleep")); }
std::optional<bool> lidClosed() { return rootDomainFlag(QStringLiteral("AppleClamshellState")); }
bool hasLid() { return lidClosed().has_value(); }
bool idleAssertionIsHeld() { return state().systemAssertionID != 0; }
bool systemIdleAssertionIsHeld() { return state().systemAssertionID != 0; }
bool displayIdleAssertionIsHeld() { return state().displayAssertionID != 0; }

bool isArmed() {
    if (usesSystemDaemon()) return systemSleepDisabled() && guardIsAlive();
    return isEnabled() && state().systemAssertionID != 0;
}

std::optional<LocalPowerState> currentPowerState() {
    const auto src = Power::shared().powerSource();
    if (!src) return std::nullopt;
    return LocalPowerState{src->percent, src->isOnAC};
}

std::optional<QString> localReleaseReason(double now, double until, int floor,
                                          const std::optional<LocalPowerState>& power) {
    if (until > 0 && until <= now) return QStringLiteral("deadline");
    if (isBatteryReason(power, floor)) return QStringLiteral("battery");
    return std::nullopt;
}

bool shouldConfirmClosedLid(std::optional<bool> previous, bool current) {
    return previous.has_value() && !*previous && current;
}

// ---- local mode ----

bool holdDisplayAssertion() {
    auto& s = state();
    if (s.displayAssertionID != 0) return true;
    quint32 id = 0;
    const int result =
        Power::shared().createAssertion(PowerAssertionType::PreventUserIdleDisplaySleep, kDisplayAssertionName, id);
    if (result != 0) {
        s.displayAssertionID = 0;
        logLine(QStringLiteral("stay-awake: display assertion failed (IOReturn %1)").arg(result));
        return false;
    }
    s.displayAssertionID = id;
    return true;
}

bool holdIdleAssertion(bool on) {
    auto& s = state();
    if (!on) {
        releaseDisplayAssertion();
        releaseSystemAssertion();
        return true;
    }
    if (s.systemAssertionID == 0) {
        quint32 id = 0;
        const int result =
            Power::shared().createAssertion(PowerAssertionType::PreventUserIdleSystemSleep, kSystemAssertionName, id);
        if (result != 0) {
            s.systemAssertionID = 0;
            logLine(QStringLiteral("stay-awake: системный assertion не встал (IOReturn %1)").arg(result));
            return false;
        }
        s.systemAssertionID = id;
    }
    // With the lid shut there is no display to keep on.
    if (lidClosed() == true) return true;
    if (!holdDisplayAssertion()) {
        releaseDisplayAssertion();
        releaseSystemAssertion();
        return false;
    }
    return true;
}

void stopLocalLimitMonitoring() {
    auto& s = state();
    cancel(s.localLimitTimer);
    cancel(s.lidMonitorTimer);
    cancel(s.lidConfirmation);
    s.lastLidClosed.reset();
    if (s.observingSleep) Power::shared().setSleepHandlers({}, {});
    s.observingSleep = false;
}

void startLocalLimitMonitoring() {
    stopLocalLimitMonitoring();
    if (usesSystemDaemon() || !isEnabled()) return;
    auto& s = state();
    Power::shared().setSleepHandlers(
        [] {
            cancel(state().lidConfirmation);
            logLine(QStringLiteral("stay-awake: macOS will sleep; lid confirmation sound cancelled"));
        },
        [] { enforceLocalLimits(QStringLiteral("wake")); });
    s.observingSleep = true;
    repeatEvery(s.localLimitTimer, LIMIT_CHECK_SECONDS, [] { enforceLocalLimits(QStringLiteral("timer")); });
    s.lastLidClosed = lidClosed();
    repeatEvery(s.lidMonitorTimer, LID_POLL_SECONDS, [] { pollLid(); });
    enforceLocalLimits(QStringLiteral("activation"));
}

void pollLid() {
    if (usesSystemDaemon() || !isEnabled()) return;
    const auto closed = lidClosed();
    if (!closed) return;
    auto& s = state();
    if (!s.lastLidClosed || *s.lastLidClosed != *closed) {
        if (*closed) {
            releaseDisplayAssertion();
            if (shouldConfirmClosedLid(s.lastLidClosed, true)) {
                cancel(s.lidConfirmation);
                s.lidConfirmation = MainQueue::shared().after(LID_CONFIRM_SECONDS, [] {
                    // The beep tells the user that the machine kept running with the lid shut.
                    if (isEnabled() && state().systemAssertionID != 0 && lidClosed() == true) {
                        QApplication::beep();
                        logLine(QStringLiteral("stay-awake: lid check passed - closed for 5s while process kept running"));
                    }
                });
                logLine(QStringLiteral("stay-awake: lid closed; display assertion released; checking process in 5s"));
            }
        } else {
            cancel(s.lidConfirmation);
            if (holdDisplayAssertion())
                logLine(QStringLiteral("stay-awake: lid opened; display assertion restored"));
            else
                logLine(QStringLiteral("stay-awake: lid opened but display assertion could not be restored"));
        }
    }
    s.lastLidClosed = closed;
}

void enforceLocalLimits(const QString& source) {
    if (usesSystemDaemon() || !isEnabled()) return;
    const auto power = currentPowerState();
    const auto reason = localReleaseReason(nowSeconds(), armedUntil(), batteryFloor(), power);
    if (!reason) return;
    setEnabled(false);
    setArmedUntil(0);
    releaseDisplayAssertion();
    releaseSystemAssertion();
    stopLocalLimitMonitoring();
    if (*reason == QLatin1String("deadline"))
        logLine(QStringLiteral("stay-awake: deadline expired; normal sleep restored (check: %1)").arg(source));
    else
        logLine(QStringLiteral("stay-awake: battery reached %1%; normal sleep restored").arg(power->percent));
}

void arm(std::function<void(const ArmResult&)> completion) {
    const int floor = batteryFloor();
    const int h = hours();
    const double deadline = h != 0 ? nowSeconds() + double(h) * 3600.0 : 0.0;
    if (usesSystemDaemon()) {
        armWithGuard(deadline, floor, h, std::move(completion));
        return;
    }
    const auto power = currentPowerState();
    if (isBatteryReason(power, floor)) {
        setEnabled(false);
        setArmedUntil(0);
        completion(ArmResult::failed(
            QStringLiteral("Заряд %1% уже достиг выбранного порога %2%").arg(power->percent).arg(floor)));
        return;
    }
    if (!holdIdleAssertion(true)) {
        completion(ArmResult::failed(QStringLiteral("система не создала запрет сна по бездействию")));
        return;
    }
    setArmedUntil(deadline);
    startLocalLimitMonitoring();
    QString line = QStringLiteral("stay-awake: system idle assertion active");
    line += deadline > 0 ? QStringLiteral(" until %1").arg(qint64(deadline)) : QStringLiteral(" without deadline");
    line += QStringLiteral("; display=%1").arg(displayIdleAssertionIsHeld() ? 1 : 0);
    logLine(line);
    completion(ArmResult::armed(deadline));
}

void release() {
    if (usesSystemDaemon()) {
        releaseWithGuard();
        return;
    }
    stopLocalLimitMonitoring();
    releaseDisplayAssertion();
    releaseSystemAssertion();
    setArmedUntil(0);
    logLine(QStringLiteral("stay-awake: локальный запрет снят, обычный сон снова разрешён"));
}

// ---- daemon mode: state files ----

QString stateDir() {
    return Folders::join(Folders::join(Folders::applicationSupport(), QStringLiteral("Murmelo")),
                         QStringLiteral("stay-awake"));
}
QString tokenPath() { return Folders::join(stateDir(), QStringLiteral("armed")); }
QString beatPath() { return Folders::join(stateDir(), QStringLiteral("beat")); }
QString reasonPath() { return Folders::join(stateDir(), QStringLiteral("reason")); }

bool isInstalled() { return state().guardRunning; }
bool tokenExists() { return QFileInfo::exists(tokenPath()); }

bool guardIsAlive() {
    const QFileInfo beat(beatPath());
    if (!beat.exists()) return false;
    const QDateTime modified = beat.lastModified();
    if (!modified.isValid()) return false;
    const double age = double(modified.msecsTo(Clock::shared().now())) / 1000.0;
    return age < beatStaleAfter;
}

bool isOrphaned() { return usesSystemDaemon() && systemSleepDisabled() && tokenExists() && !guardIsAlive(); }

bool writeToken(double deadline, int floor) {
    QString error;
    if (!Folders::makePrivateFolder(stateDir())) {
        error = QStringLiteral("cannot create %1").arg(stateDir());
    } else {
        QSaveFile file(tokenPath());
        const QByteArray text = QStringLiteral("%1\n%2\n").arg(qint64(deadline)).arg(floor).toUtf8();
        if (!file.open(QIODevice::WriteOnly) || file.write(text) != text.size() || !file.commit())
            error = file.errorString();
    }
    if (error.isEmpty()) return true;
    logLine(QStringLiteral("stay-awake: не смог записать жетон: ") + error);
    return false;
}

std::optional<QString> takeLastReason() {
    QFile file(reasonPath());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    const QString text = QString::fromUtf8(file.readAll()).trimmed();
    file.close();
    removeFile(reasonPath());
    if (text.isEmpty()) return std::nullopt;
    return text;
}

void confirm(bool expected, int within, std::function<void(bool)> completion) {
    auto remaining = std::make_shared<int>(within);
    auto tick = std::make_shared<std::function<void()>>();
    *tick = [expected, remaining, completion, weak = std::weak_ptr<std::function<void()>>(tick)] {
        if (systemSleepDisabled() == expected) {
            completion(true);
            return;
        }
        --*remaining;
        if (*remaining >= 1) {
            // The scheduled block keeps the tick alive until it ran.
            auto again = weak.lock();
            MainQueue::shared().after(1.0, [again] { (*again)(); });
        } else {
            completion(false);
        }
    };
    (*tick)();
}

// ---- daemon mode: the guard ----

namespace {

// A line of the token: only digits count; anything else gives the fallback.
qint64 tokenNumber(const QString& line, qint64 fallback) {
    if (line.isEmpty()) return fallback;
    for (QChar c : line)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return fallback;
    bool ok = false;
    const qint64 v = line.toLongLong(&ok);
    return ok ? v : fallback;
}

void touchBeat() {
    Folders::makePrivateFolder(stateDir());
    QFile beat(beatPath());
    // The heartbeat carries the program's clock so that its age is measured in one time base.
    if (beat.open(QIODevice::WriteOnly | QIODevice::Append)) {
        beat.setFileTime(Clock::shared().now(), QFileDevice::FileModificationTime);
        beat.close();
    }
}

}  // namespace

void guardPass() {
    auto& s = state();
    touchBeat();
    bool want = false;
    QString why;
    QFile token(tokenPath());
    if (token.open(QIODevice::ReadOnly)) {
        want = true;
        const QStringList lines = QString::fromUtf8(token.readAll()).split(QLatin1Char('\n'));
        const qint64 deadline = tokenNumber(lines.value(0), 0);
        const qint64 floor = tokenNumber(lines.value(1), 20);
        if (deadline > 0 && qint64(nowSeconds()) >= deadline) {
            want = false;
            why = QStringLiteral("deadline");
        }
        if (want) {
            const auto power = Power::shared().powerSource();
            if (power && !power->isOnAC && power->percent <= floor) {
                want = false;
                why = QStringLiteral("battery");
            }
        }
    }
    if (s.guardOn != want) {
        Power::shared().setSleepLock(want);
        s.guardOn = want;
        if (!want && !why.isEmpty()) {
            QFile reason(reasonPath());
            if (reason.open(QIODevice::WriteOnly | QIODevice::Truncate)) reason.write((why + QLatin1Char('\n')).toUtf8());
            removeFile(tokenPath());
        }
    }
}

void startGuard() {
    auto& s = state();
    if (s.guardRunning) return;
    s.guardRunning = true;
    s.guardOn.reset();
    guardPass();
    repeatEvery(s.guardTimer, GUARD_POLL_SECONDS, [] { guardPass(); });
}

void stopGuard() {
    auto& s = state();
    cancel(s.guardTimer);
    s.guardRunning = false;
    if (s.guardOn == true) Power::shared().setSleepLock(false);
    s.guardOn.reset();
}

namespace {

void armWithGuard(double deadline, int floor, int h, std::function<void(const ArmResult&)> completion) {
    // Completions of daemon mode always arrive later, on the main queue.
    auto finish = [completion](const ArmResult& r) { MainQueue::shared().post([completion, r] { completion(r); }); };
    if (!writeToken(deadline, floor)) {
        finish(ArmResult::failed(QStringLiteral("не смог записать жетон")));
        return;
    }
    removeFile(reasonPath());
    logLine(QStringLiteral("stay-awake: жетон поставлен (срок %1, пол батареи %2%)")
                .arg(h != 0 ? QStringLiteral("%1 ч").arg(h) : QStringLiteral("без ограничения"))
                .arg(floor));
    if (!isInstalled()) {
        // The guard needs no rights here: logind hands inhibitor locks to any user.
        startGuard();
        logLine(QStringLiteral("stay-awake: сторож запущен в процессе (logind), пароль не нужен"));
    }
    confirm(true, ARM_CONFIRM_CHECKS, [deadline, finish](bool ok) {
        if (ok) {
            setArmedUntil(deadline);
            const auto sleeps = lidCausesSleep();
            logLine(QStringLiteral("stay-awake: запрет сна СТОИТ; крышка усыпляет: ") +
                    (!sleeps ? QStringLiteral("no lid") : *sleeps ? QStringLiteral("yes") : QStringLiteral("no")));
            finish(ArmResult::armed(deadline));
        } else {
            removeFile(tokenPath());
            logLine(QStringLiteral("stay-awake: жетон стоит, но SleepDisabled так и не встал - режим не поднят"));
            finish(ArmResult::failed(QStringLiteral("система не приняла запрет сна")));
        }
    });
}

void releaseWithGuard() {
    removeFile(tokenPath());
    setArmedUntil(0);
    logLine(QStringLiteral("stay-awake: жетон снят, жду сторожа"));
    confirm(false, RELEASE_CONFIRM_CHECKS, [](bool ok) {
        if (ok)
            logLine(QStringLiteral("stay-awake: запрет сна снят, машина снова засыпает"));
        else if (systemSleepDisabled())
            logLine(QStringLiteral("stay-awake: ⚠ жетон снят, но SleepDisabled ещё стоит - сторожа, похоже, нет"));
    });
}

}  // namespace

void forceRelease(std::function<void(const std::optional<QString>&)> completion) {
    removeFile(tokenPath());
    setArmedUntil(0);
    // Only the lock this process holds can be dropped; another program's lock is its own.
    std::optional<QString> error;
    if (!Power::shared().setSleepLock(false)) error = QStringLiteral("logind не снял блокировку");
    if (state().guardOn) state().guardOn = false;
    if (error)
        logLine(QStringLiteral("stay-awake: снять запрет не удалось: ") + *error);
    else
        logLine(QStringLiteral("stay-awake: запрет снят вручную"));
    MainQueue::shared().post([completion, error] { completion(error); });
}

void uninstall(std::function<void(const std::optional<QString>&)> completion) {
    removeFile(tokenPath());
    removeFile(beatPath());
    setEnabled(false);
    setArmedUntil(0);
    stopGuard();
    Power::shared().setSleepLock(false);
    logLine(QStringLiteral("stay-awake: демон снят, в системе не осталось ничего"));
    MainQueue::shared().post([completion] { completion(std::nullopt); });
}

void resetForTesting() {
    stopLocalLimitMonitoring();
    stopGuard();
    holdIdleAssertion(false);
}

}  // namespace murmelo::StayAwake
