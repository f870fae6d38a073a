#pragma once
#include "platform/DistributedNotificationCenter.h"

#include <QObject>

class QLocalServer;

namespace murmelo::linuxdesktop {

// Each observer listens on a local socket "<name>.<pid>" in the runtime folder's
// "murmelo-notify"; posting writes the name to every such socket of that name. Sockets
// whose process is gone are removed by the next post.
class LocalSocketNotificationCenter : public QObject, public DistributedNotificationCenter {
    Q_OBJECT
public:
    void post(const QString& name) override;
    void addObserver(const QString& name, std::function<void()> handler) override;

    static QString folder();

private:
    void accept(QLocalServer* server, const QString& name, const std::function<void()>& handler);
};

}  // namespace murmelo::linuxdesktop
