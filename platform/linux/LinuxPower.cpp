#include "linux/LinuxPower.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDir>
#include <QFile>
#include <QtGlobal>
#include <cmath>

namespace murmelo::linuxdesktop {
namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");
const QString kWho = QStringLiteral("Ondrix");
// logind answers in microseconds; a stuck bus must not hang the main thread for long.
constexpr int kCallTimeoutMs = 2000;
// What the hold failures report: the platform's generic error code.
constexpr int kHoldFailed = -536870212;

QDBusMessage managerCall(const QString& method) {
    return QDBusMessage::createMethodCall(kService, kPath, kManager, method);
}

QString readTrimmed(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll()).trimmed();
}

std::optional<double> readNumber(const QString& path) {
    bool ok = false;
    const double v = readTrimmed(path).toDouble(&ok);
    if (!ok) return std::nullopt;
    return v;
}

}  // namespace

LinuxPower::LinuxPower(QString powerSupplyDir, QString lidDir)
    : powerSupplyDir_(std::move(powerSupplyDir)), lidDir_(std::move(lidDir)) {}

QString LinuxPower::inhibitWhat(PowerAssertionType type) {
    // Idle sleep only: a lid close still suspends, as it should without the lock.
    return type == PowerAssertionType::PreventUserIdleSystemSleep ? QStringLiteral("sleep:idle")
                                                                  : QStringLiteral("idle");
}

QDBusUnixFileDescriptor LinuxPower::inhibit(const QString& what, const QString& why, QString* error) {
    QDBusMessage call = managerCall(QStringLiteral("Inhibit"));
    call << what << kWho << why << QStringLiteral("block");
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        if (error) *error = reply.errorName() + QStringLiteral(": ") + reply.errorMessage();
        return {};
    }
    const auto fd = qvariant_cast<QDBusUnixFileDescriptor>(reply.arguments().constFirst());
    if (!fd.isValid() && error) *error = QStringLiteral("logind returned no descriptor");
    return fd;
}

int LinuxPower::createAssertion(PowerAssertionType type, const QString& name, quint32& id) {
    QString error;
    QDBusUnixFileDescriptor fd = inhibit(inhibitWhat(type), name, &error);
    if (!fd.isValid()) {
        qWarning("power: logind inhibitor refused: %s", qPrintable(error));
        id = 0;
        return kHoldFailed;
    }
    id = nextId_++;
    held_[id] = std::move(fd);
    return 0;
}

void LinuxPower::releaseAssertion(quint32 id) {
    // Dropping the last copy of the descriptor closes it, and logind lets the hold go.
    held_.erase(id);
}

bool LinuxPower::setSleepLock(bool on) {
    if (!on) {
        sleepLock_ = QDBusUnixFileDescriptor();
        return true;
    }
    if (sleepLock_.isValid()) return true;
    QString error;
    sleepLock_ = inhibit(sleepLockWhat(), QStringLiteral("keep awake with the lid closed"), &error);
    if (!sleepLock_.isValid()) qWarning("power: logind sleep lock refused: %s", qPrintable(error));
    return sleepLock_.isValid();
}

std::optional<bool> LinuxPower::sleepDisabled() {
    const QDBusMessage reply =
        QDBusConnection::systemBus().call(managerCall(QStringLiteral("ListInhibitors")), QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QDBusArgument list = qvariant_cast<QDBusArgument>(reply.arguments().constFirst());
    bool disabled = false;
    list.beginArray();
    while (!list.atEnd()) {
        QString what, who, why, mode;
        uint uid = 0, pid = 0;
        list.beginStructure();
        list >> what >> who >> why >> mode >> uid >> pid;
        list.endStructure();
        // Sleep is off for every cause only when both sleep and the lid switch are blocked.
        const QStringList kinds = what.split(QLatin1Char(':'));
        if (mode == QLatin1String("block") && kinds.contains(QLatin1String("sleep")) &&
            kinds.contains(QLatin1String("handle-lid-switch")))
            disabled = true;
    }
    list.endArray();
    return disabled;
}

std::optional<bool> LinuxPower::lidClosed() {
    const QStringList lids = QDir(lidDir_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const QString& lid : lids) {
        const QString state = readTrimmed(QDir(lidDir_).filePath(lid + QStringLiteral("/state")));
        if (state.endsWith(QLatin1String("closed"))) return true;
        if (state.endsWith(QLatin1String("open"))) return false;
    }
    return std::nullopt;
}

std::optional<bool> LinuxPower::lidCausesSleep() {
    if (!lidClosed()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, QStringLiteral("org.freedesktop.DBus.Properties"),
                                                      QStringLiteral("Get"));
    call << kManager << QStringLiteral("HandleLidSwitch");
    const QDBusMessage reply = QDBusConnection::systemBus().call(call, QDBus::Block, kCallTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QString action = qvariant_cast<QDBusVariant>(reply.arguments().constFirst()).variant().toString();
    static const QStringList sleeping = {QStringLiteral("suspend"), QStringLiteral("hibernate"),
                                         QStringLiteral("hybrid-sleep"), QStringLiteral("suspend-then-hibernate")};
    return sleeping.contains(action);
}

std::optional<PowerSourceState> LinuxPower::powerSource() {
    const QDir dir(powerSupplyDir_);
    std::optional<PowerSourceState> battery;
    QString batteryStatus;
    bool sawMains = false;
    bool mainsOnline = false;
    for (const QString& name : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name)) {
        const QString base = dir.filePath(name) + QLatin1Char('/');
        const QString type = readTrimmed(base + QStringLiteral("type"));
        if (type == QLatin1String("Mains")) {
            sawMains = true;
            if (readTrimmed(base + QStringLiteral("online")) == QLatin1String("1")) mainsOnline = true;
            continue;
        }
        if (type != QLatin1String("Battery") || battery) continue;
        // Mice and headsets report batteries too; they do not power the machine.
        if (readTrimmed(base + QStringLiteral("scope")) == QLatin1String("Device")) continue;
        if (readTrimmed(base + QStringLiteral("present")) == QLatin1String("0")) continue;
        std::optional<double> percent;
        for (const char* kind : {"energy", "charge"}) {
            const auto now = readNumber(base + QLatin1String(kind) + QStringLiteral("_now"));
            const auto full = readNumber(base + QLatin1String(kind) + QStringLiteral("_full"));
            if (now && full && *full >= 1) {
                percent = *now / *full * 100.0;
                break;
            }
        }
        if (!percent) percent = readNumber(base + QStringLiteral("capacity"));
        if (!percent) continue;
        battery = PowerSourceState{int(std::lround(*percent)), false};
        batteryStatus = readTrimmed(base + QStringLiteral("status"));
    }
    if (!battery) return std::nullopt;
    battery->isOnAC = sawMains ? mainsOnline : batteryStatus != QLatin1String("Discharging");
    return battery;
}

void LinuxPower::setSleepHandlers(std::function<void()> willSleep, std::function<void()> didWake) {
    willSleep_ = std::move(willSleep);
    didWake_ = std::move(didWake);
    subscribe();
}

void LinuxPower::wakeObserversChanged() { subscribe(); }

void LinuxPower::subscribe() {
    if (!subscribed_ && (willSleep_ || didWake_ || hasWakeObservers())) {
        subscribed_ = QDBusConnection::systemBus().connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"),
                                                           this, SLOT(onPrepareForSleep(bool)));
    }
}

void LinuxPower::onPrepareForSleep(bool start) {
    if (start) {
        if (willSleep_) willSleep_();
        return;
    }
    if (didWake_) didWake_();
    notifyWakeObservers();
}

}  // namespace murmelo::linuxdesktop
