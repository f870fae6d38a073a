#include "meetings/MeetingStore.h"

#include "base/Bundle.h"
#include "base/Format.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "platform/Folders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimeZone>
#include <QUuid>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace murmelo::MeetingStore {
namespace {

std::mutex g_rootsMutex;
std::optional<QString> g_root, g_legacy, g_testRoot, g_testLegacy;

bool exists(const QString& path) { return QFileInfo::exists(path); }

qint64 sizeOf(const QString& path) {
    QFileInfo info(path);
    return info.exists() ? info.size() : 0;
}

// The internet date-time form with whole seconds only: a fraction or any other form is not
// a date here.
std::optional<QDateTime> parseDate(const QJsonValue& value) {
    if (!value.isString()) return std::nullopt;
    static const QRegularExpression form(
        QStringLiteral("^\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}(Z|[+-]\\d{2}:\\d{2})$"));
    const QString text = value.toString();
    if (!form.match(text).hasMatch()) return std::nullopt;
    QDateTime date = QDateTime::fromString(text, Qt::ISODate);
    if (!date.isValid()) return std::nullopt;
    return date.toUTC();
}

QString dateText(const QDateTime& date) {
    return date.toUTC().toString(QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'"));
}

std::optional<int> integerOf(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (d != double(qint64(d)) || d < INT_MIN || d > INT_MAX) return std::nullopt;
    return int(d);
}

template <class T, class Convert>
std::optional<QMap<QString, T>> mapOf(const QJsonValue& v, Convert convert) {
    if (!v.isObject()) return std::nullopt;
    QMap<QString, T> out;
    const QJsonObject o = v.toObject();
    for (auto it = o.begin(); it != o.end(); ++it) {
        auto value = convert(it.value());
        if (!value) return std::nullopt;
        out.insert(it.key(), *value);
    }
    return out;
}

std::optional<double> numberOf(const QJsonValue& v) {
    return v.isDouble() ? std::optional(v.toDouble()) : std::nullopt;
}
std::optional<QString> textOf(const QJsonValue& v) {
    return v.isString() ? std::optional(v.toString()) : std::nullopt;
}
std::optional<bool> boolOf(const QJsonValue& v) { return v.isBool() ? std::optional(v.toBool()) : std::nullopt; }

}  // namespace

// ---- Folder

QString Folder::name() const { return QFileInfo(url).fileName(); }
QString Folder::file(const QString& fileName) const { return Folders::join(url, fileName); }
bool Folder::hasTranscript() const { return exists(transcript()); }
bool Folder::hasNotes() const { return exists(notes()); }
bool Folder::hasSummary() const { return exists(summary()); }
bool Folder::hasAudio() const { return exists(mic()) || exists(system()); }
qint64 Folder::audioBytes() const { return sizeOf(mic()) + sizeOf(system()); }

// ---- Meta

Meta::Meta(QDateTime startedAt, std::optional<QString> appName) : started(std::move(startedAt)), app(std::move(appName)) {}

QJsonObject Meta::toJson() const {
    QJsonObject o;
    o.insert("version", version);
    o.insert("started", dateText(started));
    o.insert("seconds", seconds);
    if (app) o.insert("app", *app);
    o.insert("micOnly", micOnly);
    o.insert("transcribed", transcribed);
    o.insert("echoShare", echoShare);
    o.insert("audioRemoved", audioRemoved);
    if (otherName) o.insert("otherName", *otherName);
    QJsonObject v;
    for (auto it = voices.begin(); it != voices.end(); ++it) v.insert(it.key(), it.value());
    o.insert("voices", v);
    QJsonObject names;
    for (auto it = voiceNames.begin(); it != voiceNames.end(); ++it) names.insert(it.key(), it.value());
    o.insert("voiceNames", names);
    QJsonObject recognised;
    for (auto it = recognisedVoices.begin(); it != recognisedVoices.end(); ++it) recognised.insert(it.key(), it.value());
    o.insert("recognisedVoices", recognised);
    o.insert("announced", announced);
    o.insert("notesOffered", notesOffered);
    o.insert("notesCreated", notesCreated);
    o.insert("summaryCreated", summaryCreated);
    o.insert("nameCandidates", QJsonArray::fromStringList(nameCandidates));
    if (title) o.insert("title", *title);
    // What could not be read goes back as it was, unless someone has set the field since.
    for (auto it = undecoded.begin(); it != undecoded.end(); ++it)
        if (o.value(it.key()) == decodedAs.value(it.key())) o.insert(it.key(), it.value());
    return o;
}

std::optional<Meta> Meta::fromJson(const QByteArray& bytes) {
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    Meta m(QDateTime::currentDateTimeUtc(), std::nullopt);
    m.started = QDateTime::fromSecsSinceEpoch(m.started.toSecsSinceEpoch(), QTimeZone::utc());
    // Each key on its own: a failed one takes its default and keeps its stored form.
    auto take = [&](const char* key, auto parse, auto& field, bool optional = false) {
        const QString k = QString::fromLatin1(key);
        if (!o.contains(k)) return;
        const QJsonValue raw = o.value(k);
        if (optional && raw.isNull()) return;
        if (auto value = parse(raw)) {
            field = *value;
            return;
        }
        m.undecoded.insert(k, raw);
    };
    std::optional<QString> app, otherName, title;
    take("version", integerOf, m.version);
    take("started", parseDate, m.started);
    take("seconds", numberOf, m.seconds);
    take("app", [](const QJsonValue& v) { return v.isString() ? std::optional(std::optional(v.toString())) : std::nullopt; }, app, true);
    take("micOnly", boolOf, m.micOnly);
    take("transcribed", boolOf, m.transcribed);
    take("echoShare", numberOf, m.echoShare);
    take("audioRemoved", boolOf, m.audioRemoved);
    take("otherName", [](const QJsonValue& v) { return v.isString() ? std::optional(std::optional(v.toString())) : std::nullopt; }, otherName, true);
    take("voices", [](const QJsonValue& v) { return mapOf<double>(v, numberOf); }, m.voices);
    take("voiceNames", [](const QJsonValue& v) { return mapOf<QString>(v, textOf); }, m.voiceNames);
    take("recognisedVoices", [](const QJsonValue& v) { return mapOf<QString>(v, textOf); }, m.recognisedVoices);
    take("announced", boolOf, m.announced);
    take("notesOffered", boolOf, m.notesOffered);
    take("notesCreated", boolOf, m.notesCreated);
    take("summaryCreated", boolOf, m.summaryCreated);
    take("nameCandidates", [](const QJsonValue& v) -> std::optional<QStringList> {
        if (!v.isArray()) return std::nullopt;
        QStringList out;
        for (const QJsonValue& item : v.toArray()) {
            if (!item.isString()) return std::nullopt;
            out << item.toString();
        }
        return out;
    }, m.nameCandidates);
    take("title", [](const QJsonValue& v) { return v.isString() ? std::optional(std::optional(v.toString())) : std::nullopt; }, title, true);
    m.app = app;
    m.otherName = otherName;
    m.title = title;
    if (!m.undecoded.isEmpty()) {
        Meta plain = m;
        plain.undecoded = {};
        const QJsonObject as = plain.toJson();
        for (auto it = m.undecoded.begin(); it != m.undecoded.end(); ++it)
            if (as.contains(it.key())) m.decodedAs.insert(it.key(), as.value(it.key()));
    }
    return m;
}

// ---- Locations

QString root() {
    std::lock_guard lock(g_rootsMutex);
    if (g_testRoot) return *g_testRoot;
    if (!g_root) {
        g_root = Bundle::isInstalled() ? Folders::join(Folders::join(Folders::applicationSupport(), "Murmelo"), "Meetings")
                                       : Folders::join(Folders::temporary(), "murmelo-meetings");
    }
    return *g_root;
}

QString legacyRoot() {
    std::lock_guard lock(g_rootsMutex);
    if (g_testLegacy) return *g_testLegacy;
    if (!g_legacy) g_legacy = Folders::join(Log::appDir(), "meetings");
    return *g_legacy;
}

void setRootsForTesting(std::optional<QString> rootPath, std::optional<QString> legacy) {
    std::lock_guard lock(g_rootsMutex);
    g_testRoot = std::move(rootPath);
    g_testLegacy = std::move(legacy);
}

bool ensureRoot() { return Folders::makePrivateFolder(root()); }

// ---- Names

QString stampText(const QDateTime& started) {
    return started.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH-mm"));
}

QString folderName(const QDateTime& started, const std::optional<QString>& app) {
    QString name = stampText(started);
    if (const auto clean = sanitize(app)) name += QLatin1Char(' ') + *clean;
    return name;
}

std::optional<QString> sanitize(const std::optional<QString>& name) {
    if (!name) return std::nullopt;
    static const QString replaced = QStringLiteral("/:\\?%*|\"<>");
    QString out = *name;
    for (QChar& c : out)
        if (replaced.contains(c)) c = QLatin1Char('-');
    out = out.trimmed();
    if (out.isEmpty()) return std::nullopt;
    return firstGraphemes(out, 40);
}

QString unique(const QString& base, const std::function<bool(const QString&)>& taken) {
    if (!taken(base)) return base;
    for (int n = 2; n <= 99; ++n) {
        const QString candidate = base + QStringLiteral(" (") + QString::number(n) + QLatin1Char(')');
        if (!taken(candidate)) return candidate;
    }
    return base + QStringLiteral(" (") + QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper().left(8) +
           QLatin1Char(')');
}

// ---- Folders and records

std::optional<Folder> create(const QDateTime& started, const std::optional<QString>& app, QString* error) {
    ensureRoot();
    const QString base = root();
    const QString name = unique(folderName(started, app), [&](const QString& n) { return exists(Folders::join(base, n)); });
    const QString path = Folders::join(base, name);
    if (::mkdir(QFile::encodeName(path).constData(), 0700) != 0) {
        if (error) *error = QString::fromLocal8Bit(std::strerror(errno));
        return std::nullopt;
    }
    Folder folder(path);
    write(Meta(started, app), folder);
    return folder;
}

Folder rename(const Folder& folder, const std::optional<QString>& app) {
    const auto clean = sanitize(app);
    if (!clean) return folder;
    auto meta = read(folder);
    if (!meta || meta->app) return folder;
    const QString base = root();
    const QString name =
        unique(folderName(meta->started, clean), [&](const QString& n) { return exists(Folders::join(base, n)); });
    const Folder moved(Folders::join(QFileInfo(folder.url).absolutePath(), name));
    meta->app = clean;
    if (::rename(QFile::encodeName(folder.url).constData(), QFile::encodeName(moved.url).constData()) == 0) {
        write(*meta, moved);
        return moved;
    }
    logLine(QStringLiteral("встреча: папку переименовать не удалось (") + QString::fromLocal8Bit(std::strerror(errno)) +
            QLatin1Char(')'));
    write(*meta, folder);
    return folder;
}

std::optional<Meta> read(const Folder& folder) {
    QFile file(folder.metaURL());
    if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
    return Meta::fromJson(file.readAll());
}

void update(const Folder& folder, const std::function<void(Meta&)>& change) {
    auto meta = read(folder);
    if (!meta) return;
    change(*meta);
    write(*meta, folder);
}

bool writePrivateFile(const QString& path, const QByteArray& bytes) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) return false;
    // The replacement is private before it takes the name.
    file.setPermissions(QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    if (file.write(bytes) != bytes.size()) {
        file.cancelWriting();
        return false;
    }
    const bool committed = file.commit();
    QFile::setPermissions(path, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
    return committed;
}

void write(const Meta& meta, const Folder& folder) {
    writePrivateFile(folder.metaURL(), QJsonDocument(meta.toJson()).toJson(QJsonDocument::Indented));
}

QList<Folder> all(const QString& in) {
    QDir dir(in);
    if (!dir.exists()) return {};
    QStringList names = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System, QDir::NoSort);
    names.erase(std::remove_if(names.begin(), names.end(), [](const QString& n) { return n.startsWith(QLatin1Char('.')); }),
                names.end());
    std::stable_sort(names.begin(), names.end(), [](const QString& a, const QString& b) { return b < a; });
    QList<Folder> out;
    for (const QString& n : names) out << Folder(Folders::join(in, n));
    return out;
}

QList<Folder> orphans(const QString& in) {
    QList<Folder> out;
    for (const Folder& f : all(in))
        if (f.hasAudio() && !f.hasTranscript()) out << f;
    return out;
}

Deleted deleteFolder(const Folder& folder) {
    const qint64 bytes = folder.audioBytes();
    QString trashed;
    QFile item(folder.url);
    if (!item.moveToTrash()) {
        logLine(QStringLiteral("⚠ встреча: «") + folder.name() + QStringLiteral("» не удалилась (") + item.errorString() +
                QLatin1Char(')'));
        return {};
    }
    logLine(formatSpec(QStringLiteral("встреча: «%@» убрана в Корзину (%.1f МБ аудио)"),
                       {folder.name(), double(bytes) / 1048576.0}));
    Deleted done;
    done.ok = true;
    if (!item.fileName().isEmpty() && item.fileName() != folder.url) done.trashPath = item.fileName();
    return done;
}

}  // namespace murmelo::MeetingStore
