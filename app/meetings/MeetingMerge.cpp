#include "meetings/MeetingMerge.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Localization.h"
#include "base/Log.h"
#include "meetings/MeetingPolish.h"

#include <QHash>
#include <QSet>
#include <algorithm>
#include <cmath>

namespace murmelo::MeetingTranscriber {

bool dropBleedEnabled() { return Defaults::shared().realBool(QStringLiteral("meetingDropBleed")).value_or(true); }

double similar(const QString& a, const QString& b) {
    if (a == b) return 1;
    if (a.isEmpty() || b.isEmpty()) return 0;
    const QStringList x = graphemes(a);
    const QStringList y = graphemes(b);
    std::vector<int> previous(size_t(y.size()) + 1), current(size_t(y.size()) + 1);
    for (int j = 0; j <= y.size(); ++j) previous[size_t(j)] = j;
    for (int i = 1; i <= x.size(); ++i) {
        current[0] = i;
        for (int j = 1; j <= y.size(); ++j) {
            const int substitution = previous[size_t(j - 1)] + (x[i - 1] == y[j - 1] ? 0 : 1);
            current[size_t(j)] = std::min({previous[size_t(j)] + 1, current[size_t(j - 1)] + 1, substitution});
        }
        std::swap(previous, current);
    }
    const int d = previous[size_t(y.size())];
    return 1.0 - double(d) / double(std::max(x.size(), y.size()));
}

bool looksLikeEcho(const MeetingWord& word, const std::vector<MeetingWord>& near, double window, double similarity) {
    const QString k = MeetingWindow::key(word);
    if (k.isEmpty()) return true;
    for (const auto& n : near)
        if (std::abs(n.start - word.start) <= window && similar(k, MeetingWindow::key(n)) >= similarity) return true;
    return false;
}

std::vector<MeetingWord> dropSpeakerBleed(const std::vector<MeetingWord>& mic, const std::vector<MeetingWord>& system) {
    if (mic.empty() || system.empty()) return mic;
    std::vector<std::pair<QString, double>> heard;
    heard.reserve(system.size());
    for (const auto& w : system) heard.emplace_back(MeetingWindow::key(w), w.start);
    const auto matches = [&](const MeetingWord& w) {
        const QString k = MeetingWindow::key(w);
        if (k.isEmpty()) return false;
        for (const auto& [key, start] : heard)
            if (key == k && std::abs(start - w.start) <= ECHO_WINDOW) return true;
        return false;
    };
    std::vector<bool> removed(mic.size(), false);
    int runStart = -1;
    const auto close = [&](int end) {
        if (runStart >= 0 && end - runStart >= MIN_ECHO_RUN)
            for (int i = runStart; i < end; ++i) removed[size_t(i)] = true;
        runStart = -1;
    };
    for (int i = 0; i < int(mic.size()); ++i) {
        if (!matches(mic[size_t(i)])) {
            close(i);
            continue;
        }
        if (runStart >= 0 && mic[size_t(i)].start - mic[size_t(i - 1)].end > ECHO_WINDOW) close(i);
        if (runStart < 0) runStart = i;
    }
    close(int(mic.size()));
    std::vector<MeetingWord> kept;
    for (size_t i = 0; i < mic.size(); ++i)
        if (!removed[i]) kept.push_back(mic[i]);
    const qsizetype gone = qsizetype(mic.size() - kept.size());
    if (gone > 0)
        logTrace([&] {
            return QStringLiteral("встреча: правило эха отобрало ") + QString::number(gone) + QStringLiteral(" слов из ") +
                   QString::number(mic.size()) + QStringLiteral(" (применяется ли - решает dropBleedEnabled)");
        });
    return kept;
}

namespace {

struct Item {
    const MeetingWord* word;
    QString who;
    bool mine;
};

}  // namespace

std::vector<Line> merge(const std::vector<MeetingWord>& mic, const std::vector<MeetingWord>& system, const QString& meLabel,
                        const QString& themLabel, const std::optional<QStringList>& themLabels, quint16 correctorPort) {
    const std::vector<MeetingWord> kept = dropSpeakerBleed(mic, system);
    const qsizetype total = qsizetype(mic.size());
    const qsizetype removed = total - qsizetype(kept.size());
    const qsizetype percent = removed * 100 / std::max<qsizetype>(total, 1);
    const bool drop = dropBleedEnabled();
    if (drop && removed > 0)
        logLine(QStringLiteral("встреча: убрано ") + QString::number(removed) + QStringLiteral(" слов эха колонок из ") +
                QString::number(total) + QStringLiteral(" (") + QString::number(percent) + QStringLiteral("%) - собеседник остаётся ") +
                QStringLiteral("в системном канале"));
    if (!drop && removed >= 1)
        logLine(QStringLiteral("встреча/тень: правило эха УБРАЛО БЫ ") + QString::number(removed) + QStringLiteral(" слов из ") +
                QString::number(total) + QStringLiteral(" (") + QString::number(percent) + QStringLiteral("%), ") +
                QStringLiteral("но выключено. Включить: \"meetingDropBleed\": true в ") + Defaults::standardPath());
    const std::vector<MeetingWord>& used = drop ? kept : mic;

    std::vector<Item> items;
    items.reserve(used.size() + system.size());
    for (const auto& w : used) items.push_back({&w, meLabel, true});
    for (size_t i = 0; i < system.size(); ++i)
        items.push_back({&system[i], themLabels && qsizetype(i) < themLabels->size() ? themLabels->at(qsizetype(i)) : themLabel, false});
    std::stable_sort(items.begin(), items.end(), [](const Item& a, const Item& b) { return a.word->start < b.word->start; });

    std::vector<Line> lines;
    QStringList current;
    QStringList interjections;
    QSet<QString> languages;
    QHash<QString, int> skipped;
    QString speaker;
    double lineStart = 0;
    double lastEnd = -999;
    int echoFragments = 0;
    const auto flush = [&] {
        if (current.isEmpty()) {
            interjections.clear();
            languages.clear();
            return;
        }
        QString text = current.join(QLatin1Char(' '));
        if (MeetingPolish::shouldPolish(languages, text)) {
            text = MeetingPolish::fix(text, correctorPort);
        } else if (MeetingPolish::isEnabled() && graphemeCount(text) >= MeetingPolish::MIN_CHARS) {
            QStringList codes = languages.values();
            codes.sort();
            ++skipped[MeetingPolish::languageDisagrees(languages, text) ? QStringLiteral("ru по звуку, но текст не похож")
                                                                        : codes.join(QLatin1Char('+'))];
        }
        // The aside comes after punctuation and is never sent to the corrector.
        if (!interjections.isEmpty())
            text += QStringLiteral("  ↳ ") +
                    L(QStringLiteral("meeting.interjection"), QStringLiteral("(вы: %@)"), {interjections.join(QStringLiteral(" · "))});
        lines.push_back({lineStart, speaker, text});
        current.clear();
        interjections.clear();
        languages.clear();
    };

    for (size_t p = 0; p < items.size(); ++p) {
        const Item& item = items[p];
        const MeetingWord& w = *item.word;
        if (item.mine && !speaker.isEmpty() && speaker != meLabel && !current.isEmpty()) {
            size_t run = 0;
            while (p + run < items.size() && items[p + run].mine) ++run;
            if (p + run < items.size() && run <= size_t(INTERJECTION_MAX_WORDS)) {
                if (looksLikeEcho(w, system, MARK_ECHO_WINDOW, INTERJECTION_SIMILARITY))
                    ++echoFragments;
                else
                    interjections << w.text;
                lastEnd = std::max(lastEnd, w.end);
                continue;
            }
        }
        if (item.who != speaker || w.start - lastEnd > GAP) {
            flush();
            speaker = item.who;
            lineStart = w.start;
        }
        current << w.text;
        languages.insert(w.lang.value_or(QStringLiteral("?")));
        lastEnd = w.end;
    }
    flush();

    if (!skipped.isEmpty()) {
        QList<QPair<QString, int>> entries;
        for (auto it = skipped.cbegin(); it != skipped.cend(); ++it) entries.append({it.key(), it.value()});
        std::stable_sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
            return a.second != b.second ? a.second > b.second : a.first < b.first;
        });
        QStringList parts;
        for (const auto& [k, n] : entries) parts << k + QStringLiteral(": ") + QString::number(n);
        logLine(QStringLiteral("встреча/полировка: не тронуто по языку реплик - ") + parts.join(QStringLiteral(", ")) +
                QStringLiteral(" (корректор русский, чужой язык не полируем)"));
    }
    if (echoFragments > 0)
        logLine(QStringLiteral("встреча: ") + QString::number(echoFragments) + QStringLiteral(" обрывков признаны искажённым эхом ") +
                QStringLiteral("(похожи на слова собеседника рядом по времени) и не показаны"));
    return lines;
}

}  // namespace murmelo::MeetingTranscriber
