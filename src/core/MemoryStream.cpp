#include "core/MemoryStream.h"

#include <cmath>
#include <istream>
#include <ostream>

namespace Tessarin {

namespace {

// Counts above 2^24 have no exact float; a vector that long could not be read back.
constexpr std::uint32_t kMaxCountedElements = 1u << 24;

bool fits(const CMemoryStream& stream, std::uint64_t n)
{
    return std::uint64_t(stream.position) + n <= stream.buffer->size();
}

template <class T>
bool writeCounted(CMemoryStream& stream, const FastVector<T>& v)
{
    static_assert(sizeof(T) == 4);
    if (v.size() > kMaxCountedElements) {
        return false;
    }
    const float count = countedVectorCount(v.size());
    if (!writeRotated(stream, &count, sizeof count)) {
        return false;
    }
    return v.size() == 0 || writeRotated(stream, v.data(), v.size() * 4u);
}

// The element count of a counted vector, read and checked: a damaged count (NaN, negative, or more
// elements than bytes left) fails, with the position where it was.
bool readCount(CMemoryStream& stream, std::uint32_t& count)
{
    const std::uint32_t start = stream.position;
    float declared = 0.0f;
    if (!readRotatedValue(stream, declared)) {
        return false;
    }
    if (!(declared > -1.0f) || !(declared < float(kMaxCountedElements) + 1.0f)) {
        stream.position = start;
        return false;
    }
    count = static_cast<std::uint32_t>(std::trunc(declared));
    if (std::uint64_t(count) * 4u > stream.remaining()) {
        stream.position = start;
        return false;
    }
    return true;
}

template <class T>
bool readCounted(CMemoryStream& stream, FastVector<T>& v)
{
    static_assert(sizeof(T) == 4);
    v.clear();
    std::uint32_t count = 0;
    if (!readCount(stream, count)) {
        return false;
    }
    if (count == 0) {
        return true;
    }
    v.resize(count);
    return readRotated(count * 4u, stream, v.data());
}

} // namespace

bool writeBytes(CMemoryBuffer& buffer, std::uint32_t n, std::uint32_t pos, const void* src)
{
    if (src == nullptr || n == 0 || pos > buffer.size()) {
        return false;
    }
    if (pos == buffer.size()) {
        buffer.append(src, n);
        return true;
    }
    const std::uint64_t end = std::uint64_t(pos) + n;
    if (end >= buffer.size()) {
        buffer.grow(static_cast<std::uint32_t>(end - buffer.size()));
    }
    std::memcpy(buffer.data() + pos, src, n);
    return true;
}

bool writeBytes(CMemoryStream& stream, const void* src, std::uint32_t n)
{
    if (std::uint64_t(stream.position) + n > UINT32_MAX || !writeBytes(*stream.buffer, n, stream.position, src)) {
        return false;
    }
    stream.position += n;
    return true;
}

bool readBytes(std::uint32_t n, CMemoryStream& stream, void* dst)
{
    if (dst == nullptr || !fits(stream, n)) {
        return false;
    }
    if (n > 0) {
        std::memcpy(dst, stream.buffer->data() + stream.position, n);
    }
    stream.position += n;
    return true;
}

bool writeRotated(CMemoryStream& stream, const void* src, std::uint32_t n)
{
    if (n < 2) {
        return writeBytes(stream, src, n);
    }
    const auto* bytes = static_cast<const unsigned char*>(src);
    const std::uint32_t start = stream.position;
    if (!writeBytes(stream, bytes + 1, n - 1) || !writeBytes(stream, bytes, 1)) {
        stream.position = start;
        return false;
    }
    return true;
}

bool readRotated(std::uint32_t n, CMemoryStream& stream, void* dst)
{
    if (n < 2) {
        return readBytes(n, stream, dst);
    }
    if (dst == nullptr || !fits(stream, n)) {
        return false;
    }
    auto* out = static_cast<unsigned char*>(dst);
    const char* in = stream.buffer->data() + stream.position;
    out[0] = static_cast<unsigned char>(in[n - 1]);
    std::memcpy(out + 1, in, n - 1);
    stream.position += n;
    return true;
}

bool saveBuffer(const CMemoryBuffer& buffer, std::ostream& file)
{
    const std::int32_t length = static_cast<std::int32_t>(buffer.size());
    if (buffer.size() > INT32_MAX) {
        return false;
    }
    file.write(reinterpret_cast<const char*>(&length), sizeof length);
    file.write(buffer.data(), buffer.size());
    return bool(file);
}

bool loadBuffer(std::istream& file, CMemoryBuffer& buffer)
{
    std::int32_t length = 0;
    if (!file.read(reinterpret_cast<char*>(&length), sizeof length)) {
        return false;
    }
    if (length < 1) {
        return true;
    }
    buffer.clear();
    // Read in pieces so that a length larger than the file costs no more memory than the file.
    constexpr std::uint32_t kPiece = 1u << 20;
    std::uint32_t left = static_cast<std::uint32_t>(length);
    while (left > 0) {
        const std::uint32_t piece = left < kPiece ? left : kPiece;
        const std::uint32_t at = buffer.size();
        buffer.grow(piece);
        file.read(buffer.data() + at, piece);
        if (std::uint32_t(file.gcount()) != piece) {
            buffer.clear();
            return false;
        }
        left -= piece;
    }
    return true;
}

bool writeShortVector(CMemoryStream& stream, const FastVector<short>& v)
{
    if (v.size() > INT32_MAX / 2) {
        return false;
    }
    const std::uint32_t start = stream.position;
    const auto count = static_cast<std::int32_t>(v.size());
    if (!writePlain(stream, count) || (count > 0 && !writeBytes(stream, v.data(), v.size() * 2u))) {
        stream.position = start;
        return false;
    }
    return true;
}

bool readShortVector(CMemoryStream& stream, FastVector<short>& v)
{
    const std::uint32_t start = stream.position;
    std::int32_t count = 0;
    if (!readPlain(stream, count)) {
        return false;
    }
    if (count <= 0) {
        return true;
    }
    if (std::uint64_t(count) * 2u > stream.remaining()) {
        stream.position = start;
        return false;
    }
    v.resize(static_cast<std::uint32_t>(count));
    return readBytes(std::uint32_t(count) * 2u, stream, v.data());
}

float countedVectorCount(std::uint32_t count)
{
    return static_cast<float>(double(count) + 0.1);
}

bool writeCountedVector(CMemoryStream& stream, const FastVector<float>& v) { return writeCounted(stream, v); }
bool writeCountedVector(CMemoryStream& stream, const FastVector<int>& v) { return writeCounted(stream, v); }
bool readCountedVector(CMemoryStream& stream, FastVector<float>& v) { return readCounted(stream, v); }
bool readCountedVector(CMemoryStream& stream, FastVector<int>& v) { return readCounted(stream, v); }

bool skipCountedVector(CMemoryStream& stream, std::uint32_t& count)
{
    if (!readCount(stream, count)) {
        return false;
    }
    stream.position += count * 4u; // within the buffer: readCount checked the bytes that remain
    return true;
}

bool writeFrameSeries(CMemoryStream& stream, const FrameSeries& series)
{
    const std::uint32_t start = stream.position;
    const bool ok = writeRotatedValue(stream, series.size) && writeRotatedValue(stream, series.sampleRate) &&
                    writeRotatedValue(stream, series.frameCount) && writeCountedVector(stream, series.offsets) &&
                    writeCountedVector(stream, series.lengths) && writeCountedVector(stream, series.values);
    if (!ok) {
        stream.position = start;
    }
    return ok;
}

bool readFrameSeries(CMemoryStream& stream, FrameSeries& series)
{
    const std::uint32_t start = stream.position;
    std::int32_t size = 0;
    float sampleRate = 0.0f;
    std::int32_t frameCount = 0;
    if (!readRotatedValue(stream, size) || !readRotatedValue(stream, sampleRate) ||
        !readRotatedValue(stream, frameCount)) {
        stream.position = start;
        return false;
    }
    series.size = size;
    series.sampleRate = sampleRate;
    series.frameCount = frameCount;
    series.offsets.clear();
    series.lengths.clear();
    series.values.clear();
    const bool ok = readCountedVector(stream, series.offsets) && readCountedVector(stream, series.lengths) &&
                    readCountedVector(stream, series.values);
    if (!ok) {
        stream.position = start;
    }
    return ok;
}

} // namespace Tessarin
