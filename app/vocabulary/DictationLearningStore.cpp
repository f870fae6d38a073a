#include "vocabulary/DictationLearningStore.h"

#include "base/Defaults.h"
#include "base/Graphemes.h"
#include "base/Regex.h"
#include "platform/MainQueue.h"

#include <QJsonDocument>
#include <QSet>

#include <algorithm>

namespace murmelo {
namespace {

const QString kTokenPattern = QStringLiteral("[\\p{L}\\p{N}][\\p{L}\\p{N}._'’\\-]*");
const QString kWordStart = QStringLiteral("(?<![\\p{L}\\p{N}_])");
const QString kWordEnd = QStringLiteral("(?![\\p{L}\\p{N}_])");
const QString kWordGap = QStringLiteral("\\s+");

void newestFirst(QList<LearnedDictationReplacement>& rules) {
    std::stable_sort(rules.begin(), rules.end(),
                     [](const auto& a, const auto& b) { return a.createdAt > b.createdAt; });
}

QStringList words(const QString& text) {
    QStringList out;
    QString current;
    for (const QChar c : text) {
        if (c.isSpace()) {
            if (!current.isEmpty()) out << current;
            current.clear();
        } else {
            current += c;
        }
    }
    if (!current.isEmpty()) out << current;
    return out;
}

QStringList tokens(const QString& text) {
    static const Regex token = Regex::compile(kTokenPattern);
    QStringList out;
    for (const Regex::Match& m : token.matches(text)) out << m.captured(text);
    return out;
}

// Every match replaced by the text exactly as written.
QString replaceLiterally(const Regex& regex, const QString& text, const QString& replacement) {
    const QList<Regex::Match> matches = regex.matches(text);
    if (matches.isEmpty()) return text;
    QString out;
    qsizetype at = 0;
    for (const Regex::Match& m : matches) {
        out += QStringView(text).mid(at, m.start() - at);
        out += replacement;
        at = m.end();
    }
    out += QStringView(text).mid(at);
    return out;
}

}  // namespace

DictationLearningStore& DictationLearningStore::shared() {
    static DictationLearningStore store;
    return store;
}

DictationLearningStore::DictationLearningStore(Defaults* defaults) : defaults_(defaults) {}

Defaults& DictationLearningStore::defaults() const { return defaults_ ? *defaults_ : Defaults::shared(); }

DictationLearningStore::Stored DictationLearningStore::read() const {
    Stored stored;
    const QByteArray data = defaults().dataValue(rulesKey);
    if (data.isEmpty()) return stored;
    const QJsonDocument doc = QJsonDocument::fromJson(data);
    if (!doc.isArray()) return stored;
    for (const QJsonValue& element : doc.array()) {
        if (auto rule = LearnedDictationReplacement::fromJson(element))
            stored.rules.append(*rule);
        else
            stored.unreadable.append(element);
    }
    return stored;
}

void DictationLearningStore::persist(const QList<LearnedDictationReplacement>& rules, const QJsonArray& unreadable) {
    if (rules.isEmpty() && unreadable.isEmpty()) {
        defaults().remove(rulesKey);
        return;
    }
    QJsonArray array;
    for (const auto& rule : rules) array.append(rule.toJson());
    // A record this build cannot read is written back untouched rather than lost.
    for (const QJsonValue& element : unreadable) array.append(element);
    defaults().set(rulesKey, QJsonDocument(array).toJson(QJsonDocument::Compact));
}

QList<LearnedDictationReplacement> DictationLearningStore::rules() const {
    QList<LearnedDictationReplacement> rules = read().rules;
    newestFirst(rules);
    return rules;
}

void DictationLearningStore::recordLast(const QString& sourceText, const QString& deliveredText,
                                        const std::optional<DictationContext>& context,
                                        SmartCleanupMode cleanupMode) {
    latestDelivered_ = LastDeliveredDictation{sourceText, deliveredText, context, cleanupMode, Clock::shared().now()};
}

void DictationLearningStore::add(const LearnedDictationReplacement& rule) {
    Stored stored = read();
    QList<LearnedDictationReplacement> list = stored.rules;
    newestFirst(list);
    list.removeIf([&](const LearnedDictationReplacement& r) {
        return r.source.compare(rule.source, Qt::CaseInsensitive) == 0 && r.scope == rule.scope &&
               r.bundleID == rule.bundleID;
    });
    list.prepend(rule);
    persist(list, stored.unreadable);
}

void DictationLearningStore::remove(const QString& id) {
    Stored stored = read();
    QList<LearnedDictationReplacement> list = stored.rules;
    newestFirst(list);
    list.removeIf([&](const LearnedDictationReplacement& r) { return r.id == id; });
    persist(list, stored.unreadable);
}

void DictationLearningStore::clear() { defaults().remove(rulesKey); }

bool DictationLearningStore::applies(const LearnedDictationReplacement& rule, const std::optional<QString>& bundleID) {
    return rule.scope == DictationLearningScope::global || rule.bundleID == bundleID;
}

QString DictationLearningStore::apply(const QString& text, const std::optional<DictationContext>& context) const {
    return apply(rules(), text, context ? std::optional<QString>(context->bundleID) : std::nullopt);
}

QString DictationLearningStore::apply(const QList<LearnedDictationReplacement>& rules, const QString& text,
                                      const std::optional<QString>& bundleID) {
    struct Ordered {
        const LearnedDictationReplacement* rule;
        int length;
    };
    QList<Ordered> ordered;
    for (const auto& rule : rules)
        if (applies(rule, bundleID)) ordered.append({&rule, graphemeCount(rule.source)});
    std::stable_sort(ordered.begin(), ordered.end(), [](const Ordered& x, const Ordered& y) {
        if (x.rule->scope != y.rule->scope) return x.rule->scope == DictationLearningScope::application;
        return x.length > y.length;
    });

    QString current = text;
    QSet<QString> seen;
    for (const Ordered& o : ordered) {
        const QString key = o.rule->source.toLower();
        if (seen.contains(key)) continue;
        seen.insert(key);
        const QStringList parts = words(o.rule->source);
        if (parts.isEmpty()) continue;
        QStringList escaped;
        for (const QString& w : parts) escaped << Regex::escapedPattern(w);
        const Regex regex = Regex::compile(kWordStart + escaped.join(kWordGap) + kWordEnd, Regex::CaseInsensitive);
        if (!regex.isValid()) continue;
        current = replaceLiterally(regex, current, o.rule->replacement);
    }
    return current;
}

QStringList DictationLearningStore::promptTerms(const std::optional<DictationContext>& context) const {
    const std::optional<QString> bundleID = context ? std::optional<QString>(context->bundleID) : std::nullopt;
    QStringList terms;
    QSet<QString> taken;
    for (const auto& rule : rules()) {
        if (!applies(rule, bundleID)) continue;
        const QString key = rule.replacement.toLower();
        if (taken.contains(key)) continue;
        taken.insert(key);
        terms << rule.replacement;
    }
    return terms;
}

std::optional<DictationCorrectionCandidate> DictationLearningStore::correctionCandidate(const QString& original,
                                                                                        const QString& corrected) const {
    const QStringList oldTokens = tokens(original);
    const QStringList newTokens = tokens(corrected);
    if (oldTokens.isEmpty() || newTokens.isEmpty()) return std::nullopt;

    const qsizetype shorter = std::min(oldTokens.size(), newTokens.size());
    qsizetype prefix = 0;
    while (prefix < shorter && oldTokens[prefix] == newTokens[prefix]) ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix &&
           oldTokens[oldTokens.size() - 1 - suffix] == newTokens[newTokens.size() - 1 - suffix])
        ++suffix;

    const QStringList oldSpan = oldTokens.mid(prefix, oldTokens.size() - prefix - suffix);
    const QStringList newSpan = newTokens.mid(prefix, newTokens.size() - prefix - suffix);
    if (oldSpan.isEmpty() || newSpan.isEmpty()) return std::nullopt;
    // An unchanged word must anchor the change, or any rewrite would become a rule.
    if (prefix == 0 && suffix == 0) return std::nullopt;
    if (oldSpan.size() > 5 || newSpan.size() > 5) return std::nullopt;

    const QString source = oldSpan.join(QLatin1Char(' '));
    const QString replacement = newSpan.join(QLatin1Char(' '));
    const int sourceLength = graphemeCount(source);
    const int replacementLength = graphemeCount(replacement);
    if (sourceLength < 2 || replacement.isEmpty() || sourceLength > 80 || replacementLength > 80 ||
        source == replacement)
        return std::nullopt;
    return DictationCorrectionCandidate{source, replacement};
}

}  // namespace murmelo
