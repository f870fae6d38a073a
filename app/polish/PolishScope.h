#pragma once
#include <QString>

#include <optional>

namespace murmelo {

// What a polish covers when nothing is selected.
enum class PolishScopeMode {
    lastSentenceIncremental,    // after the last polish's boundary, or else the last sentence
    currentParagraphUnpolished, // the part of the paragraph not polished yet, up to all of it
};

// Which paragraph of which field was polished last.
struct PolishParagraphIdentity {
    qint32 ownerPID = -1;
    quintptr elementHash = 0;
    qint64 startUTF16 = 0;
    bool operator==(const PolishParagraphIdentity&) const = default;
};

constexpr int POLISH_MAX_CHARS = 4000;
constexpr double POLISH_AGAIN_WINDOW = 3.0;

// The boundary memory of polish and the rules that split a text into the part already
// polished and the part to send. Main thread only; lives as long as the switcher.
class PolishScope {
public:
    struct Split {
        QString alreadyDone;
        QString toCorrect;
        bool operator==(const Split&) const = default;
    };

    Split scope(const QString& text, bool hadSelection, const std::optional<PolishParagraphIdentity>& paragraphID,
                PolishScopeMode mode);

    // The text before the last sentence and the last sentence with its ender, closers and
    // trailing spaces.
    static Split splitLastSentence(const QString& text);

    // The text up to which polish has already run, from the start of the scoped text.
    QString lastPolishOutput;
    std::optional<PolishParagraphIdentity> lastPolishParagraphID;

private:
    std::optional<double> lastManualPolishAt_;  // uptime
    QString lastManualPolishText_;
};

}  // namespace murmelo
