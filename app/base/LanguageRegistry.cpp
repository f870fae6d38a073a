#include "base/LanguageRegistry.h"

#include <QHash>
#include <algorithm>

namespace murmelo::LanguageRegistry {
namespace {

const QHash<QString, LanguageAbility>& table() {
    static const QHash<QString, LanguageAbility> t = [] {
        QHash<QString, LanguageAbility> h;
        h.insert("ru", {true, true, true, true, true, true});
        h.insert("en", {true, true, false, true, true, false});
        for (const char* code : {"es", "it", "pt", "de", "fr", "nl", "pl", "uk", "tr", "id", "vi", "ja", "ar"})
            h.insert(QString::fromLatin1(code), {true, false, false, false, false, false});
        return h;
    }();
    return t;
}

}  // namespace

LanguageAbility ability(const QString& code) { return table().value(code); }

QString normalized(const QString& code) {
    qsizetype cut = code.size();
    for (QChar sep : {QChar('-'), QChar('_')}) {
        const qsizetype i = code.indexOf(sep);
        if (i >= 0 && i < cut) cut = i;
    }
    return code.left(cut).toLower();
}

QStringList languages(const std::function<bool(const LanguageAbility&)>& where) {
    QStringList out;
    for (auto it = table().cbegin(); it != table().cend(); ++it)
        if (where(it.value())) out << it.key();
    std::sort(out.begin(), out.end());
    return out;
}

bool hasExtras(const QString& code) {
    const LanguageAbility a = ability(code);
    return a.interfaceShipped || a.punctuation || a.textCleanup || a.layout || a.modeTriggers;
}

}  // namespace murmelo::LanguageRegistry
