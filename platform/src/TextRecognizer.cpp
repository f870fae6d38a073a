#include "platform/TextRecognizer.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed nothing can be recognised.
class NoTextRecognizer : public TextRecognizer {
public:
    Result recognize(const QImage&) override { return {{}, QStringLiteral("распознавание текста недоступно")}; }
};

}  // namespace

TextRecognizer& TextRecognizer::shared() {
    if (auto* r = installedService<TextRecognizer>()) return *r;
    static NoTextRecognizer none;
    return none;
}

void TextRecognizer::install(TextRecognizer* recognizer) { installService<TextRecognizer>(recognizer); }

}  // namespace murmelo
