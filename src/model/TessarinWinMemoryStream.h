#pragma once

// The byte buffer and cursor that lay out the payload of a project file.
//
// Reading is lenient by design, so that a damaged project still opens with whatever it holds:
// a string whose length or text runs past the end reads as empty, a negative length leaves the
// string as it was, a list with a negative count is empty, a missing byte keeps its value. Nothing
// is ever sized by a declared length before the bytes are known to be there.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace TessarinWin {

class CMemoryBuffer {
public:
    CMemoryBuffer() = default;
    virtual ~CMemoryBuffer() = default;
    CMemoryBuffer(const CMemoryBuffer&) = default;
    CMemoryBuffer& operator=(const CMemoryBuffer&) = default;
    CMemoryBuffer(CMemoryBuffer&&) = default;
    CMemoryBuffer& operator=(CMemoryBuffer&&) = default;

    void append(const void* src, std::size_t n);
    // Writes n bytes over position pos, growing the buffer when the write ends past its end. A
    // write that would start beyond the end is ignored (returns false): it would leave a gap.
    bool write(std::size_t pos, const void* src, std::size_t n);
    void clear() { m_bytes.clear(); }
    std::size_t size() const { return m_bytes.size(); }
    std::uint8_t* data() { return m_bytes.data(); }
    const std::uint8_t* data() const { return m_bytes.data(); }

private:
    std::vector<std::uint8_t> m_bytes;
};

// A cursor over one buffer (not owned). Every item is read or written at the position, which then
// advances by the bytes written or consumed. All integers are little-endian.
class CMemoryStream {
public:
    explicit CMemoryStream(CMemoryBuffer& buffer) : buffer(&buffer) {}
    virtual ~CMemoryStream() = default;

    CMemoryBuffer* buffer; // not owned
    std::int32_t position = 0;

    // Bytes between the position and the end of the buffer; 0 when the position lies outside it.
    std::size_t remaining() const;

    // Writers fail (false, position unchanged) only when the position lies past the end of the
    // buffer or the stream would pass 2^31 − 1 bytes.
    bool writeInt32(std::int32_t value);
    bool writeByte(std::uint8_t value);
    // The text up to its first NUL byte, as an int32 length and the bytes, without terminator.
    bool writeString(std::string_view text);
    bool writeStringList(const std::vector<std::string>& list);

    // False, with nothing consumed and value unchanged, when fewer than 4 bytes remain.
    bool readInt32(std::int32_t& value);
    // Reads only when a byte remains; otherwise value keeps what it held.
    void readByte(std::uint8_t& value);
    void readString(std::string& text);
    // Replaces list with the elements read. Elements stop where the buffer does: once fewer than
    // 4 bytes remain every further element could only read as empty, so a count larger than the
    // data never turns into a list of that size.
    void readStringList(std::vector<std::string>& list);

private:
    bool writeBytes(const void* src, std::size_t n);
};

} // namespace TessarinWin
