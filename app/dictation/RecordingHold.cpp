#include "dictation/RecordingHold.h"

#include "base/Decimal.h"
#include "base/Defaults.h"
#include "base/Log.h"
#include "dictation/Recorder.h"
#include "dictation/Recordings.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <algorithm>
#include <cstdio>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {
namespace RecordingHold {
namespace {

struct Janitor {
    bool started = false;
    TimerHandle timer;
    quint64 generation = 0;
};

Janitor& janitor() {
    static Janitor j;
    return j;
}

bool isHeldName(const QString& name) { return name.startsWith(prefix) && name.endsWith(QStringLiteral(".wav")); }

QStringList heldNames(const QString& folder) {
    QDir dir(folder);
    if (!dir.exists()) return {};
    QStringList out;
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot))
        if (isHeldName(name)) out << name;
    return out;
}

// Only regular files are ours: a link planted under a held name is neither followed nor
// deleted through.
std::optional<qint64> mtimeOf(const QByteArray& path) {
    struct stat st {};
    if (lstat(path.constData(), &st) != 0 || !S_ISREG(st.st_mode)) return std::nullopt;
    return qint64(st.st_mtime);
}

void schedule(quint64 generation) {
    janitor().timer = MainQueue::shared().after(JANITOR_INTERVAL, [generation] {
        if (janitor().generation != generation) return;
        sweep(tmpDir(), Clock::shared().now(), seconds());
        schedule(generation);
    });
}

}  // namespace

QString tmpDir() { return Folders::temporary(); }

double seconds() {
    const auto stored = Defaults::shared().object(KEY);
    if (!stored) return defaultSeconds;
    const QMetaType::Type type = QMetaType::Type(stored->typeId());
    const bool number = type == QMetaType::Int || type == QMetaType::LongLong || type == QMetaType::Double ||
                        type == QMetaType::UInt || type == QMetaType::ULongLong;
    if (!number) return defaultSeconds;
    const double window = stored->toDouble();
    if (!(window > 0)) return 0.0;
    // The window is logged in whole seconds.
    if (!wholeInt64(window)) {
        Defaults::shared().noteOutOfRange(KEY);
        return defaultSeconds;
    }
    return window;
}

QString heldName(const QString& recording) {
    QString base = QFileInfo(recording).completeBaseName();
    if (base.startsWith(Recorder::FILE_PREFIX)) base = base.mid(Recorder::FILE_PREFIX.size());
    return prefix + base + QStringLiteral(".wav");
}

std::optional<QString> hold(const QString& recording, const QString& folder, std::optional<double> window) {
    if (window.value_or(seconds()) <= 0) return std::nullopt;
    if (!QFileInfo::exists(recording)) return std::nullopt;
    const QString target = Folders::join(folder, heldName(recording));
    const QByteArray from = QFile::encodeName(recording);
    const QByteArray to = QFile::encodeName(target);
    // A rename moves within the folder's file system and keeps the modification time the
    // window counts from; it replaces an older held file of the same name at once.
    if (::rename(from.constData(), to.constData()) != 0) return std::nullopt;
    ::chmod(to.constData(), 0600);
    return target;
}

QStringList held(const QString& folder) {
    QList<std::pair<qint64, QString>> files;
    for (const QString& name : heldNames(folder)) {
        const QString path = Folders::join(folder, name);
        files.append({mtimeOf(QFile::encodeName(path)).value_or(std::numeric_limits<qint64>::min()), path});
    }
    std::stable_sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
    QStringList out;
    for (const auto& f : files) out << f.second;
    return out;
}

int sweep(const QString& folder, const QDateTime& now, double window) {
    const double limit = double(now.toMSecsSinceEpoch()) / 1000.0 - window;
    int count = 0;
    for (const QString& name : heldNames(folder)) {
        const QByteArray path = QFile::encodeName(Folders::join(folder, name));
        const auto mtime = mtimeOf(path);
        if (!mtime) continue;
        if (double(*mtime) < limit) {
            ::unlink(path.constData());
            ++count;
        }
    }
    return count;
}

void startJanitor() {
    Janitor& j = janitor();
    if (j.started) return;
    j.started = true;
    const double window = seconds();
    const int swept = sweep(tmpDir(), Clock::shared().now(), window);
    if (swept > 0)
        logLine(QStringLiteral("записи: подметено ") + QString::number(swept) + QStringLiteral(" удержанных дольше ") +
                QString::number(qint64(window)) + QStringLiteral(" с (окно отката)"));
    schedule(j.generation);
}

void resetForTesting() {
    Janitor& j = janitor();
    j.timer.cancel();
    j.timer.reset();
    j.started = false;
    ++j.generation;
}

}  // namespace RecordingHold

std::optional<QString> settleRecording(const QString& recording) {
    if (Recordings::keepEnabled())
        if (auto kept = Recordings::keep(recording)) return kept;
    if (auto held = RecordingHold::hold(recording)) return held;
    QFile::remove(recording);
    return std::nullopt;
}

}  // namespace murmelo
