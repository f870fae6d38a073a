#include "base/AppLanguage.h"

#include "base/Defaults.h"
#include "base/Localization.h"

#include <QLocale>
#include <unicode/locid.h>
#include <unicode/unistr.h>

namespace murmelo::AppLanguage {
namespace {

// The name of a language in the language of another locale, from the platform's locale
// data; empty when it has none (it then only echoes the code back).
QString languageName(const QString& code, const QString& inLanguage) {
    icu::UnicodeString name;
    icu::Locale(code.toUtf8().constData())
        .getDisplayLanguage(icu::Locale(inLanguage.toUtf8().constData()), name);
    const QString text = QString(reinterpret_cast<const QChar*>(name.getBuffer()), name.length());
    if (text.isEmpty() || text == code) return {};
    return text;
}

}  // namespace

const QList<Choice>& choices() {
    static const QList<Choice> list = [] {
        const std::pair<const char*, const char*> languages[] = {
            {"en", "English"},       {"ar", "Арабский"},       {"hu", "Венгерский"},
            {"vi", "Вьетнамский"},   {"el", "Греческий"},      {"da", "Датский"},
            {"id", "Индонезийский"}, {"es", "Испанский"},      {"it", "Итальянский"},
            {"ca", "Каталанский"},   {"zh", "Китайский (упрощённый)"},
            {"ko", "Корейский"},     {"de", "Немецкий"},       {"nl", "Нидерландский"},
            {"nb", "Норвежский (букмол)"},                     {"pl", "Польский"},
            {"pt", "Португальский"}, {"ro", "Румынский"},      {"ru", "Русский"},
            {"tr", "Турецкий"},      {"uk", "Украинский"},     {"fi", "Финский"},
            {"fr", "Французский"},   {"hi", "Хинди"},          {"cs", "Чешский"},
            {"sv", "Шведский"},      {"ja", "Японский"},
        };
        QList<Choice> out{{QString::fromLatin1(system), QStringLiteral("Как в системе"), true}};
        for (const auto& [code, name] : languages) {
            const QString c = QString::fromLatin1(code);
            out.push_back({c, QString::fromUtf8(name), Localization::shipped().contains(c)});
        }
        return out;
    }();
    return list;
}

namespace {
const Choice* find(const QString& code) {
    for (const Choice& c : choices())
        if (c.code == code) return &c;
    return nullptr;
}
}  // namespace

QString current() {
    const auto stored = Defaults::shared().stringValue(QString::fromLatin1(key));
    if (!stored || *stored == QLatin1String(system)) return QString::fromLatin1(system);
    const Choice* c = find(*stored);
    return c && c->available ? c->code : QString::fromLatin1(system);
}

bool select(const QString& code) {
    const Choice* c = find(code);
    if (!c || !c->available) return false;
    const bool differs = code != current();
    Defaults& d = Defaults::shared();
    if (code == QLatin1String(system)) {
        d.remove(QString::fromLatin1(key));
        d.remove(QStringLiteral("AppleLanguages"));
    } else {
        d.set(QString::fromLatin1(key), code);
        d.set(QStringLiteral("AppleLanguages"), QVariantList{code});
    }
    return differs;
}

QString Choice::title() const {
    if (code == QLatin1String(system)) return L("prefs.appLanguage.system", "Как в системе");
    if (code == QLatin1String("en")) return QStringLiteral("English");
    QString display = Localization::language();
    if (display.isEmpty()) display = QLocale::system().name().section('_', 0, 0);
    if (display.isEmpty()) display = QStringLiteral("en");
    QString name = languageName(code, display);
    if (name.isEmpty()) name = languageName(code, QStringLiteral("en"));
    if (name.isEmpty()) name = fallbackName;
    if (!name.isEmpty()) name[0] = name[0].toUpper();
    return name;
}

}  // namespace murmelo::AppLanguage
