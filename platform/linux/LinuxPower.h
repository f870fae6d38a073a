#pragma once
#include "platform/Power.h"

#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <map>

namespace murmelo::linuxdesktop {

// Power management through logind on the system bus: every hold is an inhibitor lock, a
// file descriptor that logind honours while it is open, so nothing needs root and nothing
// outlives the process. The battery comes from the kernel's power-supply folder and the
// lid from the ACPI button folder. The bus is reached on first use, not at construction.
class LinuxPower : public QObject, public Power {
    Q_OBJECT
public:
    explicit LinuxPower(QString powerSupplyDir = QStringLiteral("/sys/class/power_supply"),
                        QString lidDir = QStringLiteral("/proc/acpi/button/lid"));

    int createAssertion(PowerAssertionType type, const QString& name, quint32& id) override;
    void releaseAssertion(quint32 id) override;
    bool setSleepLock(bool on) override;
    std::optional<bool> sleepDisabled() override;
    std::optional<bool> lidClosed() override;
    std::optional<bool> lidCausesSleep() override;
    std::optional<PowerSourceState> powerSource() override;
    void setSleepHandlers(std::function<void()> willSleep, std::function<void()> didWake) override;
    // The inhibitor kinds each hold asks logind for.
    static QString inhibitWhat(PowerAssertionType type);
    static QString sleepLockWhat() { return QStringLiteral("sleep:idle:handle-lid-switch"); }

protected:
    void wakeObserversChanged() override;

private slots:
    void onPrepareForSleep(bool start);

private:
    void subscribe();

private:
    // An open inhibitor, or an invalid descriptor with the reason in error.
    QDBusUnixFileDescriptor inhibit(const QString& what, const QString& why, QString* error);

    QString powerSupplyDir_;
    QString lidDir_;
    std::map<quint32, QDBusUnixFileDescriptor> held_;
    quint32 nextId_ = 1;
    QDBusUnixFileDescriptor sleepLock_;
    bool subscribed_ = false;
    std::function<void()> willSleep_;
    std::function<void()> didWake_;
};

}  // namespace murmelo::linuxdesktop
