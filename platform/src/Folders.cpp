#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcessEnvironment>
#include <mutex>
#include <sys/stat.h>

namespace murmelo::Folders {
namespace {

std::mutex g_mutex;
QString g_root;  // empty: no override

QString envOr(const char* name, const QString& fallback) {
    QByteArray v = qgetenv(name);
    if (!v.isEmpty() && QDir::isAbsolutePath(QString::fromLocal8Bit(v))) return QString::fromLocal8Bit(v);
    return fallback;
}

QString overridden(const char* sub) {
    std::lock_guard lock(g_mutex);
    if (g_root.isEmpty()) return {};
    QString p = join(g_root, QString::fromLatin1(sub));
    QDir().mkpath(p);
    return p;
}

QString realHome() { return QDir::homePath(); }

}  // namespace

QString join(const QString& dir, const QString& component) {
    if (dir.isEmpty()) return component;
    QString d = dir;
    while (d.size() > 1 && d.endsWith('/')) d.chop(1);
    QString c = component;
    while (c.startsWith('/')) c.remove(0, 1);
    if (c.isEmpty()) return d;
    return d == "/" ? "/" + c : d + "/" + c;
}

bool makePrivateFolder(const QString& dir) {
    if (dir.isEmpty()) return false;
    if (QFileInfo(dir).isDir()) return true;
    const QString parent = QFileInfo(dir).absolutePath();
    if (parent != dir) makePrivateFolder(parent);
    // The mode is given at creation, so no other process ever sees the folder wider.
    ::mkdir(QFile::encodeName(dir).constData(), 0700);
    return QFileInfo(dir).isDir();
}

QString home() {
    if (auto o = overridden("home"); !o.isEmpty()) return o;
    return realHome();
}

QString userLogs() {
    if (auto o = overridden("state"); !o.isEmpty()) return o;
    return envOr("XDG_STATE_HOME", join(realHome(), ".local/state"));
}

QString applicationSupport() {
    if (auto o = overridden("data"); !o.isEmpty()) return o;
    return envOr("XDG_DATA_HOME", join(realHome(), ".local/share"));
}

QString caches() {
    if (auto o = overridden("cache"); !o.isEmpty()) return o;
    return envOr("XDG_CACHE_HOME", join(realHome(), ".cache"));
}

QString config() {
    if (auto o = overridden("config"); !o.isEmpty()) return o;
    return envOr("XDG_CONFIG_HOME", join(realHome(), ".config"));
}

QString temporary() {
    if (auto o = overridden("tmp"); !o.isEmpty()) return o;
    return envOr("TMPDIR", "/tmp");
}

QString autostart() { return join(config(), "autostart"); }

QString runtime() {
    if (auto o = overridden("run"); !o.isEmpty()) return o;
    return envOr("XDG_RUNTIME_DIR", temporary());
}

void overrideRoot(const QString& root) {
    std::lock_guard lock(g_mutex);
    g_root = root;
}

void clearOverride() {
    std::lock_guard lock(g_mutex);
    g_root.clear();
}

bool isOverridden() {
    std::lock_guard lock(g_mutex);
    return !g_root.isEmpty();
}

}  // namespace murmelo::Folders
