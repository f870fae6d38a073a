#include "stats/MonthlyStats.h"

#include "base/Defaults.h"
#include "base/DefaultsCache.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "platform/Folders.h"
#include "platform/MainQueue.h"
#include "stats/MonthlyStatsStore.h"

#include <memory>
#include <mutex>
#include <unicode/uchar.h>

namespace murmelo {

MonthlyStatsNotifier& MonthlyStatsNotifier::shared() {
    static MonthlyStatsNotifier notifier;
    return notifier;
}

namespace MonthlyStats {
namespace {

std::mutex g_storeLock;
// Never destroyed in the application: it lives until the process ends.
MonthlyStatsStore* g_store = nullptr;

QDateTime now() { return Clock::shared().now(); }
// The typing notes come with every key: the UTC instant spares the local-time conversion.
QDateTime keyTime() { return Clock::shared().nowUtc(); }

// Each counting call queues its own post; a view asking for a snapshot then sees the change.
void changed() {
    MainQueue::shared().post([] { emit MonthlyStatsNotifier::shared().didChange(); });
}

}  // namespace

QString storageURL() {
    if (Log::isApp()) {
        return Folders::join(Folders::join(Folders::applicationSupport(), QStringLiteral("Murmelo")),
                             QStringLiteral("monthly-stats.json"));
    }
    return Folders::join(Folders::temporary(), QStringLiteral("ondrix-monthly-stats.json"));
}

MonthlyStatsStore& store() {
    std::lock_guard lock(g_storeLock);
    if (!g_store) g_store = new MonthlyStatsStore(storageURL());
    return *g_store;
}

// Asked three times on every key.
bool enabled() {
    thread_local DefaultsCache<bool> on;
    return on.get([](const Defaults& d) { return d.realBool(QString::fromLatin1(enabledKey)).value_or(true); });
}

void setEnabled(bool on) {
    Defaults::shared().set(QString::fromLatin1(enabledKey), on);
    if (on) store().activate(now());
    changed();
}

void activate() {
    if (!enabled()) return;
    store().activate(now());
}

MonthlyStatsSnapshot snapshot(const QDateTime& month) {
    const QDateTime current = now();
    return store().snapshot(month.isValid() ? month : current, current);
}

void noteTypingGap(double seconds) {
    if (!enabled()) return;
    if (store().noteTypingGap(seconds, keyTime())) changed();
}

void noteTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions, double activeSeconds,
                    bool startsBurst) {
    if (!enabled()) return;
    if (store().noteTypingWork(characters, editingEvents, correctionActions, activeSeconds, startsBurst, keyTime()))
        changed();
}

void noteBenefitTypingWork(qint64 characters, qint64 editingEvents, qint64 correctionActions, double activeSeconds,
                           bool startsSample) {
    if (!enabled()) return;
    if (store().noteBenefitTypingWork(characters, editingEvents, correctionActions, activeSeconds, startsSample,
                                      keyTime()))
        changed();
}

void noteDictation(const QString& text, double audioSeconds, std::optional<double> speechWorkSeconds,
                   double processingSeconds) {
    if (!enabled() || text.isEmpty()) return;
    store().noteDictation(graphemeCount(text), wordCount(text), audioSeconds, speechWorkSeconds, processingSeconds,
                          now());
    changed();
}

void noteTextCorrection(const QString& before, const QString& after) {
    if (!enabled() || before == after) return;
    const CorrectionCounts counts = correctionSummary(before, after);
    store().noteCorrections(counts.punctuation, counts.letterCase, counts.typos, now());
    changed();
}

void noteLayoutCorrection() {
    if (!enabled()) return;
    store().noteLayoutCorrection(now());
    changed();
}

void undoLayoutCorrection() {
    if (!enabled()) return;
    store().undoLayoutCorrection(now());
    changed();
}

void noteQuickAction() {
    if (!enabled()) return;
    store().noteQuickAction(now());
    changed();
}

void noteQuickReply() {
    if (!enabled()) return;
    store().noteQuickReply(now());
    changed();
}

void noteMeeting(double seconds, const QDateTime& at) {
    if (!enabled()) return;
    store().noteMeeting(seconds, at.isValid() ? at : now());
    changed();
}

void deleteAll() {
    store().deleteAll(now());
    changed();
}

bool isWordCharacter(const QString& character) {
    if (character.isEmpty()) return false;
    const char32_t scalar = character.at(0).isHighSurrogate() && character.size() > 1
                                ? QChar::surrogateToUcs4(character.at(0), character.at(1))
                                : char32_t(character.at(0).unicode());
    return u_hasBinaryProperty(UChar32(scalar), UCHAR_ALPHABETIC) ||
           u_getIntPropertyValue(UChar32(scalar), UCHAR_NUMERIC_TYPE) != U_NT_NONE;
}

qint64 wordCount(const QString& text) {
    qint64 words = 0;
    bool inWord = false;
    for (const QString& character : graphemes(text)) {
        const bool letter = isWordCharacter(character);
        if (letter && !inWord) ++words;
        inWord = letter;
    }
    return words;
}

void resetForTesting() {
    MonthlyStatsStore::waitForWrites(MonthlyStatsStore::WRITE_WAIT_MS);
    std::lock_guard lock(g_storeLock);
    delete g_store;
    g_store = nullptr;
}

}  // namespace MonthlyStats
}  // namespace murmelo
