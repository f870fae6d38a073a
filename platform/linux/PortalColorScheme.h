#pragma once
#include "platform/ColorScheme.h"

#include <QDBusVariant>
#include <QObject>

namespace murmelo::linuxdesktop {

// The desktop portal's "org.freedesktop.appearance" "color-scheme" on the session bus
// (1 prefers dark, 2 prefers light, 0 no preference), followed through its SettingChanged
// signal. Qt 6.4 has no colour-scheme interface of its own.
class PortalColorScheme : public QObject, public ColorScheme {
    Q_OBJECT
public:
    std::optional<bool> prefersDark() override;
    void setChangeHandler(std::function<void()> handler) override;

    // The portal's value as a preference; nothing for "no preference" and unknown values.
    static std::optional<bool> fromPortalValue(uint value);

private slots:
    void settingChanged(const QString& ns, const QString& key, const QDBusVariant& value);

private:
    std::function<void()> handler_;
    bool connected_ = false;
};

}  // namespace murmelo::linuxdesktop
