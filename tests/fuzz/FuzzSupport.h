#pragma once
#include <QByteArray>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QString>
#include <cstddef>
#include <cstdint>
#include <cstdlib>

// What every fuzz driver shares: a private folder for the files the readers touch, and the
// application object some readers expect.
namespace murmelo::fuzz {

// Points the temporary, configuration, data, state and cache folders at a folder of this run,
// removed at exit, so that no run reads or writes the user's own files. Call before any reader.
inline const QString& root() {
    static const QString folder = [] {
        QByteArray pattern = QFile::encodeName(QDir::tempPath()) + "/murmelo-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern.data());
        if (!made) std::abort();
        const QString path = QFile::decodeName(made);
        for (const char* name : {"TMPDIR", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME", "XDG_CACHE_HOME"})
            setenv(name, made, 1);
        static int argc = 1;
        static char name[] = "murmelo-fuzz";
        static char* argv[] = {name, nullptr};
        static QCoreApplication app(argc, argv);
        std::atexit([] { QDir(QFile::decodeName(getenv("TMPDIR"))).removeRecursively(); });
        return path;
    }();
    return folder;
}

inline QByteArray bytes(const uint8_t* data, size_t size) {
    return QByteArray(reinterpret_cast<const char*>(data), qsizetype(size));
}

inline void writeFile(const QString& path, const QByteArray& content) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate) || f.write(content) != content.size()) std::abort();
}

}  // namespace murmelo::fuzz
