#include "dictation/DictationVocabulary.h"

#include "base/Unbuilt.h"

namespace murmelo {

DictationVocabulary::DictationVocabulary() {
    effectiveVocab = [say = unbuilt("effectiveVocab")](const std::optional<DictationContext>&) {
        say();
        return QString();
    };
    termSnap = [say = unbuilt("termSnap")](const QString& text, const QString&) {
        say();
        return TermSnapResult{text, {}};
    };
    learnedApply = [say = unbuilt("learnedApply")](const QString& text, const std::optional<DictationContext>&) {
        say();
        return text;
    };
    promptTerms = [say = unbuilt("promptTerms")](const std::optional<DictationContext>&) {
        say();
        return QStringList();
    };
    personalWords = [say = unbuilt("personalWords")] {
        say();
        return QStringList();
    };
}

}  // namespace murmelo
