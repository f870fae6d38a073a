#pragma once
#include <QImage>
#include <QString>
#include <vector>

namespace murmelo {

// One line of text found in an image. Geometry is normalised to the image (0 to 1) with the
// origin at the bottom left.
struct RecognizedLine {
    double midY = 0;  // the vertical middle of its box
    double left = 0;  // the left edge of its box
    QString text;
    double confidence = 0;  // 0 to 1
    bool operator==(const RecognizedLine&) const = default;
};

// Optical character recognition in Russian and English.
class TextRecognizer {
public:
    struct Result {
        std::vector<RecognizedLine> lines;
        QString error;  // set when the recogniser itself failed
    };

    virtual ~TextRecognizer() = default;
    // Every line found, in no particular order. Any thread; blocks while it recognises.
    virtual Result recognize(const QImage& image) = 0;

    static TextRecognizer& shared();
    static void install(TextRecognizer* recognizer);
};

}  // namespace murmelo
