#include "base/Regex.h"

#include "base/Log.h"

#include <QHash>

#include <mutex>
#include <unicode/regex.h>
#include <unicode/unistr.h>
#include <unicode/utypes.h>

namespace murmelo {

struct Regex::Impl {
    QString pattern;
    std::uint32_t options = 0;
    std::unique_ptr<icu::RegexPattern> compiled;  // null when the pattern did not compile
};

namespace {

// A read-only ICU view of the QString's UTF-16 buffer: no copy, and ICU's offsets are
// the QString's offsets.
icu::UnicodeString view(const QString& text) {
    return icu::UnicodeString(false, reinterpret_cast<const char16_t*>(text.utf16()), int32_t(text.size()));
}

QString toQString(const icu::UnicodeString& s) {
    return QString(reinterpret_cast<const QChar*>(s.getBuffer()), s.length());
}

std::uint32_t icuFlags(std::uint32_t options) {
    std::uint32_t flags = 0;
    if (options & Regex::CaseInsensitive) flags |= UREGEX_CASE_INSENSITIVE;
    return flags;
}

std::shared_ptr<const Regex::Impl> build(const QString& pattern, std::uint32_t options) {
    auto impl = std::make_shared<Regex::Impl>();
    impl->pattern = pattern;
    impl->options = options;
    UParseError parseError{};
    UErrorCode status = U_ZERO_ERROR;
    // The pattern is copied: compiled expressions outlive the caller's string.
    icu::UnicodeString source(reinterpret_cast<const char16_t*>(pattern.utf16()), int32_t(pattern.size()));
    impl->compiled.reset(icu::RegexPattern::compile(source, icuFlags(options), parseError, status));
    if (U_FAILURE(status)) {
        impl->compiled.reset();
        logLine(QStringLiteral("regex: выражение не собрано (%1, смещение %2), правило пропускается: %3")
                    .arg(QString::fromLatin1(u_errorName(status)))
                    .arg(parseError.offset)
                    .arg(pattern));
    }
    return impl;
}

std::mutex g_cacheMutex;

QHash<QString, std::shared_ptr<const Regex::Impl>>& cache() {
    static QHash<QString, std::shared_ptr<const Regex::Impl>> entries;
    return entries;
}

Regex::Match matchOf(icu::RegexMatcher& m) {
    Regex::Match match;
    UErrorCode status = U_ZERO_ERROR;
    const int32_t count = m.groupCount();
    match.groups.reserve(count + 1);
    for (int32_t g = 0; g <= count; ++g) {
        const int32_t s = m.start(g, status);
        const int32_t e = m.end(g, status);
        if (U_FAILURE(status) || s < 0) {
            match.groups.append(Regex::Match::Range{});
            status = U_ZERO_ERROR;
        } else {
            match.groups.append(Regex::Match::Range{s, e - s});
        }
    }
    return match;
}

}  // namespace

QString Regex::Match::captured(const QString& text, int group) const {
    const Range r = groups.value(group);
    return r.found() ? text.mid(r.start, r.length) : QString();
}

Regex Regex::compile(const QString& pattern, std::uint32_t options) {
    const QString key = QString::number(options) + QLatin1Char(':') + pattern;
    {
        std::lock_guard lock(g_cacheMutex);
        if (auto it = cache().constFind(key); it != cache().constEnd()) return Regex(it.value());
    }
    // Built outside the lock; when two threads race, the first stored entry wins.
    auto built = build(pattern, options);
    std::lock_guard lock(g_cacheMutex);
    auto it = cache().constFind(key);
    if (it == cache().constEnd()) it = cache().insert(key, built);
    return Regex(it.value());
}

bool Regex::isValid() const { return impl_ && impl_->compiled; }
QString Regex::pattern() const { return impl_ ? impl_->pattern : QString(); }
std::uint32_t Regex::options() const { return impl_ ? impl_->options : 0; }

QList<Regex::Match> Regex::matches(const QString& text) const {
    QList<Match> out;
    if (!isValid()) return out;
    const icu::UnicodeString input = view(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->compiled->matcher(input, status));
    if (U_FAILURE(status)) return out;
    while (m->find(status) && U_SUCCESS(status)) out.append(matchOf(*m));
    return out;
}

std::optional<Regex::Match> Regex::firstMatch(const QString& text, qsizetype from) const {
    if (!isValid() || from < 0 || from > text.size()) return std::nullopt;
    const icu::UnicodeString input = view(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->compiled->matcher(input, status));
    if (U_FAILURE(status)) return std::nullopt;
    if (!m->find(int64_t(from), status) || U_FAILURE(status)) return std::nullopt;
    return matchOf(*m);
}

QString Regex::replace(const QString& text, const QString& templ) const {
    if (!isValid()) return text;
    const icu::UnicodeString input = view(text);
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::RegexMatcher> m(impl_->compiled->matcher(input, status));
    if (U_FAILURE(status)) return text;
    const icu::UnicodeString result = m->replaceAll(view(templ), status);
    return U_FAILURE(status) ? text : toQString(result);
}

QString Regex::escapedPattern(const QString& literal) {
    static const QString meta = QStringLiteral("\\^$.|?*+()[]{}");
    QString out;
    out.reserve(literal.size() * 2);
    for (const QChar c : literal) {
        if (meta.contains(c)) out += QLatin1Char('\\');
        out += c;
    }
    return out;
}

}  // namespace murmelo
