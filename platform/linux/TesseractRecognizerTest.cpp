#include "linux/TesseractRecognizer.h"

#include <QPainter>
#include <gtest/gtest.h>

using namespace murmelo;
using namespace murmelo::linuxdesktop;

namespace {

// Two lines drawn at known places: the boxes come back normalised with the origin at the
// bottom left, so the line drawn near the top has the greater middle.
TEST(TesseractRecognizer, FindsBothLanguagesWithBottomLeftGeometry) {
    QImage image(1200, 600, QImage::Format_RGB32);
    image.fill(Qt::white);
    {
        QPainter p(&image);
        QFont font = p.font();
        font.setPixelSize(36);
        p.setFont(font);
        p.setPen(Qt::black);
        p.drawText(120, 130, QStringLiteral("Meeting moved to Thursday"));
        p.drawText(600, 480, QStringLiteral("Встреча перенесена"));
    }
    TesseractRecognizer recognizer;
    const auto result = recognizer.recognize(image);
    ASSERT_TRUE(result.error.isEmpty()) << qPrintable(result.error);
    const auto find = [&](const QString& part) -> const RecognizedLine* {
        for (const auto& line : result.lines)
            if (line.text.contains(part)) return &line;
        return nullptr;
    };
    const RecognizedLine* top = find(QStringLiteral("Thursday"));
    const RecognizedLine* bottom = find(QStringLiteral("перенесена"));
    ASSERT_TRUE(top && bottom);
    EXPECT_NEAR(top->midY, 1.0 - 118.0 / 600, 0.04);
    EXPECT_NEAR(top->left, 0.1, 0.02);
    EXPECT_NEAR(bottom->midY, 1.0 - 468.0 / 600, 0.04);
    EXPECT_NEAR(bottom->left, 0.5, 0.02);
    EXPECT_GT(top->confidence, 0.3);
    EXPECT_LE(top->confidence, 1.0);
}

}  // namespace
