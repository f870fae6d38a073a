#include "reply/ReplyProfile.h"

#include "base/Defaults.h"
#include "base/Log.h"

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
