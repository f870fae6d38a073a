#pragma once
#include <QList>
#include <QString>
#include <QStringList>
#include <functional>

namespace murmelo::TermSnap {

struct Change {
    QString from;
    QString to;
    bool operator==(const Change&) const = default;
};

struct Result {
    QString text;
    QList<Change> changes;
};

// Replaces Latin-script words that sound like a term of the vocabulary by a simple phonetic
// key and are not English words with the term's spelling. Cyrillic words are never changed.
// Main thread only: the English-word cache is not locked.
Result apply(const QString& text, const QString& vocab, const std::function<bool(const QString&)>& spellCheck);
Result apply(const QString& text, const QString& vocab);
// With the custom vocabulary.
Result apply(const QString& text);
QString phonetic(const QString& word);
int distance(const QString& a, const QString& b);
// The terms of a vocabulary text that snapping may restore, first spelling first.
QStringList snapTerms(const QString& vocab);
// Whether the system spell checker knows the word as English; asked once per text.
bool isEnglishWord(const QString& word);

}  // namespace murmelo::TermSnap
