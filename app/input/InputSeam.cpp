#include "input/InputSeam.h"

#include "input/ClipboardManager.h"
#include "input/GlobalEventTap.h"
#include "input/SecureInput.h"

namespace murmelo {

InputSeam::InputSeam() {
    installTap = [] { return GlobalEventTap::installTap(); };
    startTapGuard = [] { GlobalEventTap::startTapGuard(); };
    secureInputStart = [] { SecureInput::start(); };
    clipboardManagerStart = [] { ClipboardManager::shared().start(); };
}

}  // namespace murmelo
