#include "linux/TesseractRecognizer.h"

#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <dlfcn.h>

namespace murmelo::linuxdesktop {
namespace {

// Debian builds the engine with OpenMP, whose threads spin while they wait for each other: on
// a busy desktop a recognition then takes half a minute instead of a second or two. Every
// parallel region of the process runs on one thread instead (nothing else here uses OpenMP).
// The runtime reads its environment only when it loads, so the limit is set through its
// interface, found where the engine's own runtime is.
void runOpenMPSerially() {
    using SetLevels = void (*)(int);
    if (auto set = reinterpret_cast<SetLevels>(dlsym(RTLD_DEFAULT, "omp_set_max_active_levels"))) set(0);
}

}  // namespace

TesseractRecognizer::TesseractRecognizer() = default;

TesseractRecognizer::~TesseractRecognizer() {
    if (api_) api_->End();
}

TextRecognizer::Result TesseractRecognizer::recognize(const QImage& image) {
    std::lock_guard lock(lock_);
    if (!api_ && initError_.isEmpty()) {
        runOpenMPSerially();
        auto api = std::make_unique<tesseract::TessBaseAPI>();
        if (api->Init(nullptr, "eng+rus", tesseract::OEM_DEFAULT) != 0) {
            initError_ = QStringLiteral("распознавание текста не запустилось: нет языковых данных eng и rus для tesseract");
        } else {
            api->SetPageSegMode(tesseract::PSM_AUTO);
            // Its notes (the guessed resolution and the like) would go to standard error.
            api->SetVariable("debug_file", "/dev/null");
            api_ = std::move(api);
        }
    }
    if (!api_) return {{}, initError_};
    if (image.isNull() || image.width() < 1 || image.height() < 1) return {};
    const QImage gray = image.convertToFormat(QImage::Format_Grayscale8);
    api_->SetImage(gray.constBits(), gray.width(), gray.height(), 1, static_cast<int>(gray.bytesPerLine()));
    // Captures are taken at twice the screen's points.
    api_->SetSourceResolution(192);
    Result out;
    if (api_->Recognize(nullptr) != 0) {
        api_->Clear();
        return {{}, QStringLiteral("распознавание текста не удалось")};
    }
    const double w = gray.width();
    const double h = gray.height();
    std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
    if (it) {
        do {
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!text || !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom)) continue;
            RecognizedLine line;
            line.text = QString::fromUtf8(text.get()).trimmed();
            if (line.text.isEmpty()) continue;
            line.confidence = it->Confidence(tesseract::RIL_TEXTLINE) / 100.0;
            line.left = left / w;
            line.midY = 1.0 - (top + bottom) / 2.0 / h;
            out.lines.push_back(line);
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api_->Clear();
    return out;
}

}  // namespace murmelo::linuxdesktop
