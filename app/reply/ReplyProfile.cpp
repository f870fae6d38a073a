#include "reply/ReplyProfile.h"

#include "base/Defaults.h"
#include "base/Log.h"
#include "dictation/DictationNeighbours.h"

#include <QStringList>

namespace murmelo {

QString ReplyProfile::signatureKey() { return QStringLiteral("replySignature"); }

QString ReplyProfile::defaultSignature() {
    return Defaults::shared().stringValue(signatureKey()).value_or(QString()).trimmed();
}

void ReplyProfile::setDefaultSignature(const QString& signature) {
    const QString trimmed = signature.trimmed();
    Defaults::shared().set(signatureKey(), trimmed);
    logLine(QStringLiteral("Подпись в письмах: ") +
            (trimmed.isEmpty() ? QStringLiteral("не подписывать") : QStringLiteral("задана")));
}

namespace {

QStringList mediumLines(ReplyProfile::Medium medium, bool compose) {
    switch (medium) {
    case ReplyProfile::Medium::automatic:
        if (compose)
            return {
                QStringLiteral("Decide from the spoken instruction what the user is writing, then format it for that "
                               "medium."),
                QStringLiteral("EMAIL: write a complete email body — greeting, substance in short paragraphs separated "
                               "by blank lines, then a sign-off line."),
                QStringLiteral("CHAT OR MESSENGER MESSAGE: one or two sentences, no greeting, no sign-off, no "
                               "paragraphs."),
                QStringLiteral("COMMENT OR ISSUE: get to the point in the first sentence, no greeting, no sign-off."),
                QStringLiteral("When the instruction says nothing about the medium, write an email: that is what the "
                               "word «письмо» in it means."),
            };
        return {
            QStringLiteral("First decide what medium the quoted message belongs to, then format the reply for that "
                           "medium."),
            QStringLiteral("EMAIL (subject, sender and recipient lines, a signature, or otherwise reads as a letter): "
                           "write a complete email body — greeting addressed to the sender by first name when the "
                           "quoted text shows it, substance in short paragraphs separated by blank lines, then a "
                           "sign-off line. Even a one-line answer becomes greeting, answer, sign-off."),
            QStringLiteral("CHAT OR MESSENGER (short back-and-forth, no signature): one or two sentences, no greeting, "
                           "no sign-off, no paragraphs."),
            QStringLiteral("COMMENT OR ISSUE THREAD: get to the point in the first sentence, no greeting, no sign-off."),
        };
    case ReplyProfile::Medium::letter:
        if (compose)
            return {
                QStringLiteral("Write a complete email body, not a bare sentence."),
                QStringLiteral("Open with a neutral greeting, or address the recipient by name when the spoken "
                               "instruction gives one."),
                QStringLiteral("Put the substance in short paragraphs separated by blank lines."),
                QStringLiteral("Close with a sign-off line."),
                QStringLiteral("Even a one-line message becomes greeting, substance, sign-off."),
            };
        return {
            QStringLiteral("Write a complete email body, not a bare sentence."),
            QStringLiteral("Open with a greeting addressed to the sender by their first name when the quoted text "
                           "shows it, otherwise a neutral greeting."),
            QStringLiteral("Put the substance in short paragraphs separated by blank lines."),
            QStringLiteral("Close with a sign-off line."),
            QStringLiteral("Even a one-line answer becomes greeting, the answer, sign-off."),
        };
    case ReplyProfile::Medium::chat:
        return {
            QStringLiteral("This is a chat message. One or two sentences."),
            QStringLiteral("No greeting, no sign-off, no paragraph breaks, no letter formatting."),
        };
    case ReplyProfile::Medium::comment:
        return {
            QStringLiteral("This is a comment in a thread or issue tracker."),
            QStringLiteral("Get to the point in the first sentence. No greeting, no sign-off."),
        };
    }
    return {};
}

// How a spoken brief becomes prose; `inferred` words it for a task the model decides itself.
QStringList contentBrief(bool inferred) {
    if (inferred)
        return {
            QStringLiteral("When the inferred task is a reply, treat the spoken instruction as a content brief, not "
                           "final wording, unless the user explicitly asks for exact text."),
            QStringLiteral("Turn telegraphic shorthand into natural, complete prose appropriate to the inferred medium "
                           "and level of formality."),
            QStringLiteral("Concise must not become abrupt: an email reply still needs a considerate, human sentence."),
            QStringLiteral("For an inferred email reply, do not copy subjectless telegraphic clauses from spoken "
                           "shorthand; use complete sentences."),
            QStringLiteral("For example, in a Russian email prefer “Я получил результаты” to the telegraphic "
                           "“Результаты получил”; preserve the grammatical person and gender expressed by the user's "
                           "wording."),
            QStringLiteral("When the user asks to thank someone in an inferred email reply, write an explicitly "
                           "courteous thank-you, such as the locale-appropriate equivalent of “Thank you very much”, "
                           "using only what the instruction or message supports. Do not reduce it to a bare "
                           "“Thanks”."),
            QStringLiteral("Do not invent flattery, emotion, apologies, promises, commitments, or relationship "
                           "assumptions."),
        };
    return {
        QStringLiteral("The spoken instruction is a content brief, not final wording, unless the user explicitly asks "
                       "for exact text."),
        QStringLiteral("Turn telegraphic shorthand into natural, complete prose appropriate to the medium and level of "
                       "formality."),
        QStringLiteral("Concise must not become abrupt: an email reply still needs a considerate, human sentence."),
        QStringLiteral("For an email reply, do not copy subjectless telegraphic clauses from spoken shorthand; use "
                       "complete sentences."),
        QStringLiteral("For example, in a Russian email prefer “Я получил результаты” to the telegraphic “Результаты "
                       "получил”; preserve the grammatical person and gender expressed by the user's wording."),
        QStringLiteral("When the user asks to thank someone in an email, write an explicitly courteous thank-you, such "
                       "as the locale-appropriate equivalent of “Thank you very much”, using only what the "
                       "instruction or message supports. Do not reduce it to a bare “Thanks”."),
        QStringLiteral("Do not invent flattery, emotion, apologies, promises, commitments, or relationship "
                       "assumptions."),
    };
}

QString registerLine(ReplyProfile::Tone tone, bool compose) {
    switch (tone) {
    case ReplyProfile::Tone::automatic:
        return compose ? QStringLiteral("Take the level of formality from the spoken instruction; when it gives no "
                                        "hint, use a plain businesslike register.")
                       : QStringLiteral("Match the level of formality of the quoted message.");
    case ReplyProfile::Tone::formal: return QStringLiteral("Use a formal, professional register. Address the reader politely.");
    case ReplyProfile::Tone::neutral: return QStringLiteral("Use a plain, businesslike register: neither stiff nor chatty.");
    case ReplyProfile::Tone::casual:
        return QStringLiteral("Use a relaxed, everyday register, the way colleagues write to each other.");
    }
    return {};
}

QString lengthLine(ReplyProfile::Length length, bool compose) {
    switch (length) {
    case ReplyProfile::Length::matchIncoming:
        return compose ? QStringLiteral("Cover everything the instruction asks for and stop there: no padding, no "
                                        "invented pleasantries.")
                       : QStringLiteral("Length follows the incoming message: a three-line note does not deserve five "
                                        "paragraphs, and a detailed letter is not answered with four words.");
    case ReplyProfile::Length::shortForm: return QStringLiteral("Keep it short: the shortest form that fully answers.");
    case ReplyProfile::Length::detailed:
        return QStringLiteral("Cover the points of the incoming message explicitly, but do not pad.");
    }
    return {};
}

}  // namespace

QString ReplyProfile::promptRules(ReplyTaskKind task) const {
    if (task == ReplyTaskKind::translate) return {};
    const bool compose = task == ReplyTaskKind::compose;
    QStringList lines = mediumLines(medium, compose);
    if (task == ReplyTaskKind::reply || task == ReplyTaskKind::automatic)
        lines += contentBrief(task == ReplyTaskKind::automatic);
    lines << registerLine(tone, compose) << lengthLine(length, compose);
    const QString name = signature.trimmed();
    if (medium == Medium::chat)
        lines << QStringLiteral("Never append a signature.");
    else if (!name.isEmpty())
        lines << QStringLiteral("When the reply ends with a sign-off, put this name on the following line, exactly as "
                                "written: ") +
                     name;
    else
        lines << QStringLiteral("Do not invent a signature or a name placeholder: end with the sign-off line only.");
    const QString rule = extra.trimmed();
    if (!rule.isEmpty())
        lines << QStringLiteral("The user's own standing rule for this application, which overrides the guidance above "
                                "where they disagree: ") +
                     rule;
    return lines.join(u'\n');
}

QString rawValue(ReplyProfile::Medium medium) {
    switch (medium) {
    case ReplyProfile::Medium::automatic: return QStringLiteral("auto");
    case ReplyProfile::Medium::letter: return QStringLiteral("letter");
    case ReplyProfile::Medium::chat: return QStringLiteral("chat");
    case ReplyProfile::Medium::comment: return QStringLiteral("comment");
    }
    return QStringLiteral("auto");
}

QString rawValue(ReplyProfile::Tone tone) {
    switch (tone) {
    case ReplyProfile::Tone::automatic: return QStringLiteral("auto");
    case ReplyProfile::Tone::formal: return QStringLiteral("formal");
    case ReplyProfile::Tone::neutral: return QStringLiteral("neutral");
    case ReplyProfile::Tone::casual: return QStringLiteral("casual");
    }
    return QStringLiteral("auto");
}

QString rawValue(ReplyProfile::Length length) {
    switch (length) {
    case ReplyProfile::Length::matchIncoming: return QStringLiteral("matchIncoming");
    case ReplyProfile::Length::shortForm: return QStringLiteral("short");
    case ReplyProfile::Length::detailed: return QStringLiteral("detailed");
    }
    return QStringLiteral("matchIncoming");
}

QString title(ReplyProfile::Medium medium) {
    switch (medium) {
    case ReplyProfile::Medium::automatic: return QStringLiteral("Определять по тексту");
    case ReplyProfile::Medium::letter: return QStringLiteral("Письмо");
    case ReplyProfile::Medium::chat: return QStringLiteral("Чат");
    case ReplyProfile::Medium::comment: return QStringLiteral("Комментарий");
    }
    return {};
}

QString title(ReplyProfile::Tone tone) {
    switch (tone) {
    case ReplyProfile::Tone::automatic: return QStringLiteral("Как в исходном");
    case ReplyProfile::Tone::formal: return QStringLiteral("Официальный");
    case ReplyProfile::Tone::neutral: return QStringLiteral("Нейтральный");
    case ReplyProfile::Tone::casual: return QStringLiteral("Свободный");
    }
    return {};
}

QString title(ReplyProfile::Length length) {
    switch (length) {
    case ReplyProfile::Length::matchIncoming: return QStringLiteral("По входящему");
    case ReplyProfile::Length::shortForm: return QStringLiteral("Коротко");
    case ReplyProfile::Length::detailed: return QStringLiteral("Подробно");
    }
    return {};
}

const QList<ReplyProfile::Medium>& allMediums() {
    static const QList<ReplyProfile::Medium> all = {ReplyProfile::Medium::automatic, ReplyProfile::Medium::letter,
                                                    ReplyProfile::Medium::chat, ReplyProfile::Medium::comment};
    return all;
}

const QList<ReplyProfile::Tone>& allTones() {
    static const QList<ReplyProfile::Tone> all = {ReplyProfile::Tone::automatic, ReplyProfile::Tone::formal,
                                                  ReplyProfile::Tone::neutral, ReplyProfile::Tone::casual};
    return all;
}

const QList<ReplyProfile::Length>& allLengths() {
    static const QList<ReplyProfile::Length> all = {ReplyProfile::Length::matchIncoming,
                                                    ReplyProfile::Length::shortForm, ReplyProfile::Length::detailed};
    return all;
}

namespace {
template <typename E>
std::optional<E> fromRaw(const QList<E>& all, const QString& raw) {
    for (const E e : all)
        if (rawValue(e) == raw) return e;
    return std::nullopt;
}
}  // namespace

std::optional<ReplyProfile::Medium> mediumFromRaw(const QString& raw) { return fromRaw(allMediums(), raw); }
std::optional<ReplyProfile::Tone> toneFromRaw(const QString& raw) { return fromRaw(allTones(), raw); }
std::optional<ReplyProfile::Length> lengthFromRaw(const QString& raw) { return fromRaw(allLengths(), raw); }

}  // namespace murmelo
