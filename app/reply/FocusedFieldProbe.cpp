#include "reply/FocusedFieldProbe.h"

#include "input/AXText.h"
#include "platform/Accessibility.h"
#include "platform/MainQueue.h"
#include "platform/Workspace.h"

namespace murmelo::FocusedFieldProbe {

FocusedFieldSnapshot snapshot(qint32 targetPID) {
    FocusedFieldSnapshot s;
    // The front is read before, and independently of, the target.
    if (const auto front = Workspace::shared().frontmostApplication()) s.frontmostPID = qint32(front->pid);

    const double started = Clock::shared().uptime();
    const auto overran = [&] { return Clock::shared().uptime() - started > totalBound; };
    Accessibility& ax = Accessibility::shared();
    const AXElementPtr app = ax.applicationElement(targetPID);
    if (!app) return s;
    ax.setMessagingTimeout(*app, messagingTimeout);
    AXError error = AXError::success;
    const AXElementPtr focused = ax.focusedElementOf(*app, &error);
    if (error != AXError::success || !focused || overran()) return s;
    ax.setMessagingTimeout(*focused, messagingTimeout);
    const bool editable = AXText::isEditable(focused);
    if (overran()) return s;
    const bool secure = AXText::isSecure(focused);
    if (overran()) return s;
    s.isEditableTextField = editable;
    s.isSecure = secure;
    return s;
}

}  // namespace murmelo::FocusedFieldProbe
