#include "stats/MonthlyStatsStore.h"

#include "base/Log.h"
#include "base/Saturating.h"
#include "diagnostics/MainStallWatch.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyBenefitFormula.h"
#include "stats/StatsJson.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QThreadPool>
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <future>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>

namespace murmelo {

struct MonthlyStatsStore::State {
    QString path;
    QTimeZone calendar;
    mutable std::mutex lock;  // guards everything below
    std::optional<QString> firstTrackedMonth;
    std::map<QString, MonthlyStatsMonth> months;
    bool flushScheduled = false;
    TimerHandle timer;
    // The file found at load could not be read and has not been kept yet: nothing may be
    // written over it until it is.
    bool unreadableNotKept = false;
    bool refusalLogged = false;
    QString keptUnreadable;
    // The file was written by a newer build: its members this build does not know would be
    // lost by a rewrite, so it is left alone (until the user erases everything).
    std::optional<qint64> newerVersion;
    bool newerRefusalLogged = false;
    // The calendar day of the last note, from its first to its last instant (milliseconds
    // since 1970): notes within it skip the conversion into the calendar.
    struct Day {
        qint64 from = 0, until = 0;
        QString key;
        qint64 number = 0;
    } day;
};

namespace {

const QString kVersion = QStringLiteral("version");
const QString kFirstTrackedMonth = QStringLiteral("firstTrackedMonth");
const QString kMonths = QStringLiteral("months");
const QString kStallLabel = QStringLiteral("статистика: атомарная запись на диск");

// The one serial writer of every store. Files are written in the order writes were handed
// over, so an older payload never lands after a newer one.
QThreadPool& writer() {
    static QThreadPool* pool = [] {
        auto* p = new QThreadPool;
        p->setObjectName(QStringLiteral("murmelo.monthly-stats.io"));
        p->setMaxThreadCount(1);
        return p;
    }();
    return *pool;
}

QDateTime orNow(const QDateTime& date) { return date.isValid() ? date : Clock::shared().now(); }

// Durations and counts from callers: below 0, not a number or infinite counts as 0, so that
// one bad value can never make the whole file unwritable.
double nonNegative(double seconds) { return std::isfinite(seconds) && seconds > 0 ? seconds : 0.0; }
qint64 nonNegative(qint64 count) { return std::max<qint64>(count, 0); }

// A stored counter may already stand at the limit: counts saturate there.
void add(qint64& field, qint64 amount) { field = saturatingAdd(field, amount); }
void add(std::optional<qint64>& field, qint64 amount) { field = saturatingAdd(field.value_or(0), amount); }
void add(std::optional<double>& field, double amount) { field = field.value_or(0.0) + amount; }

void markBenefitObservation(MonthlyStatsMonth& record, qint64 day) {
    if (day < 1) return;
    const auto& days = record.activeDays;
    const qint64 first = record.benefitFirstObservedDay.value_or(
        days.empty() ? day : *std::min_element(days.begin(), days.end()));
    const qint64 last = record.benefitLastObservedDay.value_or(
        days.empty() ? day : *std::max_element(days.begin(), days.end()));
    record.benefitFirstObservedDay = std::min(day, first);
    record.benefitLastObservedDay = std::max(day, last);
}

bool settlePendingVoiceBenefit(MonthlyStatsMonth& record) {
    // Asked on every key press: the speed (a sort of the histogram) only when something waits.
    if (!record.savedBenefitLedger || record.savedBenefitLedger->pendingVoiceByDay.empty()) return false;
    return record.savedBenefitLedger->settlePendingVoiceBenefit(record.benefitComparisonTypingCharactersPerMinute());
}

// ---- The file

struct Payload {
    qint64 version = 0;
    std::optional<QString> firstTrackedMonth;
    std::map<QString, MonthlyStatsMonth> months;
};

std::optional<Payload> decodePayload(const QByteArray& bytes) {
    QJsonParseError parse{};
    const QJsonDocument document = QJsonDocument::fromJson(bytes, &parse);
    if (parse.error != QJsonParseError::NoError || !document.isObject()) return std::nullopt;
    const QJsonObject root = document.object();
    // Any version is read; an older one is written back as the current one.
    const std::optional<qint64> version = StatsJson::integer(root.value(kVersion));
    if (!version) return std::nullopt;
    Payload payload;
    payload.version = *version;
    const QJsonValue first = root.value(kFirstTrackedMonth);
    if (first.isString()) {
        payload.firstTrackedMonth = first.toString();
    } else if (!first.isUndefined() && !first.isNull()) {
        return std::nullopt;
    }
    const QJsonValue months = root.value(kMonths);
    if (!months.isObject()) return std::nullopt;
    const QJsonObject monthsObject = months.toObject();
    for (auto it = monthsObject.begin(); it != monthsObject.end(); ++it) {
        std::optional<MonthlyStatsMonth> month = MonthlyStatsMonth::fromJson(it.value());
        if (!month) return std::nullopt;
        payload.months.emplace(it.key(), std::move(*month));
    }
    return payload;
}

std::optional<QByteArray> encodePayload(const MonthlyStatsStore::State& s, QString* error) {
    QJsonObject months;
    for (const auto& [key, month] : s.months) {
        QString monthError;
        const std::optional<QJsonObject> encoded = month.toJson(&monthError);
        if (!encoded) {
            *error = key + QStringLiteral(": ") + monthError;
            return std::nullopt;
        }
        months.insert(key, *encoded);
    }
    QJsonObject root;
    root.insert(kVersion, QJsonValue(MonthlyStatsStore::VERSION));
    if (s.firstTrackedMonth) root.insert(kFirstTrackedMonth, *s.firstTrackedMonth);
    root.insert(kMonths, months);
    return QJsonDocument(root).toJson(QJsonDocument::Compact);
}

QString systemError(const QString& path, int code) {
    return QFileInfo(path).fileName() + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(code));
}

// Writes a temporary file beside the target, created readable by the user alone, and moves
// it over the target, so that a reader sees the old file or the new one, never a part.
bool writeAtomically(const QString& path, const QByteArray& data, QString* error) {
    QByteArray temporary = QFile::encodeName(path) + ".XXXXXX";
    const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
    if (fd < 0) {
        *error = systemError(path, errno);
        return false;
    }
    ::fchmod(fd, 0600);
    qsizetype written = 0;
    while (written < data.size()) {
        const ssize_t n = ::write(fd, data.constData() + written, size_t(data.size() - written));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            *error = systemError(path, n < 0 ? errno : EIO);
            ::close(fd);
            ::unlink(temporary.constData());
            return false;
        }
        written += n;
    }
    const bool synced = ::fsync(fd) == 0;
    const int syncError = errno;
    if (::close(fd) != 0 || !synced) {
        *error = systemError(path, synced ? errno : syncError);
        ::unlink(temporary.constData());
        return false;
    }
    if (::rename(temporary.constData(), QFile::encodeName(path).constData()) != 0) {
        *error = systemError(path, errno);
        ::unlink(temporary.constData());
        return false;
    }
    return true;
}

// Copies the unreadable file to "<file>.bad-<date>-<time>" beside it (the settings file's
// convention); never replaces an earlier copy.
QString keepUnreadableCopy(const QString& path) {
    const QString stamp = Clock::shared().now().toString(QStringLiteral("yyyyMMdd-HHmmss"));
    for (int n = 1; n < 100; ++n) {
        const QString copy = path + QStringLiteral(".bad-") + stamp + (n == 1 ? QString() : QStringLiteral("-%1").arg(n));
        if (QFileInfo::exists(copy)) continue;
        if (!QFile::copy(path, copy)) return {};
        QFile::setPermissions(copy, QFile::ReadOwner | QFile::WriteOwner);
        return copy;
    }
    return {};
}

// On the writer. False while the unreadable file cannot be kept: then nothing may replace it.
bool keepUnreadableIfNeeded(MonthlyStatsStore::State& s) {
    {
        std::lock_guard lock(s.lock);
        if (!s.unreadableNotKept) return true;
    }
    const QString copy = keepUnreadableCopy(s.path);
    std::lock_guard lock(s.lock);
    if (!s.unreadableNotKept) return true;
    if (copy.isEmpty()) {
        if (!s.refusalLogged) {
            s.refusalLogged = true;
            logLine(QStringLiteral("статистика: файл ") + QFileInfo(s.path).fileName() +
                    QStringLiteral(" не читается, и копию сделать не удалось — не пишу поверх него"));
        }
        return false;
    }
    s.unreadableNotKept = false;
    s.keptUnreadable = copy;
    logLine(QStringLiteral("статистика: файл ") + QFileInfo(s.path).fileName() +
            QStringLiteral(" не читается — сохранил его как ") + QFileInfo(copy).fileName() +
            QStringLiteral(", начинаю новую историю"));
    return true;
}

// The write itself, on the writer: encodes what the store holds at this moment, so a later
// write always carries the newer payload.
void writeFile(MonthlyStatsStore::State& s) {
    QByteArray data;
    QString error;
    {
        std::lock_guard lock(s.lock);
        s.flushScheduled = false;
        std::optional<QByteArray> encoded = encodePayload(s, &error);
        if (!encoded) {
            logLine(QStringLiteral("статистика: не сохранил месячные числа — ") + error);
            return;
        }
        data = std::move(*encoded);
    }
    if (!keepUnreadableIfNeeded(s)) return;
    {
        std::lock_guard lock(s.lock);
        if (s.newerVersion) {
            if (!s.newerRefusalLogged) {
                s.newerRefusalLogged = true;
                logLine(QStringLiteral("статистика: файл ") + QFileInfo(s.path).fileName() +
                        QStringLiteral(" записан более новой версией (%1) — не пишу поверх него, чтобы не потерять её данные")
                            .arg(*s.newerVersion));
            }
            return;
        }
    }
    Folders::makePrivateFolder(QFileInfo(s.path).absolutePath());
    if (!writeAtomically(s.path, data, &error)) {
        logLine(QStringLiteral("статистика: не сохранил месячные числа — ") + error);
        return;
    }
    QFile::setPermissions(s.path, QFile::ReadOwner | QFile::WriteOwner);
}

// The temporaries of writes that never reached their rename (a crash, a power cut): the
// file's name, a dot and the six characters mkostemp chose. Only the user's own files go;
// kept unreadable copies ("<file>.bad-...") never match.
void sweepStaleTemporaries(const QString& path) {
    const QFileInfo target(path);
    QDir dir = target.absoluteDir();
    const QString name = target.fileName();
    const auto mkstempChar = [](QChar c) { return c.unicode() < 128 && c.isLetterOrNumber(); };
    for (const QFileInfo& entry : dir.entryInfoList(QStringList{name + QStringLiteral(".??????")}, QDir::Files | QDir::Hidden)) {
        const QString tail = entry.fileName().mid(name.size() + 1);
        if (tail.size() != 6 || !std::all_of(tail.cbegin(), tail.cend(), mkstempChar)) continue;
        struct stat info {};
        if (::lstat(QFile::encodeName(entry.absoluteFilePath()).constData(), &info) != 0) continue;
        if (!S_ISREG(info.st_mode) || info.st_uid != ::getuid()) continue;
        if (QFile::remove(entry.absoluteFilePath()))
            logLine(QStringLiteral("статистика: убрал недописанный временный файл ") + entry.fileName());
    }
}

void load(MonthlyStatsStore::State& s) {
    QFile file(s.path);
    if (!file.exists()) return;
    std::optional<Payload> payload;
    qint64 size = file.size();
    if (file.open(QIODevice::ReadOnly)) {
        const QByteArray bytes = file.readAll();
        size = bytes.size();
        payload = decodePayload(bytes);
    }
    if (payload) {
        if (payload->version > MonthlyStatsStore::VERSION) s.newerVersion = payload->version;
        s.firstTrackedMonth = std::move(payload->firstTrackedMonth);
        s.months = std::move(payload->months);
        return;
    }
    // An empty file holds nothing to keep.
    if (size == 0 && file.isOpen()) return;
    s.unreadableNotKept = true;
    keepUnreadableIfNeeded(s);
}

}  // namespace

MonthlyStatsStore::MonthlyStatsStore(QString path, QTimeZone calendar) : s_(std::make_shared<State>()) {
    s_->path = std::move(path);
    s_->calendar = calendar.isValid() ? calendar : QTimeZone::systemTimeZone();
    load(*s_);
    // On the writer, behind any write of this process still under way, whose temporary is not stale.
    writer().start([path = s_->path] { sweepStaleTemporaries(path); });
}

MonthlyStatsStore::~MonthlyStatsStore() {
    std::lock_guard lock(s_->lock);
    s_->timer.cancel();
}

QString MonthlyStatsStore::url() const { return s_->path; }
QTimeZone MonthlyStatsStore::calendar() const { return s_->calendar; }

std::optional<QString> MonthlyStatsStore::firstTrackedMonth() const {
    std::lock_guard lock(s_->lock);
    return s_->firstTrackedMonth;
}

QString MonthlyStatsStore::keptUnreadablePath() const {
    std::lock_guard lock(s_->lock);
    return s_->keptUnreadable;
}

// ---- Month keys

QString MonthlyStatsStore::monthKey(const QDateTime& date) const {
    const QDate d = date.toTimeZone(s_->calendar).date();
    const int year = d.isValid() ? d.year() : 1970;
    const int month = d.isValid() ? d.month() : 1;
    return QString::asprintf("%04d-%02d", year, month);
}

std::optional<QDateTime> MonthlyStatsStore::date(const QString& key) const {
    std::vector<int> numbers;
    for (const QString& piece : key.split(QLatin1Char('-'), Qt::SkipEmptyParts)) {
        if (const std::optional<qint64> n = StatsJson::decimalKey(piece);
            n && *n >= std::numeric_limits<int>::min() && *n <= std::numeric_limits<int>::max())
            numbers.push_back(int(*n));
    }
    if (numbers.size() != 2) return std::nullopt;
    const QDate first(numbers[0], numbers[1], 1);
    if (!first.isValid()) return std::nullopt;
    return first.startOfDay(s_->calendar);
}

QDateTime MonthlyStatsStore::start(const QDateTime& date) const {
    const QDate d = date.toTimeZone(s_->calendar).date();
    if (!d.isValid()) return date;
    const QDateTime first = QDate(d.year(), d.month(), 1).startOfDay(s_->calendar);
    return first.isValid() ? first : date;
}

qint64 MonthlyStatsStore::dayNumber(const QDateTime& date) const {
    const QDate d = date.toTimeZone(s_->calendar).date();
    return d.isValid() ? d.day() : 0;
}

// ---- Counting

// The common procedure of every note operation: under the lock, start tracking, give the
// month its ledger, apply the change, settle pending voice saving, and ask for a write when
// the change's save rule (or a new ledger or a settlement) says so.
std::pair<QString, qint64> MonthlyStatsStore::calendarDay(const QDateTime& when) const {
    const qint64 ms = when.toMSecsSinceEpoch();
    {
        std::lock_guard lock(s_->lock);
        if (ms >= s_->day.from && ms < s_->day.until) return {s_->day.key, s_->day.number};
    }
    // One conversion into the calendar serves the month key, the day number and the day's bounds.
    const QDateTime at = when.toTimeZone(s_->calendar);
    State::Day day{0, 0, monthKey(at), dayNumber(at)};
    const QDate date = at.date();
    const QDateTime from = date.startOfDay(s_->calendar), until = date.addDays(1).startOfDay(s_->calendar);
    if (from.isValid() && until.isValid()) {
        day.from = from.toMSecsSinceEpoch();
        day.until = until.toMSecsSinceEpoch();
    }
    std::lock_guard lock(s_->lock);
    s_->day = day;
    return {day.key, day.number};
}

template <class Change>
bool MonthlyStatsStore::note(const QDateTime& when, Change change) {
    const auto [key, day] = calendarDay(orNow(when));
    bool save = false;
    bool schedule = false;
    {
        std::lock_guard lock(s_->lock);
        if (!s_->firstTrackedMonth) s_->firstTrackedMonth = key;
        MonthlyStatsMonth& record = s_->months[key];
        const bool created = record.initializeSavedBenefitLedger(day);
        const bool changeSaves = change(record, day);
        const bool settled = settlePendingVoiceBenefit(record);
        save = created || settled || changeSaves;
        if (save && !s_->flushScheduled) {
            s_->flushScheduled = true;
            schedule = true;
        }
    }
    if (schedule) scheduleWrite();
    return save;
}

void MonthlyStatsStore::scheduleWrite() {
    std::weak_ptr<State> weak = s_;
    TimerHandle timer = MainQueue::shared().after(SAVE_DELAY, [weak] {
        std::shared_ptr<State> s = weak.lock();
        if (!s) return;
        writer().start([s] { writeFile(*s); });
    });
    std::lock_guard lock(s_->lock);
    s_->timer = timer;
}

void MonthlyStatsStore::activate(const QDateTime& at) {
    const QString key = monthKey(orNow(at));
    bool schedule = false;
    {
        std::lock_guard lock(s_->lock);
        if (s_->firstTrackedMonth) return;
        s_->firstTrackedMonth = key;
        if (!s_->flushScheduled) s_->flushScheduled = schedule = true;
    }
    if (schedule) scheduleWrite();
}

bool MonthlyStatsStore::noteTypingGap(double seconds, const QDateTime& at) {
    if (!(seconds >= 0.04 && seconds <= 1.5)) return false;
    return note(at, [seconds](MonthlyStatsMonth& record, qint64) {
        const qint64 bucket = std::max<qint64>(qint64(std::round(seconds * 1000.0 / 25.0)) * 25, 25);
        add(record.typingGapHistogram[bucket], 1);
        return record.typingSamples() % 25 == 0;
    });
}

bool MonthlyStatsStore::noteTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions,
                                       double activeSeconds, bool startsBurst, const QDateTime& at) {
    if (editingEvents < 1) return false;
    const qint64 c = nonNegative(characters);
    const qint64 a = nonNegative(correctionActions);
    const double s = nonNegative(activeSeconds);
    return note(at, [&](MonthlyStatsMonth& r, qint64) {
        add(r.measuredTypingCharacters, c);
        add(r.measuredEditingEvents, editingEvents);
        add(r.measuredCorrectionActions, a);
        add(r.measuredEditingSeconds, s);
        if (startsBurst) add(r.measuredEditingBursts, 1);
        add(r.measuredTestTypingCharacters, c);
        add(r.measuredTestEditingEvents, editingEvents);
        add(r.measuredTestCorrectionActions, a);
        add(r.measuredTestEditingSeconds, s);
        if (startsBurst) add(r.measuredTestEditingBursts, 1);
        return *r.measuredEditingEvents % 25 == 0;
    });
}

bool MonthlyStatsStore::noteBenefitTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions,
                                              double activeSeconds, bool startsSample, const QDateTime& at) {
    if (editingEvents < 1) return false;
    const qint64 c = nonNegative(characters);
    const qint64 a = nonNegative(correctionActions);
    const double s = MonthlyBenefitFormula::cappedPause(activeSeconds);
    return note(at, [&](MonthlyStatsMonth& r, qint64 day) {
        add(r.measuredBenefitTypingCharacters, c);
        add(r.measuredBenefitEditingEvents, editingEvents);
        add(r.measuredBenefitCorrectionActions, a);
        add(r.measuredBenefitEditingSeconds, s);
        if (startsSample) add(r.measuredBenefitUntimedStarts, 1);
        markBenefitObservation(r, day);
        return *r.measuredBenefitEditingEvents % 25 == 0;
    });
}

void MonthlyStatsStore::noteDictation(qint64 characters, qint64 words, double audioSeconds,
                                      std::optional<double> speechWorkSeconds, double processingSeconds,
                                      const QDateTime& at) {
    if (characters < 1) return;
    note(at, [&](MonthlyStatsMonth& r, qint64 day) {
        add(r.dictations, 1);
        add(r.dictatedCharacters, characters);
        add(r.dictatedWords, nonNegative(words));
        const double audio = nonNegative(audioSeconds);
        r.dictationSeconds += audio;
        double voice = audio;
        if (speechWorkSeconds) {
            const double work = std::min(nonNegative(*speechWorkSeconds), audio);
            const double processing = nonNegative(processingSeconds);
            add(r.measuredDictatedCharacters, characters);
            add(r.measuredDictationAudioSeconds, audio);
            add(r.measuredSpeechWorkSeconds, work);
            add(r.measuredProcessingSeconds, processing);
            add(r.measuredCappedDictatedCharacters, characters);
            add(r.measuredCappedDictationAudioSeconds, audio);
            add(r.measuredCappedSpeechWorkSeconds, work);
            add(r.measuredCappedProcessingSeconds, processing);
            markBenefitObservation(r, day);
            voice = work + processing;
        }
        if (r.savedBenefitLedger) r.savedBenefitLedger->queueVoiceBenefit(day, characters, voice);
        r.longestDictationCharacters = std::max(r.longestDictationCharacters, characters);
        if (std::find(r.activeDays.begin(), r.activeDays.end(), day) == r.activeDays.end()) {
            r.activeDays.push_back(day);
            std::sort(r.activeDays.begin(), r.activeDays.end());
        }
        return true;
    });
}

void MonthlyStatsStore::noteCorrections(qint64 punctuation, qint64 letterCase, qint64 typos, const QDateTime& at) {
    const qint64 p = nonNegative(punctuation), c = nonNegative(letterCase), t = nonNegative(typos);
    const qint64 n = saturatingAdd(saturatingAdd(p, c), t);
    if (n < 1) return;
    note(at, [&](MonthlyStatsMonth& r, qint64 day) {
        add(r.measuredPunctuationCorrections, p);
        add(r.measuredCaseCorrections, c);
        add(r.measuredTypoCorrections, t);
        if (r.savedBenefitLedger) r.savedBenefitLedger->addCorrectionBenefit(day, n);
        return true;
    });
}

void MonthlyStatsStore::noteLayoutCorrection(const QDateTime& at) {
    note(at, [](MonthlyStatsMonth& r, qint64 day) {
        add(r.layoutCorrections, 1);
        if (r.savedBenefitLedger) r.savedBenefitLedger->addLayoutBenefit(day);
        return true;
    });
}

void MonthlyStatsStore::undoLayoutCorrection(const QDateTime& at) {
    // The ledger keeps the saving: time once booked is not taken back.
    note(at, [](MonthlyStatsMonth& r, qint64) {
        r.layoutCorrections = std::max<qint64>(r.layoutCorrections - 1, 0);
        return true;
    });
}

void MonthlyStatsStore::noteQuickAction(const QDateTime& at) {
    note(at, [](MonthlyStatsMonth& r, qint64) {
        add(r.quickActions, 1);
        return true;
    });
}

void MonthlyStatsStore::noteQuickReply(const QDateTime& at) {
    note(at, [](MonthlyStatsMonth& r, qint64) {
        add(r.quickReplies, 1);
        return true;
    });
}

void MonthlyStatsStore::noteMeeting(double seconds, const QDateTime& at) {
    if (!(std::isfinite(seconds) && seconds > 0)) return;
    note(at, [seconds](MonthlyStatsMonth& r, qint64) {
        r.meetingSeconds += seconds;
        return true;
    });
}

// ---- Reading

MonthlyStatsSnapshot MonthlyStatsStore::snapshot(const QDateTime& month, const QDateTime& now) const {
    std::lock_guard lock(s_->lock);
    auto recordOf = [this](const QDateTime& date) {
        const auto it = s_->months.find(monthKey(date));
        return it == s_->months.end() ? MonthlyStatsMonth{} : it->second;
    };
    MonthlyStatsSnapshot snap;
    const QDateTime selected = start(orNow(month));
    const QDateTime current = start(orNow(now));
    std::optional<QDateTime> parsed = s_->firstTrackedMonth ? date(*s_->firstTrackedMonth) : std::nullopt;
    const QDateTime first = parsed.value_or(current);
    if (!(current < first)) {
        QDateTime cursor = first;
        while (!(current < cursor)) {
            snap.trackedMonths.emplace_back(cursor, recordOf(cursor));
            const QDate d = cursor.toTimeZone(s_->calendar).date().addMonths(1);
            const QDateTime next = d.isValid() ? start(d.startOfDay(s_->calendar)) : QDateTime();
            if (!next.isValid() || !(cursor < next)) break;
            cursor = next;
        }
    }
    snap.month = selected;
    snap.record = recordOf(selected);
    snap.canGoBack = first < selected;
    snap.canGoForward = selected < current;
    return snap;
}

// ---- Erasing and writing

void MonthlyStatsStore::deleteAll(const QDateTime& restartAt) {
    const QString key = monthKey(orNow(restartAt));
    bool schedule = false;
    {
        std::lock_guard lock(s_->lock);
        s_->months.clear();
        s_->firstTrackedMonth = key;
        // The user erased it all: an unreadable file is no longer worth protecting.
        s_->unreadableNotKept = false;
        s_->newerVersion.reset();
        if (!s_->flushScheduled) s_->flushScheduled = schedule = true;
    }
    // On the writer too, so that a write already under way cannot bring the old file back.
    std::shared_ptr<State> s = s_;
    writer().start([s] { QFile::remove(s->path); });
    if (schedule) scheduleWrite();
}

void MonthlyStatsStore::flushNow() {
    MainStallScope stall(kStallLabel);
    auto done = std::make_shared<std::promise<void>>();
    std::future<void> finished = done->get_future();
    std::shared_ptr<State> s = s_;
    writer().start([s, done] {
        writeFile(*s);
        done->set_value();
    });
    if (finished.wait_for(std::chrono::milliseconds(WRITE_WAIT_MS)) != std::future_status::ready)
        logLine(QStringLiteral("статистика: запись на диск не закончилась за %1 с").arg(WRITE_WAIT_MS / 1000));
}

bool MonthlyStatsStore::waitForWrites(int msecs) { return writer().waitForDone(msecs); }

}  // namespace murmelo
