#pragma once
#include "platform/SpellChecker.h"

#include <QHash>
#include <QStringList>
#include <memory>
#include <mutex>

class Hunspell;

namespace murmelo {

// The spell checker on Hunspell dictionaries: every "<name>.aff" with its "<name>.dic" in
// the dictionary folders is a language named <name>. A dictionary is opened on its first
// question (the Russian one takes a fraction of a second) and kept. Safe from any thread:
// the lexicon load warms a dictionary on a worker thread.
class HunspellSpellChecker : public SpellChecker {
public:
    // Folders searched in order; the first holding a name wins.
    explicit HunspellSpellChecker(QStringList folders = {QStringLiteral("/usr/share/hunspell")});
    ~HunspellSpellChecker() override;

    QStringList availableLanguages() override;
    bool accepts(const QString& text, const QString& language) override;
    QStringList guesses(const QString& word, const QString& language) override;
    // Hunspell accepts the all-capitals form of every word it knows (bar words marked to
    // keep their case), so a word rejected as typed whose capitals are accepted is known in
    // another case. That spares a suggestion search, which for Russian costs milliseconds.
    bool knowsInOtherCase(const QString& word, const QString& language) override;

private:
    struct Dictionary;
    // Both under mutex_.
    void scanLocked();
    Dictionary* dictionary(const QString& language);
    bool acceptsLocked(const QString& text, const QString& language);

    QStringList folders_;
    std::mutex mutex_;
    bool scanned_ = false;
    QHash<QString, QString> paths_;  // language -> path without extension
    QStringList languages_;
    QHash<QString, std::shared_ptr<Dictionary>> open_;
};

}  // namespace murmelo
