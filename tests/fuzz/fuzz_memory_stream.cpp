// Arbitrary bytes as a serialised stream, read by a sequence of the readers chosen by the first
// bytes. Every read stays inside the buffer; whatever reads back writes out and reads back the same.

#include "core/MemoryStream.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

using namespace Tessarin;

namespace {

bool sameSeries(const FrameSeries& a, const FrameSeries& b)
{
    auto same = [](const auto& x, const auto& y) {
        return x.size() == y.size() && (x.size() == 0 || std::memcmp(x.data(), y.data(), x.size() * 4u) == 0);
    };
    return a.size == b.size && std::memcmp(&a.sampleRate, &b.sampleRate, 4) == 0 && a.frameCount == b.frameCount &&
           same(a.offsets, b.offsets) && same(a.lengths, b.lengths) && same(a.values, b.values);
}

void checkRoundTrip(const FrameSeries& s)
{
    CMemoryBuffer again;
    CMemoryStream writer(&again);
    if (!writeFrameSeries(writer, s)) {
        std::abort();
    }
    CMemoryStream reader(&again);
    FrameSeries back;
    if (!readFrameSeries(reader, back) || !sameSeries(s, back) || reader.position != again.size()) {
        std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    constexpr std::size_t kOps = 4;
    if (size < kOps) {
        return 0;
    }
    CMemoryBuffer buffer;
    buffer.append(data + kOps, static_cast<std::uint32_t>(size - kOps));
    CMemoryStream stream(&buffer);

    for (std::size_t op = 0; op < kOps; ++op) {
        const std::uint32_t before = stream.position;
        bool ok = false;
        switch (data[op] % 6) {
        case 0: {
            FrameSeries s;
            ok = readFrameSeries(stream, s);
            if (ok) {
                FrameMags frame;
                // frameCount is whatever the bytes said; the vectors bound the walk.
                const auto frames = std::int32_t(s.offsets.size());
                for (std::int32_t i = -1; i <= frames; ++i) {
                    s.getFrame(i, frame);
                }
                checkRoundTrip(s);
            }
            break;
        }
        case 1: {
            FastVector<float> v;
            ok = readCountedVector(stream, v);
            break;
        }
        case 2: {
            FastVector<int> v;
            ok = readCountedVector(stream, v);
            break;
        }
        case 3: {
            FastVector<short> v;
            ok = readShortVector(stream, v);
            break;
        }
        case 4: {
            unsigned char block[64];
            ok = readRotated(data[op] % 64, stream, block);
            break;
        }
        default: {
            std::int32_t value = 0;
            ok = readPlain(stream, value);
            break;
        }
        }
        if (stream.position > buffer.size() || (!ok && stream.position != before)) {
            std::abort(); // a failed read must leave the position where it was
        }
    }
    return 0;
}
