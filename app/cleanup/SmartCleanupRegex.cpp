#include "cleanup/SmartCleanupRegex.h"

#include "base/Graphemes.h"

#include <QHash>
#include <algorithm>
#include <mutex>

namespace murmelo::SmartCleanupRegex {

Regex compile(const QString& pattern, std::uint32_t options) { return Regex::compile(pattern, options); }

const Regex& word() {
    static const Regex expression = compile(QStringLiteral(R"([\p{L}\p{N}][\p{L}\p{N}._'’\-]*)"), caseInsensitive);
    return expression;
}

QStringList words(const QString& text) {
    QStringList out;
    for (const Regex::Match& m : word().matches(text)) out.append(m.captured(text));
    return out;
}

QString escapedAlternation(const QStringList& words) {
    // The profiles' vocabularies come back for every text (the launch self-test runs
    // hundreds): each list is sorted and escaped once. Bounded, in case lists keep changing.
    static std::mutex lock;
    static QHash<QStringList, QString> made;
    {
        std::lock_guard guard(lock);
        if (const auto it = made.constFind(words); it != made.constEnd()) return *it;
    }
    struct Entry {
        QString word;
        int length;
    };
    std::vector<Entry> entries;
    entries.reserve(words.size());
    for (const QString& w : words) entries.push_back({w, graphemeCount(w)});
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) { return a.length > b.length; });
    QStringList escaped;
    escaped.reserve(qsizetype(entries.size()));
    for (const Entry& e : entries) escaped.append(Regex::escapedPattern(e.word));
    const QString alternation = escaped.join(QLatin1Char('|'));
    std::lock_guard guard(lock);
    if (made.size() < 512) made.insert(words, alternation);
    return alternation;
}

QString replace(const Regex& regex, const QString& text, const QString& templ) { return regex.replace(text, templ); }

QString replaceWithCallback(const Regex& regex, const QString& text, const Transform& transform) {
    const QList<Regex::Match> found = regex.matches(text);
    if (found.isEmpty()) return text;
    // Asked from the last match back; the text is then put together front to back, as
    // replacing in place would move the rest of the text once per match.
    std::vector<std::optional<QString>> replacements(size_t(found.size()));
    for (qsizetype i = found.size() - 1; i >= 0; --i) replacements[size_t(i)] = transform(found[i], text);
    QString out;
    out.reserve(text.size());
    qsizetype done = 0;
    for (qsizetype i = 0; i < found.size(); ++i) {
        if (!replacements[size_t(i)]) continue;
        out += QStringView(text).mid(done, found[i].start() - done);
        out += *replacements[size_t(i)];
        done = found[i].end();
    }
    out += QStringView(text).mid(done);
    return out;
}

}  // namespace murmelo::SmartCleanupRegex
