// The clipboard history file, decoded as the history loads it.
#include "FuzzSupport.h"
#include "input/ClipboardManager.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::root();
    const std::vector<ClipItem> items = ClipboardManager::decode(fuzz::bytes(data, size));
    for (const ClipItem& item : items) (void)relTime(item.date);
    return 0;
}
