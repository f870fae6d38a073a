#pragma once
#include <QMap>
#include <QString>
#include <optional>

namespace murmelo {

// Starting the application at login. On Linux: an XDG autostart entry,
// $XDG_CONFIG_HOME/autostart/<id>.desktop.
class LoginItem {
public:
    enum class Status { notRegistered = 0, enabled = 1, requiresApproval = 2, notFound = 3 };

    virtual ~LoginItem() = default;
    virtual Status status() const = 0;
    // Each gives the error's description on failure.
    virtual std::optional<QString> registerItem() = 0;
    virtual std::optional<QString> unregisterItem() = 0;
    // Where the user approves login items, on desktops that ask for approval.
    virtual void openSystemSettingsLoginItems() = 0;

    static LoginItem& shared();
    static void install(LoginItem* item);

    // The keys of a desktop entry file's [Desktop Entry] group (unlocalised keys only);
    // nothing when the file is unreadable or has no such group.
    static std::optional<QMap<QString, QString>> readDesktopEntry(const QString& path);
    // The Exec value that runs the program with no arguments, quoted and escaped as a
    // desktop entry requires.
    static QString execValue(const QString& program);
};

}  // namespace murmelo
