// A recognition server's reply, turned into dictation text.
#include "FuzzSupport.h"
#include "dictation/WhisperReply.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::root();
    const QByteArray reply = fuzz::bytes(data, size);
    (void)reassemble(reply);
    (void)reassembleRaw(reply);
    return 0;
}
