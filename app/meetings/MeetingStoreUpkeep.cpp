// Retention of meeting audio, the move out of the older flat layout, and the start-up run.
#include "meetings/MeetingStore.h"

#include "base/Defaults.h"
#include "base/Format.h"
#include "base/Log.h"
#include "meetings/MeetingsSeam.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QThreadPool>
#include <QTimeZone>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace murmelo::MeetingStore {
namespace {

std::mutex g_recordingMutex;
std::optional<QString> g_recording;

// A folder that a migration began: holds the stamp of its group until the record is written,
// so that a retry finishes the same folder instead of starting a second one.
const QString kMigrationMark = QStringLiteral(".migration");

QString readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// The length of a meeting WAV file: 16-bit mono at 16 kHz after a 44-byte header.
double wavSeconds(const QString& path) {
    QFileInfo info(path);
    if (!info.exists() || info.size() < 45) return 0;
    return double(info.size() - 44) / 32000.0;
}

}  // namespace

int audioDays() {
    const auto value = Defaults::shared().object(QStringLiteral("meetingAudioDays"));
    if (!value) return 30;
    switch (value->typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
    case QMetaType::UInt:
    case QMetaType::ULongLong: {
        const qint64 n = value->toLongLong();
        return n < INT_MIN ? INT_MIN : n > INT_MAX ? INT_MAX : int(n);
    }
    case QMetaType::Double: {
        const double d = value->toDouble();
        if (d == double(qint64(d)) && d >= INT_MIN && d <= INT_MAX) return int(d);
        return 30;
    }
    default:
        return 30;
    }
}

bool shouldDropAudio(bool hasTranscript, double ageDays, int keepDays) {
    return hasTranscript && keepDays >= 0 && ageDays >= keepDays;
}

void setRecordingFolder(std::optional<QString> path) {
    std::lock_guard lock(g_recordingMutex);
    g_recording = std::move(path);
}

bool isRecording(const Folder& folder) {
    std::lock_guard lock(g_recordingMutex);
    return g_recording && QFileInfo(*g_recording).absoluteFilePath() == QFileInfo(folder.url).absoluteFilePath();
}

qint64 sweep(const QString& in, const QDateTime& now, std::optional<int> keepDays) {
    const int period = keepDays ? *keepDays : audioDays();
    qint64 freed = 0;
    for (const Folder& folder : all(in)) {
        if (!folder.hasAudio()) continue;
        // The recorder is still writing these files.
        if (isRecording(folder)) continue;
        QDateTime start = now;
        if (const auto meta = read(folder)) {
            start = meta->started;
        } else if (const QDateTime born = QFileInfo(folder.url).birthTime(); born.isValid()) {
            start = born;
        }
        const double ageDays = double(start.msecsTo(now)) / 1000.0 / 86400.0;
        if (!shouldDropAudio(folder.hasTranscript(), ageDays, period)) continue;
        const qint64 bytes = folder.audioBytes();
        QFile::remove(folder.mic());
        QFile::remove(folder.system());
        if (auto meta = read(folder)) {
            meta->audioRemoved = true;
            write(*meta, folder);
        }
        freed += bytes;
        logLine(formatSpec(QStringLiteral("встреча/уборка: аудио «%@» удалено по сроку (%.0f дней, освободилось %.1f МБ)"),
                           {folder.name(), ageDays, double(bytes) / 1048576.0}));
    }
    return freed;
}

QMap<qint64, QMap<QString, QString>> legacyGroups(const QStringList& names) {
    static const std::pair<QString, QString> suffixes[] = {
        {QStringLiteral("-mic.wav"), MIC},
        {QStringLiteral("-system.wav"), SYSTEM},
        {QStringLiteral(".md"), TRANSCRIPT},
    };
    QMap<qint64, QMap<QString, QString>> groups;
    for (const QString& name : names) {
        if (!name.startsWith(QStringLiteral("meeting-"))) continue;
        const QString rest = name.mid(8);
        for (const auto& [suffix, target] : suffixes) {
            if (!rest.endsWith(suffix)) continue;
            const QString stampText = rest.chopped(suffix.size());
            bool ok = false;
            const qint64 stamp = stampText.toLongLong(&ok, 10);
            if (!stampText.isEmpty() && ok) groups[stamp][target] = name;
            break;
        }
    }
    return groups;
}

void leavePointer(const QString& legacy, const QString& to) {
    const QString text = QStringLiteral("Записи встреч переехали 09.08.2026:\n") + to + QStringLiteral("\n\n") +
                         QStringLiteral("Причина: Logs - каталог расходных файлов, его чистят и ротируют, ") +
                         QStringLiteral("а записи разговоров это данные.\n");
    QSaveFile file(Folders::join(legacy, POINTER_FILE));
    if (file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size()) file.commit();
}

int migrate(const QString& from, const QString& to) {
    const QStringList names = QDir(from).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::Name);
    if (names.isEmpty()) return 0;
    const auto groups = legacyGroups(names);
    if (groups.isEmpty()) return 0;
    Folders::makePrivateFolder(to);
    int moved = 0;
    for (auto group = groups.begin(); group != groups.end(); ++group) {
        const QDateTime date = QDateTime::fromSecsSinceEpoch(group.key(), QTimeZone::utc());
        const QString stamp = QString::number(group.key());
        const QString base = stampText(date);
        // A folder an earlier attempt left half filled is finished, not doubled.
        QString name;
        for (const Folder& earlier : all(to)) {
            const QString n = earlier.name();
            if ((n == base || n.startsWith(base + QStringLiteral(" ("))) &&
                readAll(earlier.file(kMigrationMark)) == stamp) {
                name = n;
                break;
            }
        }
        if (name.isEmpty()) {
            name = unique(base, [&](const QString& n) { return QFileInfo::exists(Folders::join(to, n)); });
            const QString path = Folders::join(to, name);
            if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0) continue;
            if (!writePrivateFile(Folders::join(path, kMigrationMark), stamp.toUtf8())) continue;
        }
        const Folder folder(Folders::join(to, name));
        bool complete = true;
        for (auto file = group->begin(); file != group->end(); ++file) {
            QFile legacyFile(Folders::join(from, file.value()));
            if (!legacyFile.rename(folder.file(file.key()))) {
                logLine(QStringLiteral("⚠ встреча/переезд: ") + file.value() + QStringLiteral(" не перенёсся - ") +
                        legacyFile.errorString());
                complete = false;
            }
        }
        if (!complete) continue;
        Meta meta(date, std::nullopt);
        meta.seconds = wavSeconds(folder.mic());
        // Read from the folder: a retried group holds only what the first attempt left behind.
        meta.transcribed = folder.hasTranscript();
        meta.micOnly = !QFileInfo::exists(folder.system());
        write(meta, folder);
        QFile::remove(folder.file(kMigrationMark));
        ++moved;
    }
    if (moved > 0) {
        logLine(QStringLiteral("встреча/переезд: перенесено записей ") + QString::number(moved) +
                QStringLiteral(", новое место ") + to);
        leavePointer(from, to);
    }
    return moved;
}

void maintain(const QString& rootPath, const QString& legacyPath) {
    Folders::makePrivateFolder(rootPath);
    migrate(legacyPath, rootPath);
    sweep(rootPath, Clock::shared().now());
    const QList<Folder> pending = orphans(rootPath);
    if (pending.isEmpty()) return;
    QStringList names;
    for (const Folder& f : pending) names << f.name();
    logLine(QStringLiteral("встреча: записей без расшифровки ") + QString::number(pending.size()) + QStringLiteral(" - ") +
            names.join(QStringLiteral(", ")));
    // The recovery transcribes for minutes: it runs off the main thread, once the launch is over.
    MainQueue::shared().post([run = MeetingsSeam::shared().meetingRecoveryRun] {
        MainQueue::shared().after(RECOVERY_DELAY_SECONDS, [run] {
            QThreadPool::globalInstance()->start([run] { run(RECOVERY_AUTO_LIMIT); });
        });
    });
}

void startupMaintenance() {
    if (!Log::isApp()) return;
    maintain(root(), legacyRoot());
}

}  // namespace murmelo::MeetingStore
