#include "linux/LogindSessionEnd.h"

#include <QDBusConnection>

namespace murmelo::linuxdesktop {

void LogindSessionEnd::setHandler(std::function<void(Kind)> handler) {
    handler_ = std::move(handler);
    if (connected_) return;
    // No system bus (a container, a test machine): the notice never comes, which is fine.
    connected_ = QDBusConnection::systemBus().connect(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("PrepareForShutdown"), this,
        SLOT(prepareForShutdown(bool)));
}

void LogindSessionEnd::prepareForShutdown(bool starting) {
    // logind does not say whether it is a reboot or a power-off; both end the session.
    if (starting && handler_) handler_(Kind::shutDown);
}

}  // namespace murmelo::linuxdesktop
