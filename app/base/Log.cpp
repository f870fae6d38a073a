#include "base/Log.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "platform/RunningApplication.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cerrno>
#include <fcntl.h>
#include <mutex>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {
namespace {

struct Paths {
    QString appDir, appPath, dir, path, rotated, legacy;
    bool isApp = false;
};

std::mutex g_pathsMutex;
std::unique_ptr<Paths> g_paths;
std::mutex g_lock;  // Log.lock: every write to a log file of ours
bool g_prepared = false;

const Paths& paths() {
    std::lock_guard lock(g_pathsMutex);
    if (!g_paths) {
        auto p = std::make_unique<Paths>();
        p->appDir = Folders::join(Folders::userLogs(), "Murmelo");
        p->appPath = Folders::join(p->appDir, "murmelo.log");
        p->isApp = RunningApplication::shared().bundleIdentifier() == QStringLiteral("com.local.murmelo");
        p->dir = p->isApp ? p->appDir : Folders::temporary();
        p->path = p->isApp ? p->appPath : Folders::join(Folders::temporary(), "murmelo-tests.log");
        p->rotated = p->path + ".1";
        p->legacy = Folders::join(Folders::temporary(), "murmelo.log");
        g_paths = std::move(p);
    }
    return *g_paths;
}

QByteArray native(const QString& p) { return QFile::encodeName(p); }

// Called with g_lock held.
void prepare() {
    if (g_prepared) return;
    g_prepared = true;
    const Paths& p = paths();
    QDir().mkpath(p.dir);
    // Narrow only the application's own log folder, and only when it is a folder of ours:
    // never a file or link standing in its place, nor the shared temporary folder.
    struct stat st {};
    if (p.isApp && ::lstat(native(p.dir).constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid())
        ::chmod(native(p.dir).constData(), 0700);
    const QByteArray file = native(p.path);
    if (::access(file.constData(), F_OK) == 0) {
        ::chmod(file.constData(), 0600);
    } else {
        int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd >= 0) ::close(fd);
    }
}

bool writeAll(int fd, const QByteArray& bytes) {
    const char* d = bytes.constData();
    qsizetype left = bytes.size();
    while (left > 0) {
        ssize_t n = ::write(fd, d, size_t(left));
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        d += n;
        left -= n;
    }
    return true;
}

void createEmpty0600(const QByteArray& file) {
    int fd = ::open(file.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd >= 0) {
        ::fchmod(fd, 0600);
        ::close(fd);
    }
}

QString timeOfDay() { return Clock::shared().now().toString(QStringLiteral("HH:mm:ss")); }

}  // namespace

namespace Log {

QString appDir() { return paths().appDir; }
QString appPath() { return paths().appPath; }
bool isApp() { return paths().isApp; }
QString dir() { return paths().dir; }
QString path() { return paths().path; }
QString rotatedPath() { return paths().rotated; }
QString legacyPath() { return paths().legacy; }

bool userTextEnabled() {
    auto v = Defaults::shared().realBool(QString::fromLatin1(userTextKey));
    return v.value_or(false);
}

void write(const QString& line) {
    const QByteArray bytes = line.toUtf8();
    std::lock_guard lock(g_lock);
    prepare();
    const Paths& p = paths();
    const QByteArray file = native(p.path);
    const QByteArray rotated = native(p.rotated);
    // O_APPEND keeps lines of several processes writing one log from overwriting each
    // other; the advisory lock keeps their rotations from racing.
    for (int attempt = 0; attempt < 2; ++attempt) {
        int fd = ::open(file.constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
        if (fd < 0) {
            if (errno != ENOENT) return;
            // The file was removed while we run: the line becomes its whole content.
            QSaveFile f(p.path);
            if (f.open(QIODevice::WriteOnly)) {
                f.write(bytes);
                f.commit();
            }
            ::chmod(file.constData(), 0600);
            return;
        }
        ::flock(fd, LOCK_EX);
        struct stat byFd {}, byPath {};
        if (::fstat(fd, &byFd) != 0) {
            ::close(fd);
            return;
        }
        if (::stat(file.constData(), &byPath) != 0 || byPath.st_ino != byFd.st_ino || byPath.st_dev != byFd.st_dev) {
            // Another process rotated between our open and our lock: write to the new file.
            ::close(fd);
            continue;
        }
        bool ok = writeAll(fd, bytes);
        struct stat after {};
        if (ok && ::fstat(fd, &after) == 0 && quint64(after.st_size) > rotateAt) {
            ::unlink(rotated.constData());
            ::rename(file.constData(), rotated.constData());
            createEmpty0600(file);
        }
        ::close(fd);  // releases the lock
        return;
    }
}

QString sidecarPath(const QString& name) { return Folders::join(dir(), name); }

void prepareSidecar(const QString& sidecar) {
    std::lock_guard lock(g_lock);
    prepare();
    const QByteArray file = native(sidecar);
    struct stat st {};
    if (::stat(file.constData(), &st) == 0 && quint64(st.st_size) > rotateAt) ::unlink(file.constData());
    if (::access(file.constData(), F_OK) == 0) ::chmod(file.constData(), 0600);
    else createEmpty0600(file);
}

void markSidecar(const QString& sidecar, const QString& note) {
    const QString stamp = Clock::shared().now().toString(QStringLiteral("dd.MM HH:mm:ss"));
    const QByteArray header = (QStringLiteral("\n=== ") + stamp + ' ' + note + QStringLiteral(" ===\n")).toUtf8();
    std::lock_guard lock(g_lock);
    int fd = ::open(native(sidecar).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    writeAll(fd, header);
    ::close(fd);
}

void leaveTrailAtLegacyPath() {
    const QString legacy = legacyPath();
    if (!QFileInfo::exists(legacy)) return;
    const QString note = QStringLiteral("лог переехал: ") + path();
    QFile in(legacy);
    if (in.open(QIODevice::ReadOnly)) {
        const QString text = QString::fromUtf8(in.readAll());
        if (text.right(400).contains(note)) return;
        in.close();
    }
    int fd = ::open(native(legacy).constData(), O_WRONLY | O_APPEND | O_CLOEXEC);
    if (fd < 0) return;
    writeAll(fd, (timeOfDay() + ' ' + note + '\n').toUtf8());
    ::close(fd);
}

void resetForTesting() {
    std::lock_guard lock(g_lock);
    std::lock_guard plock(g_pathsMutex);
    g_paths.reset();
    g_prepared = false;
}

}  // namespace Log

void logLine(const QString& message) { Log::write(timeOfDay() + ' ' + message + '\n'); }

void logTrace(const std::function<QString()>& build) {
    if (!Log::userTextEnabled()) return;
    logLine(build());
}

QString priv(const QString& text) {
    if (Log::userTextEnabled()) return '[' + text + ']';
    // Characters and words are counted over user-perceived characters: a CR LF pair is one
    // character and, not being a bare line feed, no word separator.
    qsizetype chars = 0;
    qsizetype words = 0;
    bool inWord = false;
    for (const QString& g : graphemes(text)) {
        ++chars;
        const bool sep = g == u" " || g == u"\n" || g == u"\t";
        if (!sep && !inWord) ++words;
        inWord = !sep;
    }
    if (words < 2) return QStringLiteral("[%1 симв.]").arg(chars);
    return QStringLiteral("[%1 симв., %2 сл.]").arg(chars).arg(words);
}

QString runningBuildLine() {
    const RunningApplication& app = RunningApplication::shared();
    QStringList parts{app.bundlePath()};
    if (auto built = app.executableModificationTime())
        parts << QStringLiteral("собрана ") + built->toString(QStringLiteral("dd.MM HH:mm"));
    const CodeSignature sig = app.codeSignature();
    QString signature;
    switch (sig.kind) {
    case CodeSignature::Kind::AdHoc: signature = QStringLiteral("ad-hoc (привязана к этому бинарю)"); break;
    case CodeSignature::Kind::Certificate: signature = QStringLiteral("«") + sig.commonName + QStringLiteral("»"); break;
    case CodeSignature::Kind::UnnamedCertificate: signature = QStringLiteral("сертификат без имени"); break;
    case CodeSignature::Kind::None: signature = QStringLiteral("отсутствует"); break;
    case CodeSignature::Kind::Unreadable: signature = QStringLiteral("не прочиталась"); break;
    }
    parts << QStringLiteral("подпись ") + signature;
    return parts.join(QStringLiteral(" · "));
}

}  // namespace murmelo
