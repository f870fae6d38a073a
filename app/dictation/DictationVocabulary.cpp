#include "dictation/DictationVocabulary.h"

#include "base/Log.h"

#include <memory>

namespace murmelo {

namespace {

std::function<void()> sayOnce(const char* entry) {
    auto said = std::make_shared<bool>(false);
    return [entry, said] {
        if (*said) return;
        *said = true;
        logLine(QStringLiteral("заглушка: ") + QString::fromLatin1(entry) + QStringLiteral(" — этой части в сборке ещё нет"));
    };
}

}  // namespace

DictationVocabulary::DictationVocabulary() {
    effectiveVocab = [say = sayOnce("effectiveVocab")](const std::optional<DictationContext>&) {
        say();
        return QString();
    };
    termSnap = [say = sayOnce("termSnap")](const QString& text, const QString&) {
        say();
        return TermSnapResult{text, {}};
    };
    learnedApply = [say = sayOnce("learnedApply")](const QString& text, const std::optional<DictationContext>&) {
        say();
        return text;
    };
    promptTerms = [say = sayOnce("promptTerms")](const std::optional<DictationContext>&) {
        say();
        return QStringList();
    };
    personalWords = [say = sayOnce("personalWords")] {
        say();
        return QStringList();
    };
}

}  // namespace murmelo
