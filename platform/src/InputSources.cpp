#include "platform/InputSources.h"

#include "platform/Service.h"

#include <atomic>

namespace murmelo {
namespace {

// Before a backend is installed there are no sources and nothing can be selected.
class NoInputSources : public InputSources {
public:
    std::vector<InputSource> enabledSources() const override { return {}; }
    std::optional<InputSource> currentSource() const override { return std::nullopt; }
    bool select(const QString&) override { return false; }
    std::optional<QString> translate(const QString&, int, KeyLevel) const override { return std::nullopt; }
    bool isDeadKey(const QString&, int, bool) const override { return false; }
    void setSelectionHandler(std::function<void(const InputSource&)>) override {}
    void setEnabledSourcesHandler(std::function<void()>) override {}
};

}  // namespace

quint64 InputSources::nextSerial() {
    static std::atomic<quint64> serial{0};
    return ++serial;
}

InputSources& InputSources::shared() {
    if (auto* s = installedService<InputSources>()) return *s;
    static NoInputSources none;
    return none;
}

void InputSources::install(InputSources* sources) { installService<InputSources>(sources); }

}  // namespace murmelo
