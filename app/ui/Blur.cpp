#include "ui/Blur.h"

#include <QtGlobal>
#include <cmath>
#include <vector>

namespace murmelo::Blur {

namespace {
std::vector<float> kernel(double sigma) {
    const int reach = std::max(1, int(std::ceil(3 * sigma)));
    std::vector<float> k(2 * reach + 1);
    double sum = 0;
    for (int i = -reach; i <= reach; ++i) sum += k[i + reach] = float(std::exp(-0.5 * i * i / (sigma * sigma)));
    for (float& v : k) v = float(v / sum);
    return k;
}

// One direction: a line of `count` pixels `step` floats apart, into out.
void pass(const float* in, float* out, int count, int step, const std::vector<float>& k) {
    const int reach = int(k.size() / 2);
    for (int i = 0; i < count; ++i) {
        float acc[4] = {0, 0, 0, 0};
        const int lo = std::max(0, i - reach), hi = std::min(count - 1, i + reach);
        for (int j = lo; j <= hi; ++j) {
            const float w = k[j - i + reach];
            const float* p = in + std::ptrdiff_t(j) * step;
            for (int c = 0; c < 4; ++c) acc[c] += w * p[c];
        }
        float* o = out + std::ptrdiff_t(i) * step;
        for (int c = 0; c < 4; ++c) o[c] = acc[c];
    }
}
}  // namespace

QImage blurred(const QImage& image, double radius) {
    const double s = sigma(radius);
    QImage src = image.convertToFormat(QImage::Format_RGBA32FPx4_Premultiplied);
    if (s <= 0 || src.isNull()) return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const int w = src.width(), h = src.height();
    const auto k = kernel(s);
    QImage tmp(src.size(), src.format());
    // Rows: neighbours 4 floats apart; columns: a scan line apart.
    for (int y = 0; y < h; ++y)
        pass(reinterpret_cast<const float*>(src.constScanLine(y)), reinterpret_cast<float*>(tmp.scanLine(y)), w, 4, k);
    const int rowFloats = int(src.bytesPerLine() / sizeof(float));
    for (int x = 0; x < w; ++x)
        pass(reinterpret_cast<const float*>(tmp.constBits()) + 4 * x, reinterpret_cast<float*>(src.bits()) + 4 * x, h,
             rowFloats, k);
    QImage out = src.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    out.setDevicePixelRatio(image.devicePixelRatio());
    return out;
}

}  // namespace murmelo::Blur
