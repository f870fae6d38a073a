#pragma once
// What a dictation asks of polish, which lives above it: cleaned text passes the same rewrite
// guard as polish, and the start of a dictation stands live polish down. The shell implements
// this and hands it to the dictation neighbours when it makes them.
#include <QString>

namespace murmelo {

class DictationPolish {
public:
    virtual ~DictationPolish() = default;
    // The candidate, or the original when the rewrite is implausible.
    virtual QString rewriteGuardAccept(const QString& original, const QString& candidate, const QString& layer) = 0;
    // Drops a pending live polish.
    virtual void cancelPolishLive() = 0;
};

}  // namespace murmelo
