#include "cleanup/SmartCleanupProfileRegistry.h"

#include "cleanup/LangGuess.h"

namespace murmelo::SmartCleanupProfileRegistry {

const QList<SmartCleanupLanguageProfile>& defaultProfiles() {
    static const QList<SmartCleanupLanguageProfile> profiles = {SmartCleanupLanguageProfile::russian(),
                                                                SmartCleanupLanguageProfile::english()};
    return profiles;
}

QList<SmartCleanupLanguageProfile> profiles(const std::optional<QString>& language, const std::optional<QString>& text) {
    if (!language || language->isEmpty()) return defaultProfiles();
    QString code = language->toLower();
    for (qsizetype i = 0; i < code.size(); ++i) {
        if (code[i] == u'-' || code[i] == u'_') {
            code.truncate(i);
            break;
        }
    }
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
