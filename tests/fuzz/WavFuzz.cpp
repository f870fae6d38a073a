// A recording's WAV file: its chunks walked, its levels measured, a trimmed copy made.
#include "FuzzSupport.h"
#include "dictation/Wav.h"

using namespace murmelo;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::root();
    const QByteArray wav = fuzz::bytes(data, size);
    (void)wavPCM16PayloadRange(wav);
    (void)audioLevels(wav);
    (void)audioPeak(wav);
    for (double seconds : {0.0, 0.01, 1.0, 1e300}) (void)trimWavToSeconds(wav, seconds);
    return 0;
}
