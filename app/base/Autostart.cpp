#include "base/Autostart.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "platform/Folders.h"
#include "platform/LoginItem.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace murmelo::Autostart {
namespace {

QString onOff(bool on) { return on ? QStringLiteral("вкл") : QStringLiteral("выкл"); }

// Turning the legacy entry on and off is its "Hidden" key, which every desktop's
// autostart honours; the rest of the file is kept as it is.
void setLegacyEntryEnabled(bool on) {
    QFile in(legacyPlistPath());
    if (!in.open(QIODevice::ReadOnly)) return;
    QList<QByteArray> lines = in.readAll().split('\n');
    in.close();
    if (!lines.isEmpty() && lines.last().isEmpty()) lines.removeLast();
    QList<QByteArray> out;
    bool inGroup = false, written = false;
    const QByteArray hidden = on ? "Hidden=false" : "Hidden=true";
    auto writeHidden = [&] {
        if (!written) out << hidden;
        written = true;
    };
    for (const QByteArray& line : lines) {
        const QByteArray t = line.trimmed();
        if (t.startsWith('[')) {
            if (inGroup) writeHidden();
            inGroup = t == "[Desktop Entry]";
        } else if (inGroup && t.startsWith("Hidden") && t.mid(6).trimmed().startsWith('=')) {
            writeHidden();
            continue;
        }
        out << line;
    }
    if (inGroup) writeHidden();
    QSaveFile f(legacyPlistPath());
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(out.join('\n') + '\n');
    f.commit();
}

}  // namespace

QString legacyPlistPath() { return Folders::join(Folders::autostart(), QString::fromLatin1(LEGACY_ENTRY_NAME)); }
QString backupPath() { return legacyPlistPath() + QStringLiteral(".pre-smappservice"); }
bool isLegacyMode() { return QFileInfo::exists(legacyPlistPath()); }

bool isEnabled() {
    if (isLegacyMode()) {
        const QString key = QString::fromLatin1(SWITCH_KEY);
        return Defaults::shared().object(key) ? Defaults::shared().boolValue(key) : true;
    }
    return LoginItem::shared().status() == LoginItem::Status::enabled;
}

void setEnabled(bool on) {
    if (isLegacyMode()) {
        Defaults::shared().set(QString::fromLatin1(SWITCH_KEY), on);
        setLegacyEntryEnabled(on);
        logLine(QStringLiteral("автозапуск (легаси): ") + onOff(on));
        return;
    }
    LoginItem& item = LoginItem::shared();
    if (!on) {
        if (auto error = item.unregisterItem()) {
            logLine(QStringLiteral("автозапуск (XDG autostart) ошибка: ") + *error);
            return;
        }
        logLine(QStringLiteral("автозапуск (XDG autostart): выкл"));
        return;
    }
    if (auto error = item.registerItem()) {
        logLine(QStringLiteral("автозапуск (XDG autostart) ошибка: ") + *error);
        return;
    }
    if (item.status() == LoginItem::Status::requiresApproval) {
        item.openSystemSettingsLoginItems();
        logLine(QStringLiteral("автозапуск: ждёт разрешения в Системных настройках → Логин"));
    } else {
        logLine(QStringLiteral("автозапуск (XDG autostart): вкл"));
    }
}

bool isBlanketKeepAlive(const QMap<QString, QString>& entry) {
    return entry.value(QStringLiteral("X-GNOME-AutoRestart")) == QStringLiteral("true");
}

bool legacyHasBlanketKeepAlive() {
    const auto entry = LoginItem::readDesktopEntry(legacyPlistPath());
    return entry && isBlanketKeepAlive(*entry);
}

Migration migrateFromLegacy() {
    Migration m;
    const QString legacy = legacyPlistPath();
    const QString backup = backupPath();
    if (!QFileInfo::exists(legacy)) {
        m.output << QStringLiteral("миграция не нужна: легаси-агента (") + legacy + QStringLiteral(") нет");
        return m;
    }
    // The user's choice in legacy mode: the switch, else the entry's own "Hidden".
    const QString key = QString::fromLatin1(SWITCH_KEY);
    bool wasOn = Defaults::shared().object(key) ? Defaults::shared().boolValue(key) : true;
    if (!Defaults::shared().object(key)) {
        const auto entry = LoginItem::readDesktopEntry(legacy);
        if (entry && entry->value(QStringLiteral("Hidden")) == QStringLiteral("true")) wasOn = false;
    }
    // Set aside under a name the desktop's autostart does not run.
    QFile::remove(backup);
    QFile file(legacy);
    if (!file.rename(backup)) {
        m.output << QStringLiteral("не смог отложить легаси-плист: ") + file.errorString();
        return m;
    }
    // Nothing to stop: an autostart entry only runs at login. A user who had it off keeps
    // it off: nothing is registered.
    if (!wasOn) {
        m.output << QStringLiteral("готово: автозапуск был выключен и остаётся выключенным; легаси отложен в ") + backup;
        logLine(QStringLiteral("автозапуск мигрирован: легаси → XDG autostart (выкл, как было)"));
        m.migrated = true;
        return m;
    }
    LoginItem& item = LoginItem::shared();
    if (auto error = item.registerItem()) {
        QFile::rename(backup, legacy);
        m.output << QStringLiteral("XDG autostart не зарегистрировался (") + *error +
                        QStringLiteral(") — легаси возвращён на место");
        return m;
    }
    if (item.status() == LoginItem::Status::requiresApproval) {
        item.openSystemSettingsLoginItems();
        m.output << QStringLiteral("осталось разрешить Ondrix в настройках автозапуска рабочего стола (окно открыто)");
    }
    m.output << QStringLiteral("готово: автозапуск теперь через XDG autostart; легаси отложен в ") + backup;
    logLine(QStringLiteral("автозапуск мигрирован: легаси → XDG autostart"));
    m.migrated = true;
    return m;
}

CommandResult runMigrateAutostart() {
    const bool needed = isLegacyMode();
    const Migration m = migrateFromLegacy();
    CommandResult r;
    for (const QString& line : m.output) r.output += line + '\n';
    // A migration that was needed and failed is not reported as success.
    r.exitStatus = (!needed || m.migrated) ? 0 : 1;
    return r;
}

}  // namespace murmelo::Autostart
