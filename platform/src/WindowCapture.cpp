#include "platform/WindowCapture.h"

#include "platform/Service.h"

namespace murmelo {
namespace {

// Before a backend is installed no window can be captured.
class NoWindowCapture : public WindowCapture {
public:
    bool hasPermission() const override { return true; }
    bool requestPermission() override { return true; }
    Result capture(quint64, QSize) override { return {QImage(), QStringLiteral("нет доступа к окнам рабочего стола")}; }
};

}  // namespace

WindowCapture& WindowCapture::shared() {
    if (auto* c = installedService<WindowCapture>()) return *c;
    static NoWindowCapture none;
    return none;
}

void WindowCapture::install(WindowCapture* capture) { installService<WindowCapture>(capture); }

}  // namespace murmelo
