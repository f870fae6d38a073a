// The corrector's reply, merged into the typed text as polish merges it. The input is the
// typed text, a line feed, and the reply's body; the first byte's low bits pick the options.
#include "FuzzSupport.h"
#include "polish/PolishDiff.h"
#include "polish/PunctuationMerge.h"

#include <QStringDecoder>

using namespace murmelo;

namespace {

// The client takes a body only when it is UTF-8.
std::optional<QString> utf8(const QByteArray& body) {
    QStringDecoder decoder(QStringDecoder::Utf8);
    QString text = decoder(body);
    if (decoder.hasError()) return std::nullopt;
    return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::root();
    if (size < 1) return 0;
    const uint8_t options = data[0];
    const QByteArray rest = fuzz::bytes(data + 1, size - 1);
    const qsizetype split = rest.indexOf('\n');
    if (split < 0) return 0;
    const auto raw = utf8(rest.left(split));
    const auto reply = utf8(rest.mid(split + 1));
    if (!raw || !reply) return 0;
    const bool typedByHand = options & 1, allowYo = options & 2, splitGlued = options & 4;
    PunctuationMerge::MayReplace mayReplace;
    if (options & 8) mayReplace = [](const QString& word) { return word.size() % 2 == 0; };
    const PunctuationMerge::Result merged = PunctuationMerge::merge(*raw, *reply, mayReplace, typedByHand, allowYo, splitGlued);
    (void)PolishDiff::compute(*raw, merged.text);
    return 0;
}
