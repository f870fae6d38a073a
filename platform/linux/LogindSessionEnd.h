#pragma once
#include "platform/SessionEnd.h"

#include <QObject>

namespace murmelo::linuxdesktop {

// logind's PrepareForShutdown(true) on the system bus: the machine is about to power off
// or reboot. (A log-out reaches the application as SIGTERM from the session.)
class LogindSessionEnd : public QObject, public SessionEnd {
    Q_OBJECT
public:
    void setHandler(std::function<void(Kind)> handler) override;

private slots:
    void prepareForShutdown(bool starting);

private:
    std::function<void(Kind)> handler_;
    bool connected_ = false;
};

}  // namespace murmelo::linuxdesktop
