#pragma once
#include <QString>

namespace murmelo {

// What a chunk's surroundings allow the corrector's answer to change.
struct PolishContext {
    bool typedByHand = true;
    bool atSentenceStart = true;
    bool allowYo = true;
    bool operator==(const PolishContext&) const = default;
};

// Which words polish must leave as typed; the known-word tables answer it in the program.
class PolishProtectedWords {
public:
    virtual ~PolishProtectedWords() = default;
    virtual bool polishProtects(const QString& word) = 0;
};

// What polish may write in place of the typed chunk.
struct PolishResultValue {
    QString text;
    qint64 rejectedWords = 0;
    bool applied = false;
    bool trusted = false;
};

// Walking back over spaces and tabs from the UTF-16 position (clamped into the text): the
// start of the text, a sentence mark or a line break begins a sentence.
bool polishStartsSentence(const QString& text, qint64 position);
// The context of a chunk that starts at the UTF-16 position of the text it was taken from.
PolishContext polishContext(const QString& chunk, const QString& text, qint64 position);
// Lowers again the first letters the model capitalised in mid-sentence where the person wrote
// them in lower case.
QString keepingCaseAfterComma(const QString& author, const QString& fixed);
// Merges the model's answer into the typed text; the typed text unchanged when the merge
// does not apply. A trusted model may replace only the words `words` does not protect.
PolishResultValue polishResult(const QString& raw, const QString& model, PolishProtectedWords& words,
                               bool typedByHand = false, bool atSentenceStart = true, bool allowYo = true);
// The result step every polish route uses.
PolishResultValue polishForField(const QString& raw, const QString& model, const PolishContext& context,
                                 PolishProtectedWords& words);

}  // namespace murmelo
