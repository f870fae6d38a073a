#pragma once
#include "platform/ColorScheme.h"

namespace murmelo::sim {

// A desktop whose preference the test sets; changing it calls the handler, as the portal's
// change signal does.
class SimColorScheme final : public ColorScheme {
public:
    std::optional<bool> prefersDark() override { return dark_; }
    void setChangeHandler(std::function<void()> handler) override { handler_ = std::move(handler); }
    void set(std::optional<bool> dark) {
        dark_ = dark;
        if (handler_) handler_();
    }

private:
    std::optional<bool> dark_;
    std::function<void()> handler_;
};

}  // namespace murmelo::sim
