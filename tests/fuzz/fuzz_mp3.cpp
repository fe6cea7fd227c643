// Arbitrary bytes as an mp3 file: the decoder either fails and leaves the target as it was, or gives
// 16-bit samples whose every value can be taken.

#include "audio/AudioReader.h"

#include <cstdint>
#include <cstdlib>

using namespace TessarinEditor;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CWavBuf wav;
    const unsigned char marker[3] = {1, 2, 3};
    wav.bytes.append(marker, 3);
    if (!readMp3Bytes({data, size}, wav)) {
        if (wav.bytes.size() != 3) {
            std::abort(); // a failed read must not touch the target
        }
        return 0;
    }
    if (wav.bytesPerSample != 2 || wav.isFloat) {
        std::abort();
    }
    float sum = 0.0f;
    for (std::uint32_t i = 0; i < wav.sampleCount(); ++i) {
        sum += wav.sampleAt(i);
    }
    return sum > 1e30f ? 1 : 0;
}
