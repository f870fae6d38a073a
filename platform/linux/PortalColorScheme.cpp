#include "linux/PortalColorScheme.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusReply>

namespace murmelo::linuxdesktop {

namespace {

const QString SERVICE = QStringLiteral("org.freedesktop.portal.Desktop");
const QString PATH = QStringLiteral("/org/freedesktop/portal/desktop");
const QString INTERFACE = QStringLiteral("org.freedesktop.portal.Settings");
const QString NAMESPACE = QStringLiteral("org.freedesktop.appearance");
const QString KEY = QStringLiteral("color-scheme");
// The portal answers at once or not at all; start-up must not hang on a stuck bus.
constexpr int READ_TIMEOUT_MS = 500;

// Read wraps the value in one variant more than ReadOne does; unwrap all of them.
QVariant unwrap(QVariant v) {
    while (v.canConvert<QDBusVariant>() && v.userType() == qMetaTypeId<QDBusVariant>())
        v = qvariant_cast<QDBusVariant>(v).variant();
    return v;
}

}  // namespace

std::optional<bool> PortalColorScheme::fromPortalValue(uint value) {
    if (value == 1) return true;
    if (value == 2) return false;
    return std::nullopt;
}

std::optional<bool> PortalColorScheme::prefersDark() {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return std::nullopt;
    QDBusMessage call = QDBusMessage::createMethodCall(SERVICE, PATH, INTERFACE, QStringLiteral("Read"));
    call << NAMESPACE << KEY;
    const QDBusMessage reply = bus.call(call, QDBus::Block, READ_TIMEOUT_MS);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) return std::nullopt;
    const QVariant value = unwrap(reply.arguments().constFirst());
    bool ok = false;
    const uint scheme = value.toUInt(&ok);
    return ok ? fromPortalValue(scheme) : std::nullopt;
}

void PortalColorScheme::setChangeHandler(std::function<void()> handler) {
    handler_ = std::move(handler);
    if (connected_) return;
    connected_ = QDBusConnection::sessionBus().connect(
        SERVICE, PATH, INTERFACE, QStringLiteral("SettingChanged"), this,
        SLOT(settingChanged(QString, QString, QDBusVariant)));
}

void PortalColorScheme::settingChanged(const QString& ns, const QString& key, const QDBusVariant&) {
    if (ns == NAMESPACE && key == KEY && handler_) handler_();
}

}  // namespace murmelo::linuxdesktop
