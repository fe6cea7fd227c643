#pragma once

// An in-memory byte file (CMemoryBuffer), a cursor over it (CMemoryStream), the plain and rotated
// byte-block operations, and the vector serialisation rules of the model and bank files.
//
// Rotated order: an n-byte block is stored with its first byte moved to the end. Every read is
// bounded by the buffer: a read that would pass the end fails, leaves its destination untouched and
// the position where it was. Declared counts are checked against the bytes that remain before
// anything is sized by them.

#include "core/FIFOSampleBufferTemplate.h"
#include "core/FastVector.h"
#include "core/FrameSeries.h"

#include <cstdint>
#include <cstring>
#include <iosfwd>
#include <type_traits>

namespace Tessarin {

class CMemoryBuffer {
public:
    static constexpr std::uint32_t kGranularityBytes = 4096;

    explicit CMemoryBuffer(std::uint32_t granularityBytes = kGranularityBytes) : bytes(granularityBytes, 1)
    {
        bytes.ensureCapacity(32);
    }
    virtual ~CMemoryBuffer() = default;
    CMemoryBuffer(const CMemoryBuffer&) = default;
    CMemoryBuffer& operator=(const CMemoryBuffer&) = default;
    CMemoryBuffer(CMemoryBuffer&&) = default;
    CMemoryBuffer& operator=(CMemoryBuffer&&) = default;

    std::uint32_t size() const { return bytes.size(); }
    char* data() { return bytes.begin(); }
    const char* data() const { return bytes.begin(); }
    void append(const void* src, std::uint32_t n) { bytes.append(static_cast<const char*>(src), n); }
    void grow(std::uint32_t n) { bytes.grow(n); }
    void clear() { bytes.clear(); }

    FIFOSampleBufferTemplate<char> bytes;
};

class CMemoryStream {
public:
    explicit CMemoryStream(CMemoryBuffer* buffer) : buffer(buffer) {}
    virtual ~CMemoryStream() = default;

    CMemoryBuffer* buffer; // not owned
    std::uint32_t position = 0;

    // Bytes between the position and the end of the buffer (0 when the position lies past it).
    std::uint32_t remaining() const
    {
        return position < buffer->size() ? buffer->size() - position : 0;
    }
};

// Writes n bytes of src over position pos of buffer, growing it when the write reaches past its end.
// Does nothing (and returns false) when src is null, n is 0 or pos lies beyond the end.
bool writeBytes(CMemoryBuffer& buffer, std::uint32_t n, std::uint32_t pos, const void* src);

// Plain block at the stream's position; the position advances only when the bytes were written or read.
bool writeBytes(CMemoryStream& stream, const void* src, std::uint32_t n);
bool readBytes(std::uint32_t n, CMemoryStream& stream, void* dst);

// Rotated block: src[1] … src[n−1] at the position, then src[0]; n = 1 is stored as is.
bool writeRotated(CMemoryStream& stream, const void* src, std::uint32_t n);
bool readRotated(std::uint32_t n, CMemoryStream& stream, void* dst);

// A buffer as a 32-bit little-endian length followed by its bytes.
bool saveBuffer(const CMemoryBuffer& buffer, std::ostream& file);
// Reads a length and that many bytes. A length below 1 reads nothing more and leaves the buffer as it
// was. Returns false when the file ends early; the buffer is then empty. Memory grows with the
// bytes actually read, never with the declared length alone.
bool loadBuffer(std::istream& file, CMemoryBuffer& buffer);

// Typed scalars, little-endian.
template <class T>
bool writePlain(CMemoryStream& stream, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    return writeBytes(stream, &value, sizeof(T));
}

template <class T>
bool readPlain(CMemoryStream& stream, T& value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    return readBytes(sizeof(T), stream, &value);
}

template <class T>
bool writeRotatedValue(CMemoryStream& stream, T value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    return writeRotated(stream, &value, sizeof(T));
}

template <class T>
bool readRotatedValue(CMemoryStream& stream, T& value)
{
    static_assert(std::is_trivially_copyable_v<T>);
    return readRotated(sizeof(T), stream, &value);
}

// shortVector: a plain int32 count, then the samples. Reading a count ≤ 0 leaves the vector as it was.
bool writeShortVector(CMemoryStream& stream, const FastVector<short>& v);
bool readShortVector(CMemoryStream& stream, FastVector<short>& v);

// Counted vector of 4-byte elements: the float count + 0.1 rotated, then all elements as one
// rotated block. Integers are stored as their raw 4-byte patterns.
bool writeCountedVector(CMemoryStream& stream, const FastVector<float>& v);
bool writeCountedVector(CMemoryStream& stream, const FastVector<int>& v);
bool readCountedVector(CMemoryStream& stream, FastVector<float>& v);
bool readCountedVector(CMemoryStream& stream, FastVector<int>& v);
// Passes over a counted vector without reading it: the same checks as reading, its element count into
// count. False (and the position unchanged) where reading would fail.
bool skipCountedVector(CMemoryStream& stream, std::uint32_t& count);
// The float that stands for a count in a counted vector.
float countedVectorCount(std::uint32_t count);

// FrameSeries: size, sampleRate and frameCount rotated, then offsets, lengths and values counted.
bool writeFrameSeries(CMemoryStream& stream, const FrameSeries& series);
bool readFrameSeries(CMemoryStream& stream, FrameSeries& series);

} // namespace Tessarin
