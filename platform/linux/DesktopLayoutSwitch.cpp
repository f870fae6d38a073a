#include "linux/DesktopLayoutSwitch.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QStandardPaths>

#include <QHash>

#include <cerrno>
#include <csignal>

namespace murmelo::linuxdesktop {
namespace {

// Replies come back on the main loop; a desktop that hangs must not keep a selection open.
constexpr int CALL_TIMEOUT_MS = 1500;

const QString IBUS_CONNECTION = QStringLiteral("murmelo-ibus");

// Layout and variant of "xkb:us(intl)".
std::pair<QString, QString> layoutAndVariant(const QString& xkbId) {
    static const QRegularExpression re(QStringLiteral("^xkb:([^()]+)(?:\\(([^()]*)\\))?$"));
    const auto m = re.match(xkbId);
    if (!m.hasMatch()) return {};
    return {m.captured(1), m.captured(2)};
}

QString machineId() {
    for (const char* path : {"/var/lib/dbus/machine-id", "/etc/machine-id"}) {
        QFile f(QString::fromLatin1(path));
        if (f.open(QIODevice::ReadOnly)) {
            const QString id = QString::fromLatin1(f.readAll()).trimmed();
            if (!id.isEmpty()) return id;
        }
    }
    return {};
}

class DbusLayoutSwitch : public LayoutSwitch {
public:
    explicit DbusLayoutSwitch(LayoutOwner owner) : owner_(owner) {}
    LayoutOwner owner() const override { return owner_; }

    bool select(int group, const QString& xkbId, std::function<void()> fallback) override {
        QDBusMessage call;
        QDBusConnection bus = QDBusConnection::sessionBus();
        switch (owner_) {
        case LayoutOwner::KdeKeyboard:
            call = QDBusMessage::createMethodCall(QStringLiteral("org.kde.keyboard"), QStringLiteral("/Layouts"),
                                                  QStringLiteral("org.kde.KeyboardLayouts"), QStringLiteral("setLayout"));
            call << uint(group);
            break;
        case LayoutOwner::GnomeShell:
            // The shell's own input-source list follows the XKB groups for keyboard layouts.
            call = QDBusMessage::createMethodCall(QStringLiteral("org.gnome.Shell"), QStringLiteral("/org/gnome/Shell"),
                                                  QStringLiteral("org.gnome.Shell"), QStringLiteral("Eval"));
            call << QStringLiteral("imports.ui.status.keyboard.getInputSourceManager().inputSources[%1].activate()")
                        .arg(group);
            break;
        case LayoutOwner::Fcitx5: {
            const QString im = fcitxInputMethodFor(xkbId);
            if (im.isEmpty()) return false;
            call = QDBusMessage::createMethodCall(QStringLiteral("org.fcitx.Fcitx5"), QStringLiteral("/controller"),
                                                  QStringLiteral("org.fcitx.Fcitx.Controller1"),
                                                  QStringLiteral("SetCurrentIM"));
            call << im;
            break;
        }
        case LayoutOwner::IBus: {
            const QString engine = ibusEngineFor(xkbId);
            if (engine.isEmpty()) return false;
            bus = QDBusConnection::connectToBus(ibusAddress(), IBUS_CONNECTION);
            if (!bus.isConnected()) return false;
            call = QDBusMessage::createMethodCall(QStringLiteral("org.freedesktop.IBus"),
                                                  QStringLiteral("/org/freedesktop/IBus"),
                                                  QStringLiteral("org.freedesktop.IBus"),
                                                  QStringLiteral("SetGlobalEngine"));
            call << engine;
            break;
        }
        case LayoutOwner::Xkb: return false;
        }
        // Owned by the switch: a reply after the switch is gone goes nowhere.
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, CALL_TIMEOUT_MS), &calls_);
        const LayoutOwner owner = owner_;
        QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                         [this, owner, fallback = std::move(fallback)](QDBusPendingCallWatcher* w) {
                             w->deleteLater();
                             const QDBusMessage reply = w->reply();
                             QString refusal;
                             if (reply.type() == QDBusMessage::ErrorMessage) refusal = reply.errorMessage();
                             else if (!refusedBy(owner, reply).isEmpty()) refusal = refusedBy(owner, reply);
                             if (refusal.isEmpty()) return;
                             if (!refusedOnce_) {
                                 refusedOnce_ = true;
                                 qWarning("input sources: %s refused the layout switch (%s); locking the XKB group "
                                          "instead, which it may undo",
                                          qPrintable(layoutOwnerName(owner)), qPrintable(refusal));
                             }
                             if (fallback) fallback();
                         });
        return true;
    }

private:
    // A reply that came but says no.
    static QString refusedBy(LayoutOwner owner, const QDBusMessage& reply) {
        const QList<QVariant> args = reply.arguments();
        if (owner == LayoutOwner::GnomeShell && (args.isEmpty() || !args.first().toBool()))
            return QStringLiteral("Eval is closed");
        if (owner == LayoutOwner::KdeKeyboard && !args.isEmpty() && !args.first().toBool())
            return QStringLiteral("no such layout");
        return {};
    }

    LayoutOwner owner_;
    bool refusedOnce_ = false;
    QObject calls_;
};

}  // namespace

QString layoutOwnerName(LayoutOwner owner) {
    switch (owner) {
    case LayoutOwner::Xkb: return QStringLiteral("XKB");
    case LayoutOwner::Fcitx5: return QStringLiteral("fcitx5");
    case LayoutOwner::GnomeShell: return QStringLiteral("GNOME Shell");
    case LayoutOwner::KdeKeyboard: return QStringLiteral("KDE keyboard service");
    case LayoutOwner::IBus: return QStringLiteral("IBus");
    }
    return {};
}

LayoutOwner chooseLayoutOwner(const LayoutOwnerProbe& probe) {
    const auto has = [&](const char* name) { return probe.sessionHasName && probe.sessionHasName(QLatin1String(name)); };
    if (has("org.fcitx.Fcitx5")) return LayoutOwner::Fcitx5;
    if (has("org.gnome.Shell")) return LayoutOwner::GnomeShell;
    if (has("org.kde.keyboard")) return LayoutOwner::KdeKeyboard;
    if (probe.ibusRuns && probe.ibusRuns()) return LayoutOwner::IBus;
    return LayoutOwner::Xkb;
}

LayoutOwnerProbe sessionProbe() {
    LayoutOwnerProbe probe;
    probe.sessionHasName = [](const QString& name) {
        QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
        return bus && bus->isServiceRegistered(name).value();
    };
    probe.ibusRuns = [] {
        const QString address = ibusAddress();
        return !address.isEmpty() && QDBusConnection::connectToBus(address, IBUS_CONNECTION).isConnected();
    };
    return probe;
}

QString ibusAddress() {
    const QString fromEnv = qEnvironmentVariable("IBUS_ADDRESS");
    if (!fromEnv.isEmpty()) return fromEnv;
    // "host:display.screen"; a local display has the host "unix" in the file's name.
    static const QRegularExpression display(QStringLiteral("^([^:]*):(\\d+)"));
    const auto m = display.match(qEnvironmentVariable("DISPLAY"));
    const QString id = machineId();
    if (!m.hasMatch() || id.isEmpty()) return {};
    const QString host = m.captured(1).isEmpty() ? QStringLiteral("unix") : m.captured(1);
    const QString file = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                         QStringLiteral("/ibus/bus/") + id + QLatin1Char('-') + host + QLatin1Char('-') + m.captured(2);
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly)) return {};
    QString address;
    qint64 pid = 0;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith(QLatin1String("IBUS_ADDRESS="))) address = line.mid(13);
        if (line.startsWith(QLatin1String("IBUS_DAEMON_PID="))) pid = line.mid(16).toLongLong();
    }
    // A file left behind by a daemon that is gone.
    if (pid > 0 && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH) return {};
    return address;
}

QString ibusEngineFor(const QString& xkbId) {
    const auto [layout, variant] = layoutAndVariant(xkbId);
    // IBus names its keyboard engines with the layout's language.
    static const QHash<QString, QString> languages{
        {QStringLiteral("us"), QStringLiteral("eng")}, {QStringLiteral("gb"), QStringLiteral("eng")},
        {QStringLiteral("ru"), QStringLiteral("rus")}, {QStringLiteral("ua"), QStringLiteral("ukr")},
        {QStringLiteral("by"), QStringLiteral("bel")}, {QStringLiteral("de"), QStringLiteral("ger")},
        {QStringLiteral("fr"), QStringLiteral("fra")},
    };
    const QString lang = languages.value(layout);
    if (lang.isEmpty()) return {};
    return QStringLiteral("xkb:%1:%2:%3").arg(layout, variant, lang);
}

QString fcitxInputMethodFor(const QString& xkbId) {
    const auto [layout, variant] = layoutAndVariant(xkbId);
    if (layout.isEmpty()) return {};
    return QStringLiteral("keyboard-") + layout + (variant.isEmpty() ? QString() : QLatin1Char('-') + variant);
}

std::unique_ptr<LayoutSwitch> makeLayoutSwitch(LayoutOwner owner) {
    if (owner == LayoutOwner::Xkb) return nullptr;
    return std::make_unique<DbusLayoutSwitch>(owner);
}

}  // namespace murmelo::linuxdesktop
