#pragma once
#include <QDateTime>
#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// Every recorded meeting is a folder of its own under one root; this is the one place that
// knows the folder's file names, how folders are named, and the record meta.json. No state
// and no locks: each record is replaced atomically, so a reader never sees half of one.
namespace MeetingStore {

inline const QString META = QStringLiteral("meta.json");
inline const QString TRANSCRIPT = QStringLiteral("transcript.md");
inline const QString NOTES = QStringLiteral("notes.md");
inline const QString SUMMARY = QStringLiteral("summary.md");
inline const QString MIC = QStringLiteral("mic.wav");
inline const QString SYSTEM = QStringLiteral("system.wav");

// One meeting, named by its folder; everything else is computed from the path on each use.
struct Folder {
    QString url;  // the folder's path
    explicit Folder(QString path) : url(std::move(path)) {}

    QString name() const;
    QString file(const QString& fileName) const;
    QString mic() const { return file(MIC); }
    QString system() const { return file(SYSTEM); }
    QString transcript() const { return file(TRANSCRIPT); }
    QString notes() const { return file(NOTES); }
    QString summary() const { return file(SUMMARY); }
    QString metaURL() const { return file(META); }
    bool hasTranscript() const;
    bool hasNotes() const;
    bool hasSummary() const;
    bool hasAudio() const;
    qint64 audioBytes() const;
    bool operator==(const Folder&) const = default;
};

// The meeting record. A key that was present but could not be decoded is written back as it
// was stored as long as the field still holds the default it was read as, so that an
// unreadable "started" never turns into the moment of a later update.
struct Meta {
    int version = 1;
    QDateTime started;
    double seconds = 0;
    std::optional<QString> app;
    bool micOnly = false;
    bool transcribed = false;
    double echoShare = 0;
    bool audioRemoved = false;
    std::optional<QString> otherName;
    QMap<QString, double> voices;
    QMap<QString, QString> voiceNames;
    QMap<QString, QString> recognisedVoices;
    bool announced = false;
    bool notesOffered = false;
    bool notesCreated = false;
    bool summaryCreated = false;
    QStringList nameCandidates;
    std::optional<QString> title;

    Meta() = default;
    Meta(QDateTime startedAt, std::optional<QString> appName);

    QJsonObject toJson() const;
    static std::optional<Meta> fromJson(const QByteArray& bytes);

    // Keys as stored that failed to decode, and what the field was decoded as instead.
    QJsonObject undecoded;
    QJsonObject decodedAs;
};

// The store's root: the application data folder's "Murmelo/Meetings" for the installed
// program, else "murmelo-meetings" in the temporary folder; fixed at first use.
QString root();
// The older location of meeting files: the log folder's "meetings".
QString legacyRoot();
// Tests point both somewhere else (nullopt: back to the computed ones).
void setRootsForTesting(std::optional<QString> root, std::optional<QString> legacy = std::nullopt);

bool ensureRoot();
QString stampText(const QDateTime& started);
QString folderName(const QDateTime& started, const std::optional<QString>& app);
std::optional<QString> sanitize(const std::optional<QString>& name);
QString unique(const QString& base, const std::function<bool(const QString&)>& taken);

// A new folder with its first record; nothing, with the file system's reason, when the
// folder cannot be made.
std::optional<Folder> create(const QDateTime& started, const std::optional<QString>& app, QString* error = nullptr);
Folder rename(const Folder& folder, const std::optional<QString>& app);
std::optional<Meta> read(const Folder& folder);
void update(const Folder& folder, const std::function<void(Meta&)>& change);
void write(const Meta& meta, const Folder& folder);
QList<Folder> all(const QString& in = root());
QList<Folder> orphans(const QString& in = root());

// A move to the Trash: whether it happened, and where the item went when that is known.
struct Deleted {
    bool ok = false;
    std::optional<QString> trashPath;
};
Deleted deleteFolder(const Folder& folder);

// Writes a file of a meeting folder whole or not at all, readable by the user alone.
bool writePrivateFile(const QString& path, const QByteArray& bytes);

// Upkeep.
int audioDays();
bool shouldDropAudio(bool hasTranscript, double ageDays, int keepDays);
qint64 sweep(const QString& in, const QDateTime& now, std::optional<int> keepDays = std::nullopt);
// The folder now being recorded; the sweep never touches it. The recorder sets and clears it.
void setRecordingFolder(std::optional<QString> path);
// Whether the folder is the one now being recorded.
bool isRecording(const Folder& folder);
// stamp -> (target name -> legacy name)
QMap<qint64, QMap<QString, QString>> legacyGroups(const QStringList& names);
int migrate(const QString& from, const QString& to);
void leavePointer(const QString& legacy, const QString& to);
// Migration and retention once per launch of the application; untranscribed meetings are
// handed to the recovery 30 s later.
void startupMaintenance();
// The same steps over given folders, whoever runs it.
void maintain(const QString& rootPath, const QString& legacyPath);

inline constexpr double RECOVERY_DELAY_SECONDS = 30.0;
inline constexpr int RECOVERY_AUTO_LIMIT = 600;
inline const QString POINTER_FILE = QStringLiteral("ГДЕ-ТЕПЕРЬ-ЗАПИСИ.txt");

}  // namespace MeetingStore
}  // namespace murmelo
