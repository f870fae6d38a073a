#include "layout/LayoutScreenTruth.h"

#include "layout/LayoutMaps.h"

namespace murmelo::LayoutScreenTruth {

std::optional<QString> script(const QString& text) {
    int cyrillic = 0, latin = 0;
    for (QChar c : text) {
        const char16_t u = c.unicode();
        if ((u >= u'а' && u <= u'я') || (u >= u'А' && u <= u'Я') || u == u'ё' || u == u'Ё') ++cyrillic;
        else if ((u >= u'a' && u <= u'z') || (u >= u'A' && u <= u'Z')) ++latin;
    }
    if (cyrillic > 0 && latin == 0) return QStringLiteral("ru");
    if (latin > 0 && cyrillic == 0) return QStringLiteral("en");
    return std::nullopt;
}

std::optional<ScreenTruthVerdict> verdict(const QString& buffer, const QString& field, bool enabled) {
    if (!enabled || buffer.isEmpty() || buffer == field) return std::nullopt;
    const std::optional<QString> s1 = script(buffer), s2 = script(field);
    if (!s1 || !s2 || *s1 == *s2) return std::nullopt;
    const std::optional<QString> retyped = LayoutMaps::convert(buffer, *s1, *s2);
    if (!retyped || *retyped != field) return std::nullopt;
    return ScreenTruthVerdict{*s1, *s2};
}

QString onScreen(const QString& word, const std::optional<ScreenTruthVerdict>& verdict) {
    if (!verdict) return word;
    const std::optional<QString> s = script(word);
    if (!s || *s != verdict->stream) return word;
    return LayoutMaps::convert(word, verdict->stream, verdict->screen).value_or(word);
}

}  // namespace murmelo::LayoutScreenTruth
