#include "platform/ColorScheme.h"

#include "platform/Service.h"

namespace murmelo {

namespace {

// No desktop to ask: no preference, and nothing ever changes.
class NoColorScheme final : public ColorScheme {
public:
    std::optional<bool> prefersDark() override { return std::nullopt; }
    void setChangeHandler(std::function<void()>) override {}
};

}  // namespace

ColorScheme& ColorScheme::shared() {
    if (auto* s = installedService<ColorScheme>()) return *s;
    static NoColorScheme none;
    return none;
}

void ColorScheme::install(ColorScheme* scheme) { installService<ColorScheme>(scheme); }

}  // namespace murmelo
