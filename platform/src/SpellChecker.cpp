#include "platform/SpellChecker.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

class NoSpellChecker : public SpellChecker {
public:
    QStringList availableLanguages() override { return {}; }
    bool accepts(const QString&, const QString&) override { return false; }
    QStringList guesses(const QString&, const QString&) override { return {}; }
};

}  // namespace

bool SpellChecker::knowsInOtherCase(const QString& word, const QString& language) {
    const QString lower = word.toLower();
    for (const QString& guess : guesses(word, language)) {
        if (guess.size() == word.size() && guess.toLower() == lower) return true;
    }
    return false;
}

SpellChecker& SpellChecker::shared() {
    if (auto* s = installedService<SpellChecker>()) return *s;
    static NoSpellChecker none;
    return none;
}

void SpellChecker::install(SpellChecker* checker) { installService<SpellChecker>(checker); }

}  // namespace murmelo
