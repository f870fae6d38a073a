#pragma once
#include "dictation/DictationNeighbours.h"
#include "platform/Service.h"

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

namespace murmelo {

// A term snapping result: the snapped text and the (from, to) pairs it replaced.
struct TermSnapResult {
    QString text;
    QList<QPair<QString, QString>> replacements;
};

// The vocabulary stores the dictation reads: the vocabulary of the front application or the
// global one, term snapping, the learned replacements and their prompt terms, and the personal
// dictionary. The vocabulary subsystem fills these entries; until it does, each leaves the text
// as it is or answers nothing, and says so once in the log.
struct DictationVocabulary {
    static DictationVocabulary& shared() { return sharedService<DictationVocabulary>(); }
    DictationVocabulary();

    std::function<QString(const std::optional<DictationContext>&)> effectiveVocab;
    std::function<TermSnapResult(const QString& text, const QString& vocab)> termSnap;
    std::function<QString(const QString& text, const std::optional<DictationContext>&)> learnedApply;
    std::function<QStringList(const std::optional<DictationContext>&)> promptTerms;
    std::function<QStringList()> personalWords;
};

}  // namespace murmelo
