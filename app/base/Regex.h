#pragma once
#include <QList>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

namespace murmelo {

// The program's one regular-expression engine: ICU's, for the whole program.
//
// Why ICU and not QRegularExpression (PCRE2): the rules this program carries are written in
// ICU syntax and rely on its exact behaviour: Unicode property classes, look-behind,
// case-insensitive matching that folds Cyrillic (ё/Ё included) the ICU way, "$1" replacement
// templates and match positions in UTF-16 code units. ICU works on UTF-16 natively, so its
// offsets are QString offsets with no conversion, and it is already linked for the language
// names. PCRE2 differs in places (what \s and \w cover without extra flags, case folding
// of some letters, template syntax), and every difference would be a rule that silently
// behaves otherwise.
//
// A compiled expression is immutable and may be shared between threads; each call makes
// its own matcher.
class Regex {
public:
    // Raw values as the platform coder wrote them, so cache keys read "1:pattern".
    enum Option : std::uint32_t {
        CaseInsensitive = 1,
    };

    // One match: the range of the whole match (group 0) and of each capture group, in
    // UTF-16 code units; a group that took no part has start -1.
    struct Match {
        struct Range {
            qsizetype start = -1;
            qsizetype length = 0;
            qsizetype end() const { return start + length; }
            bool found() const { return start >= 0; }
        };
        QList<Range> groups;

        qsizetype start(int group = 0) const { return groups.value(group).start; }
        qsizetype length(int group = 0) const { return groups.value(group).length; }
        qsizetype end(int group = 0) const { return groups.value(group).end(); }
        // The group's text in the text that was searched; empty when it took no part.
        QString captured(const QString& text, int group = 0) const;
    };

    // The cached expression for (options, pattern): compiled on first use, kept for the
    // life of the process. A pattern that does not compile is logged once and gives an
    // expression that matches nothing, so a broken rule is skipped instead of breaking the
    // text it would have changed.
    static Regex compile(const QString& pattern, std::uint32_t options = 0);

    bool isValid() const;
    QString pattern() const;
    std::uint32_t options() const;

    // Every match, left to right.
    QList<Match> matches(const QString& text) const;
    // The first match that starts at or after `from`.
    std::optional<Match> firstMatch(const QString& text, qsizetype from = 0) const;
    bool contains(const QString& text) const { return firstMatch(text).has_value(); }
    // Every match replaced by `templ`, where "$1" stands for a group and a backslash takes
    // the next character literally.
    QString replace(const QString& text, const QString& templ) const;

    // `literal` with every metacharacter escaped, so that it matches itself.
    static QString escapedPattern(const QString& literal);

    struct Impl;

private:
    explicit Regex(std::shared_ptr<const Impl> impl) : impl_(std::move(impl)) {}
    std::shared_ptr<const Impl> impl_;
};

}  // namespace murmelo
