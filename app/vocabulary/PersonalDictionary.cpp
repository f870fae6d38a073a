#include "vocabulary/PersonalDictionary.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"

#include <QSet>

#include <mutex>

namespace murmelo::PersonalDictionary {
namespace {

std::mutex& lock() {
    static std::mutex m;
    return m;
}

// Guarded by lock(). The domain the set was built from goes with it, so that a set built
// from one domain never answers for another one installed later.
std::optional<QSet<QString>> cachedLower;
const Defaults* cachedFrom = nullptr;

QSet<QString> lowered(const QStringList& list) {
    QSet<QString> out;
    out.reserve(list.size());
    for (const QString& w : list) out.insert(w.toLower());
    return out;
}

// A grapheme's properties are those of its base character.
char32_t base(const QString& grapheme) { return grapheme.isEmpty() ? 0 : grapheme.toUcs4().value(0); }
bool isLetter(const QString& g) { return QChar::isLetter(base(g)); }

bool isAllowedInner(const QString& g) {
    return g == QLatin1String("-") || g == QLatin1String("'") || g == QStringLiteral("’") || g == QLatin1String(".");
}

void store(const QStringList& list) {
    Defaults& defaults = Defaults::shared();
    defaults.set(KEY, list);
    std::lock_guard guard(lock());
    cachedLower = lowered(list);
    cachedFrom = &defaults;
}

}  // namespace

QStringList words() { return Defaults::shared().stringListValue(KEY); }

int count() { return int(words().size()); }

bool knows(const QString& word) {
    const QString lower = word.toLower();
    if (lower.isEmpty()) return false;
    const Defaults* domain = &Defaults::shared();
    std::lock_guard guard(lock());
    if (!cachedLower || cachedFrom != domain) {
        cachedLower = lowered(words());
        cachedFrom = domain;
    }
    return cachedLower->contains(lower);
}

std::optional<QString> normalized(const QString& word) {
    const QString trimmed = word.trimmed();
    const QStringList chars = graphemes(trimmed);
    if (chars.size() < MIN_LENGTH || chars.size() > MAX_LENGTH) return std::nullopt;
    for (const QString& g : chars) {
        const char32_t c = base(g);
        if (QChar::isNumber(c) || QChar::isSpace(c)) return std::nullopt;
    }
    for (const QString& g : chars)
        if (!isLetter(g) && !isAllowedInner(g)) return std::nullopt;
    if (!isLetter(chars.first()) || !isLetter(chars.last())) return std::nullopt;
    return trimmed;
}

bool add(const QString& word) {
    const auto normal = normalized(word);
    if (!normal) return false;
    if (knows(*normal)) return false;
    QStringList list = words();
    list.prepend(*normal);
    if (list.size() > LIMIT) list = list.mid(0, LIMIT);
    store(list);
    return true;
}

void setWords(const QStringList& list) {
    QStringList result;
    QSet<QString> taken;
    for (const QString& entry : list) {
        if (result.size() >= LIMIT) break;
        const auto normal = normalized(entry);
        if (!normal) continue;
        const QString lower = normal->toLower();
        if (taken.contains(lower)) continue;
        taken.insert(lower);
        result << *normal;
    }
    store(result);
}

QStringList parse(const QString& text) {
    QStringList out;
    QString piece;
    auto flush = [&] {
        const QString t = piece.trimmed();
        if (!t.isEmpty()) out << t;
        piece.clear();
    };
    for (const QChar c : text) {
        if (c == QLatin1Char(',') || c == QLatin1Char('\n'))
            flush();
        else
            piece += c;
    }
    flush();
    return out;
}

QString joined() { return words().join(QStringLiteral(", ")); }

void invalidateCache() {
    std::lock_guard guard(lock());
    cachedLower.reset();
    cachedFrom = nullptr;
}

}  // namespace murmelo::PersonalDictionary
