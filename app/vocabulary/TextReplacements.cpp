#include "vocabulary/TextReplacements.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Log.h"
#include "base/Regex.h"

#include <memory>
#include <mutex>

namespace murmelo::TextReplacements {

namespace {

// The parsed rules are swapped as a whole, so a reader off the main thread sees the old
// list, the new one or none, never one being changed.
std::mutex g_cacheMutex;
std::shared_ptr<const QList<Rule>> g_cache;
// Counts invalidations, so that rules parsed from a text that changed meanwhile are not kept.
quint64 g_generation = 0;

// White space that is not a line break.
bool isLineSpace(QChar c) {
    static const QString breaks = QStringLiteral("\n\r\x0B\x0C\u0085\u2028\u2029");
    return c.isSpace() && !breaks.contains(c);
}

QString trimmed(const QString& s) {
    qsizetype start = 0, end = s.size();
    while (start < end && isLineSpace(s[start])) ++start;
    while (end > start && isLineSpace(s[end - 1])) --end;
    return s.mid(start, end - start);
}

// The replacement taken literally: no group references, no escapes.
QString literalTemplate(const QString& text) {
    QString out;
    out.reserve(text.size());
    for (QChar c : text) {
        if (c == u'\\' || c == u'$') out += u'\\';
        out += c;
    }
    return out;
}

}  // namespace

bool Rule::caseSensitive() const {
    for (const QString& g : graphemes(from)) {
        const QList<uint> scalars = g.toUcs4();
        if (scalars.size() == 1 ? QChar::isUpper(scalars[0]) : (g.toLower() != g && g.toUpper() == g)) return true;
    }
    return false;
}

QString raw() { return Defaults::shared().stringValue(QString::fromLatin1(key)).value_or(QString()); }

void setRaw(const QString& text) {
    Defaults::shared().set(QString::fromLatin1(key), text);
    invalidateCache();
    logLine(QStringLiteral("Замены после распознавания: правил ") + QString::number(parse(text).size()));
}

QList<Rule> rules() {
    quint64 generation = 0;
    {
        std::lock_guard lock(g_cacheMutex);
        if (g_cache) return *g_cache;
        generation = g_generation;
    }
    auto parsed = std::make_shared<const QList<Rule>>(parse(raw()));
    std::lock_guard lock(g_cacheMutex);
    if (generation == g_generation) g_cache = parsed;
    return *parsed;
}

void invalidateCache() {
    std::lock_guard lock(g_cacheMutex);
    g_cache.reset();
    ++g_generation;
}

QList<Rule> parse(const QString& text) {
    QList<Rule> out;
    for (const QString& rawLine : text.split(u'\n', Qt::SkipEmptyParts)) {
        const QString line = trimmed(rawLine);
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0) continue;
        Rule rule{trimmed(line.left(eq)), trimmed(line.mid(eq + 1))};
        if (rule.from.isEmpty()) continue;
        out << rule;
    }
    return out;
}

QString apply(const QString& text) {
    const QList<Rule> list = rules();
    if (list.isEmpty() || text.isEmpty()) return text;
    QString out = text;
    for (const Rule& rule : list) out = applyOne(rule, out);
    return out;
}

QString applyOne(const Rule& rule, const QString& text) {
    QStringList words;
    QString current;
    for (QChar c : rule.from) {
        if (!c.isSpace()) {
            current += c;
        } else if (!current.isEmpty()) {
            words << current;
            current.clear();
        }
    }
    if (!current.isEmpty()) words << current;
    if (words.isEmpty()) return text;
    QStringList escaped;
    for (const QString& w : words) escaped << Regex::escapedPattern(w);
    const QString pattern = QStringLiteral("(?<![\\p{L}\\p{N}_])") + escaped.join(QStringLiteral("[\\s.,]*")) +
                            QStringLiteral("(?![\\p{L}\\p{N}_])");
    const Regex regex = Regex::compile(pattern, rule.caseSensitive() ? 0u : std::uint32_t(Regex::CaseInsensitive));
    if (!regex.isValid()) return text;
    return regex.replace(text, literalTemplate(rule.to));
}

}  // namespace murmelo::TextReplacements
