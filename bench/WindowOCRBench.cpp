// Recognition of a 1280 by 800 window image, drawn with text in both languages and taken at
// the capture's size (twice the points), through the real recogniser. The engine is loaded
// before the timing, as the running program loads it once.
#include "linux/TesseractRecognizer.h"
#include "platform/Service.h"
#include "reply/WindowOCR.h"

#include <QGuiApplication>
#include <QPainter>
#include <benchmark/benchmark.h>

using namespace murmelo;

namespace {

QImage windowImage() {
    const QSize size = WindowOCR::cappedSize(1280, 800, 2);
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.scale(2, 2);
    QFont font = p.font();
    font.setPointSize(11);
    p.setFont(font);
    p.setPen(Qt::black);
    const QStringList lines = {
        QStringLiteral("Anna: are we still meeting at three to go over the quarterly numbers?"),
        QStringLiteral("Борис: да, только перенесём на полчаса, я задерживаюсь на созвоне."),
        QStringLiteral("Anna: fine, I will book the small room and send the draft before that."),
        QStringLiteral("Борис: спасибо, захвати, пожалуйста, распечатку прошлого отчёта."),
    };
    for (int row = 0; row < 24; ++row) p.drawText(40, 40 + row * 30, lines[row % lines.size()]);
    return image;
}

void BM_RecognizeWindow(benchmark::State& state) {
    linuxdesktop::TesseractRecognizer recognizer;
    ScopedService<TextRecognizer> scope(static_cast<TextRecognizer&>(recognizer));
    const QImage image = windowImage();
    recognizer.recognize(QImage(64, 64, QImage::Format_RGB32));  // loads the engine
    for (auto _ : state) {
        auto text = WindowOCR::recognize(image);
        benchmark::DoNotOptimize(text);
        if (!std::holds_alternative<QString>(text)) state.SkipWithError("no text recognised");
    }
}
BENCHMARK(BM_RecognizeWindow)->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
