#include "ai/QuickReplySettingsLink.h"

#include "base/Unbuilt.h"

namespace murmelo::QuickReplySettingsLink {
namespace {
std::function<void()>& opener() {
    static std::function<void()> open = unbuilt<>("QuickReplySettingsWindow.showWindow");
    return open;
}
}  // namespace

void setOpener(std::function<void()> open) { opener() = std::move(open); }
void showWindow() { opener()(); }

}  // namespace murmelo::QuickReplySettingsLink
