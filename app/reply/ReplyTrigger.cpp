#include "reply/ReplyTrigger.h"

#include <algorithm>

namespace murmelo::ReplyTrigger {

namespace {

bool endsPhrase(QChar c) {
    return c.isSpace() || c == u',' || c == u':' || c == u'.' || c == u'-' || c == u'!' || c == u'?';
}

// Exactly these nine: a line break other than line feed, or a non-breaking space, stays.
bool trimmedFromIntent(QChar c) {
    return c == u' ' || c == u',' || c == u':' || c == u'.' || c == u'-' || c == u'!' || c == u'?' || c == u'\n' ||
           c == u'\t';
}

QString trimIntent(QStringView text) {
    while (!text.isEmpty() && trimmedFromIntent(text.front())) text = text.mid(1);
    while (!text.isEmpty() && trimmedFromIntent(text.back())) text.chop(1);
    return text.toString();
}

std::optional<ReplyCommand> parse(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    for (const Phrase& p : phrases()) {
        const qsizetype n = p.phrase.size();
        // Case is folded one code unit at a time, so positions in the dictated text stay.
        if (trimmed.size() < n || QStringView(trimmed).left(n).compare(p.phrase, Qt::CaseInsensitive) != 0) continue;
        if (trimmed.size() > n && !endsPhrase(trimmed.at(n))) continue;
        if (p.kind == ReplyTaskKind::translate) return ReplyCommand{p.kind, trimmed};
        const QString intent = trimIntent(QStringView(trimmed).mid(n));
        if (!intent.isEmpty()) return ReplyCommand{p.kind, intent};
        if (p.kind == ReplyTaskKind::reply) return ReplyCommand{p.kind, defaultIntent};
        return std::nullopt;
    }
    return std::nullopt;
}

}  // namespace

const QList<Phrase>& phrases() {
    static const QList<Phrase> table = [] {
        using K = ReplyTaskKind;
        QList<Phrase> t{
            {QStringLiteral("ответь на это сообщение"), K::reply},
            {QStringLiteral("переведи на английский"), K::translate},
            {QStringLiteral("ответь на это письмо"), K::reply},
            {QStringLiteral("ответь на сообщение"), K::reply},
            {QStringLiteral("напиши ответ на это"), K::reply},
            {QStringLiteral("переведи на русский"), K::translate},
            {QStringLiteral("ответь на письмо"), K::reply},
            {QStringLiteral("напиши сообщение"), K::compose},
            {QStringLiteral("составь письмо"), K::compose},
            {QStringLiteral("ответь на это"), K::reply},
            {QStringLiteral("напиши письмо"), K::compose},
            {QStringLiteral("напиши ответ"), K::reply},
            {QStringLiteral("переведи это"), K::translate},
            {QStringLiteral("переведи"), K::translate},
            {QStringLiteral("ответь"), K::reply},
        };
        std::stable_sort(t.begin(), t.end(),
                         [](const Phrase& a, const Phrase& b) { return a.phrase.size() > b.phrase.size(); });
        return t;
    }();
    return table;
}

const QSet<QString>& assistantApps() {
    static const QSet<QString> ids{
        QStringLiteral("com.anthropic.claudefordesktop"),
        QStringLiteral("com.openai.codex"),
        QStringLiteral("com.openai.chat"),
    };
    return ids;
}

bool isAssistantApp(const std::optional<QString>& bundleID) {
    return bundleID && assistantApps().contains(bundleID->toLower());
}

std::optional<ReplyCommand> detect(const QString& text, const std::optional<QString>& app) {
    if (isAssistantApp(app)) return std::nullopt;
    return parse(text);
}

std::optional<ReplyCommand> byKey(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty()) return std::nullopt;
    if (auto command = parse(trimmed)) return command;
    return ReplyCommand{ReplyTaskKind::automatic, trimmed};
}

}  // namespace murmelo::ReplyTrigger
