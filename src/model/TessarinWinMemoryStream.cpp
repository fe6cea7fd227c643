#include "model/TessarinWinMemoryStream.h"

#include <cstring>
#include <limits>

namespace TessarinWin {

namespace {

constexpr std::size_t kMaxPosition = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());

} // namespace

void CMemoryBuffer::append(const void* src, std::size_t n)
{
    if (n == 0) {
        return;
    }
    const auto* p = static_cast<const std::uint8_t*>(src);
    m_bytes.insert(m_bytes.end(), p, p + n);
}

bool CMemoryBuffer::write(std::size_t pos, const void* src, std::size_t n)
{
    if (pos > m_bytes.size()) {
        return false;
    }
    if (n == 0) {
        return true;
    }
    if (pos + n > m_bytes.size()) {
        m_bytes.resize(pos + n);
    }
    std::memcpy(m_bytes.data() + pos, src, n);
    return true;
}

std::size_t CMemoryStream::remaining() const
{
    if (position < 0) {
        return 0;
    }
    const auto pos = static_cast<std::size_t>(position);
    return pos < buffer->size() ? buffer->size() - pos : 0;
}

bool CMemoryStream::writeBytes(const void* src, std::size_t n)
{
    if (position < 0) {
        return false;
    }
    const auto pos = static_cast<std::size_t>(position);
    if (n > kMaxPosition - pos || !buffer->write(pos, src, n)) {
        return false;
    }
    position = static_cast<std::int32_t>(pos + n);
    return true;
}

bool CMemoryStream::writeInt32(std::int32_t value)
{
    const auto u = static_cast<std::uint32_t>(value);
    const std::uint8_t le[4] = {static_cast<std::uint8_t>(u), static_cast<std::uint8_t>(u >> 8),
                                static_cast<std::uint8_t>(u >> 16), static_cast<std::uint8_t>(u >> 24)};
    return writeBytes(le, sizeof le);
}

bool CMemoryStream::writeByte(std::uint8_t value)
{
    return writeBytes(&value, 1);
}

bool CMemoryStream::writeString(std::string_view text)
{
    const std::size_t nul = text.find('\0');
    if (nul != std::string_view::npos) {
        text = text.substr(0, nul);
    }
    if (text.size() > kMaxPosition) {
        return false;
    }
    const std::int32_t start = position;
    if (!writeInt32(static_cast<std::int32_t>(text.size())) || !writeBytes(text.data(), text.size())) {
        position = start;
        return false;
    }
    return true;
}

bool CMemoryStream::writeStringList(const std::vector<std::string>& list)
{
    if (list.size() > kMaxPosition || !writeInt32(static_cast<std::int32_t>(list.size()))) {
        return false;
    }
    for (const std::string& s : list) {
        if (!writeString(s)) {
            return false;
        }
    }
    return true;
}

bool CMemoryStream::readInt32(std::int32_t& value)
{
    if (remaining() < 4) {
        return false;
    }
    const std::uint8_t* p = buffer->data() + position;
    const std::uint32_t u = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                            std::uint32_t(p[3]) << 24;
    value = static_cast<std::int32_t>(u);
    position += 4;
    return true;
}

void CMemoryStream::readByte(std::uint8_t& value)
{
    if (remaining() < 1) {
        return;
    }
    value = buffer->data()[position];
    position += 1;
}

void CMemoryStream::readString(std::string& text)
{
    std::int32_t length = 0;
    if (!readInt32(length)) {
        text.clear();
        return;
    }
    if (length < 0) {
        return;
    }
    const auto n = static_cast<std::size_t>(length);
    if (n > remaining()) {
        text.clear();
        return;
    }
    const char* p = reinterpret_cast<const char*>(buffer->data() + position);
    const std::string_view bytes(p, n);
    text.assign(bytes.substr(0, bytes.find('\0')));
    position += length;
}

void CMemoryStream::readStringList(std::vector<std::string>& list)
{
    list.clear();
    std::int32_t count = 0;
    if (!readInt32(count)) {
        return;
    }
    for (std::int32_t i = 0; i < count && remaining() >= 4; ++i) {
        std::string element;
        readString(element);
        list.push_back(std::move(element));
    }
}

} // namespace TessarinWin
