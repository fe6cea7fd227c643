// Arbitrary bytes as a WAV file: the read either fails and leaves the target as it was, or gives a
// buffer whose every sample and region can be taken.

#include "audio/AudioReader.h"

#include <cstdint>
#include <cstdlib>

using namespace TessarinEditor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CWavBuf wav;
    const unsigned char marker[3] = {1, 2, 3};
    wav.bytes.append(marker, 3);
    wav.sampleRate = 1234;

    if (!readRiffBytes({data, size}, wav)) {
        if (wav.bytes.size() != 3 || wav.sampleRate != 1234) {
            std::abort(); // a failed read must not touch the target
        }
        return 0;
    }
    if (wav.bytes.size() > size) {
        std::abort(); // never more sample bytes than the file holds
    }
    float sum = 0.0f;
    const std::uint32_t n = wav.sampleCount();
    for (std::uint32_t i = 0; i <= n; ++i) {
        sum += wav.sampleAt(i);
    }
    const auto region = cutRegion(-1.0, 1e9, wav);
    if (passesFormatGate(wav, "x.wav") && region.size() != n) {
        std::abort();
    }
    return sum > 1e30f ? 1 : 0;
}
