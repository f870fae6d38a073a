#pragma once
#include "platform/TextRecognizer.h"

#include <memory>
#include <mutex>

namespace tesseract {
class TessBaseAPI;
}

namespace murmelo::linuxdesktop {

// Recognition with libtesseract, English and Russian ("eng+rus"), automatic page
// segmentation. The engine is set up once, on the first recognition (about 0.3 s), on the
// thread that asks first, and serves one image at a time.
class TesseractRecognizer : public TextRecognizer {
public:
    TesseractRecognizer();
    ~TesseractRecognizer() override;

    Result recognize(const QImage& image) override;

private:
    std::mutex lock_;
    std::unique_ptr<tesseract::TessBaseAPI> api_;
    QString initError_;
};

}  // namespace murmelo::linuxdesktop
