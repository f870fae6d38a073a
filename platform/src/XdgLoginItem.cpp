#include "XdgLoginItem.h"

#include "platform/Folders.h"
#include "platform/RunningApplication.h"
#include "platform/Service.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

namespace murmelo {

std::optional<QMap<QString, QString>> LoginItem::readDesktopEntry(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) return std::nullopt;
    QMap<QString, QString> entry;
    bool inGroup = false, seen = false;
    for (const QByteArray& raw : f.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith('#')) continue;
        if (line.startsWith('[')) {
            inGroup = line == QStringLiteral("[Desktop Entry]");
            seen = seen || inGroup;
            continue;
        }
        const qsizetype eq = line.indexOf('=');
        if (!inGroup || eq <= 0) continue;
        const QString key = line.left(eq).trimmed();
        if (!key.contains('[')) entry.insert(key, line.mid(eq + 1).trimmed());
    }
    if (!seen) return std::nullopt;
    return entry;
}

QString XdgLoginItem::entryPath() { return Folders::join(Folders::autostart(), QString::fromLatin1(ENTRY_NAME)); }

QString LoginItem::execValue(const QString& program) {
    // Inside double quotes, ", `, $ and \ take a backslash; then the value's own escaping
    // doubles every backslash, and % is doubled for field codes.
    QString quoted;
    for (QChar c : program) {
        if (c == '"' || c == '`' || c == '$' || c == '\\') quoted += '\\';
        quoted += c;
    }
    quoted = '"' + quoted + '"';
    quoted.replace('\\', QStringLiteral("\\\\"));
    quoted.replace('%', QStringLiteral("%%"));
    return quoted;
}

LoginItem::Status XdgLoginItem::status() const {
    const auto entry = readDesktopEntry(entryPath());
    if (!entry || entry->value(QStringLiteral("Hidden")) == QStringLiteral("true") ||
        entry->value(QStringLiteral("X-GNOME-Autostart-enabled")) == QStringLiteral("false"))
        return Status::notRegistered;
    return Status::enabled;
}

std::optional<QString> XdgLoginItem::registerItem() {
    const QString program = RunningApplication::shared().executablePath();
    if (program.isEmpty()) return QStringLiteral("путь к программе неизвестен");
    if (!QDir().mkpath(Folders::autostart())) return QStringLiteral("не создать папку ") + Folders::autostart();
    QSaveFile f(entryPath());
    if (!f.open(QIODevice::WriteOnly)) return f.errorString();
    const QString text = QStringLiteral("[Desktop Entry]\n"
                                        "Type=Application\n"
                                        "Name=Ondrix\n"
                                        "Exec=%1\n"
                                        "Terminal=false\n"
                                        "NoDisplay=true\n"
                                        "X-GNOME-Autostart-enabled=true\n")
                             .arg(execValue(program));
    f.write(text.toUtf8());
    if (!f.commit()) return f.errorString();
    return std::nullopt;
}

std::optional<QString> XdgLoginItem::unregisterItem() {
    QFile f(entryPath());
    if (!f.exists() || f.remove()) return std::nullopt;
    return f.errorString();
}

LoginItem& LoginItem::shared() {
    if (auto* i = installedService<LoginItem>()) return *i;
    static XdgLoginItem xdg;
    return xdg;
}

void LoginItem::install(LoginItem* item) { installService<LoginItem>(item); }

}  // namespace murmelo
