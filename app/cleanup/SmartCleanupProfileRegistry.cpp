#include "cleanup/SmartCleanupProfileRegistry.h"

#include "cleanup/LangGuess.h"

namespace murmelo::SmartCleanupProfileRegistry {

const QList<SmartCleanupLanguageProfile>& defaultProfiles() {
    static const QList<SmartCleanupLanguageProfile> profiles = {SmartCleanupLanguageProfile::russian(),
                                                                SmartCleanupLanguageProfile::english()};
    return profiles;
}

QString languageCode(const QString& language) {
    QString code = language.trimmed().toLower();
    for (qsizetype i = 0; i < code.size(); ++i) {
        if (code[i] == u'-' || code[i] == u'_') {
            code.truncate(i);
            break;
        }
    }
    // whisper.cpp's server names the detected language in English words; only the languages
    // that have a profile need their code.
    if (code == QLatin1String("russian")) return QStringLiteral("ru");
    if (code == QLatin1String("english")) return QStringLiteral("en");
    return code;
}

QList<SmartCleanupLanguageProfile> profiles(const std::optional<QString>& language, const std::optional<QString>& text) {
    if (!language || language->isEmpty()) return defaultProfiles();
    const QString code = languageCode(*language);
    // The recogniser's language tag is trusted only as far as the text bears it out.
    if (text && !agreesWithText(code, *text)) return {};
    QList<SmartCleanupLanguageProfile> out;
    for (const SmartCleanupLanguageProfile& p : defaultProfiles()) {
        if (p.id.rawValue == code) out.append(p);
    }
    return out;
}

bool agreesWithText(const QString& code, const QString& text) {
    using LangGuess::Verdict;
    const Verdict verdict = LangGuess::classify(text).verdict;
    if (code == QLatin1String("ru")) return verdict == Verdict::unknown || verdict == Verdict::ru;
    if (code == QLatin1String("en")) return verdict == Verdict::unknown || verdict == Verdict::latin;
    return true;
}

}  // namespace murmelo::SmartCleanupProfileRegistry
