#pragma once
#include "platform/SpellChecker.h"

#include <QHash>
#include <QSet>
#include <atomic>

namespace murmelo::sim {

// A spell checker the test fills: per language the words it accepts exactly as written
// and the suggestions it gives for a word. Counts the questions, so tests can tell
// whether the checker was asked at all.
class SimSpellChecker : public SpellChecker {
public:
    QStringList languages;
    QHash<QString, QSet<QString>> known;                        // language -> accepted words
    QHash<QString, QHash<QString, QStringList>> suggestions;    // language -> word -> guesses

    void addWords(const QString& language, const QStringList& words);

    QStringList availableLanguages() override { return languages; }
    bool accepts(const QString& text, const QString& language) override;
    QStringList guesses(const QString& word, const QString& language) override;

    int checks() const { return checks_; }
    int guessCalls() const { return guessCalls_; }

private:
    std::atomic<int> checks_{0};
    std::atomic<int> guessCalls_{0};
};

}  // namespace murmelo::sim
