#pragma once
#include <functional>

namespace murmelo {

// The reply settings window lives in app/reply, which builds on this folder: the result card
// and the Quick Actions bar reach it through this link, which reply sets when it binds at
// start-up. Until then a press is logged and opens nothing. Main thread only.
namespace QuickReplySettingsLink {
void setOpener(std::function<void()> open);
void showWindow();
}  // namespace QuickReplySettingsLink

}  // namespace murmelo
