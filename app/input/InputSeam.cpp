#include "input/InputSeam.h"

#include "input/ClipboardManager.h"
#include "input/GlobalEventTap.h"
#include "input/SecureInput.h"
#include "platform/Accessibility.h"

namespace murmelo {

InputSeam::InputSeam() {
    installTap = [] { return GlobalEventTap::installTap(); };
    startTapGuard = [] { GlobalEventTap::startTapGuard(); };
    secureInputStart = [] { SecureInput::start(); };
    clipboardManagerStart = [] { ClipboardManager::shared().start(); };
    isProcessTrusted = [] { return Accessibility::shared().isProcessTrusted(); };
}

}  // namespace murmelo
