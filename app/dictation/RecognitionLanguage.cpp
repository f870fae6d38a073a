#include "dictation/RecognitionLanguage.h"

#include "base/Defaults.h"

namespace murmelo::RecognitionLanguage {

const QList<std::pair<QString, QString>>& choices() {
    static const QList<std::pair<QString, QString>> list{
        {QStringLiteral("en"), QStringLiteral("English")},    {QStringLiteral("es"), QStringLiteral("Español")},
        {QStringLiteral("it"), QStringLiteral("Italiano")},   {QStringLiteral("pt"), QStringLiteral("Português")},
        {QStringLiteral("de"), QStringLiteral("Deutsch")},    {QStringLiteral("fr"), QStringLiteral("Français")},
        {QStringLiteral("nl"), QStringLiteral("Nederlands")}, {QStringLiteral("pl"), QStringLiteral("Polski")},
        {QStringLiteral("uk"), QStringLiteral("Українська")}, {QStringLiteral("ru"), QStringLiteral("Русский")},
        {QStringLiteral("tr"), QStringLiteral("Türkçe")},     {QStringLiteral("id"), QStringLiteral("Bahasa Indonesia")},
        {QStringLiteral("vi"), QStringLiteral("Tiếng Việt")}, {QStringLiteral("ja"), QStringLiteral("日本語")},
        {QStringLiteral("ar"), QStringLiteral("العربية")},
    };
    return list;
}

QString current() {
    const QString stored = Defaults::shared().stringValue(QString::fromLatin1(key)).value_or(QString());
    if (stored == QLatin1String(autoCode)) return stored;
    for (const auto& choice : choices())
        if (choice.first == stored) return stored;
    return QString::fromLatin1(autoCode);
}

void setCurrent(const QString& code) { Defaults::shared().set(QString::fromLatin1(key), code); }

std::optional<QString> requestField() {
    const QString code = current();
    if (code == QLatin1String(autoCode)) return std::nullopt;
    return code;
}

}  // namespace murmelo::RecognitionLanguage
