#include "model/JsonInfo.h"

#include "core/AtomicFile.h"

#include <cmath>
#include <fstream>
#include <iterator>
#include <limits>
#include <memory>

namespace lvjson {

std::string styledText(const Json::Value& value)
{
    const std::string lf = Json::StyledWriter().write(value);
    std::string crlf;
    crlf.reserve(lf.size() + lf.size() / 16);
    // The writer escapes line feeds inside strings, so every raw '\n' is a line end.
    for (const char c : lf) {
        if (c == '\n') {
            crlf += '\r';
        }
        crlf += c;
    }
    return crlf;
}

bool parse(std::string_view text, Json::Value& out, bool rejectDuplicateNames)
{
    Json::CharReaderBuilder builder;
    builder.settings_["failIfExtra"] = true;
    builder.settings_["rejectDupKeys"] = rejectDuplicateNames;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
            return false;
        }
    } catch (const Json::Exception&) {
        // Nesting beyond the reader's depth limit is reported by an exception.
        return false;
    }
    out = std::move(value);
    return true;
}

bool isValidUtf8(std::string_view text)
{
    std::size_t i = 0;
    const std::size_t n = text.size();
    const auto byte = [&](std::size_t k) { return static_cast<unsigned char>(text[k]); };
    const auto continuation = [&](std::size_t k) { return k < n && (byte(k) & 0xC0) == 0x80; };
    while (i < n) {
        const unsigned char b = byte(i);
        if (b < 0x80) {
            ++i;
        } else if (b >= 0xC2 && b <= 0xDF) {
            if (!continuation(i + 1)) {
                return false;
            }
            i += 2;
        } else if (b >= 0xE0 && b <= 0xEF) {
            if (!continuation(i + 1) || !continuation(i + 2)) {
                return false;
            }
            const unsigned char b1 = byte(i + 1);
            if ((b == 0xE0 && b1 < 0xA0) || (b == 0xED && b1 >= 0xA0)) {
                return false; // overlong, or a surrogate
            }
            i += 3;
        } else if (b >= 0xF0 && b <= 0xF4) {
            if (!continuation(i + 1) || !continuation(i + 2) || !continuation(i + 3)) {
                return false;
            }
            const unsigned char b1 = byte(i + 1);
            if ((b == 0xF0 && b1 < 0x90) || (b == 0xF4 && b1 >= 0x90)) {
                return false; // overlong, or above U+10FFFF
            }
            i += 4;
        } else {
            return false;
        }
    }
    return true;
}

const Json::Value* member(const Json::Value& object, const char* key)
{
    if (!object.isObject()) {
        return nullptr;
    }
    const Json::Value* found = object.find(key, key + std::char_traits<char>::length(key));
    if (found == nullptr || found->isNull()) {
        return nullptr;
    }
    return found;
}

std::optional<std::string> memberText(const Json::Value& object, const char* key)
{
    const Json::Value* v = member(object, key);
    if (v == nullptr || v->isObject() || v->isArray()) {
        return std::nullopt;
    }
    return v->asString();
}

std::optional<double> memberNumber(const Json::Value& object, const char* key)
{
    const Json::Value* v = member(object, key);
    if (v == nullptr || !v->isNumeric()) {
        return std::nullopt;
    }
    const double d = v->asDouble();
    if (!std::isfinite(d)) {
        return std::nullopt;
    }
    return d;
}

std::optional<std::int32_t> toInt32(const Json::Value& value)
{
    if (value.isBool()) {
        return value.asBool() ? 1 : 0;
    }
    if (value.isInt()) {
        return value.asInt();
    }
    if (value.isDouble() && !value.isIntegral()) {
        const double d = std::trunc(value.asDouble());
        if (std::isfinite(d) && d >= double(std::numeric_limits<std::int32_t>::min()) &&
            d <= double(std::numeric_limits<std::int32_t>::max())) {
            return std::int32_t(d);
        }
    }
    return std::nullopt;
}

} // namespace lvjson

const std::string& JsonInfo::toJsonText()
{
    m_jsonText = lvjson::styledText(toJsonValue());
    return m_jsonText;
}

bool JsonInfo::fromJsonText(std::string_view text)
{
    return fromJsonTextChecked(text, false);
}

bool JsonInfo::fromJsonTextChecked(std::string_view text, bool rejectDuplicateNames)
{
    Json::Value value;
    if (!lvjson::parse(text, value, rejectDuplicateNames)) {
        return false;
    }
    try {
        return fromJsonValue(value);
    } catch (const Json::Exception&) {
        // Readers check types before converting; this only keeps a missed case from ending the program.
        return false;
    }
}

bool JsonInfo::loadFile(const std::filesystem::path& path)
{
    std::error_code ec;
    if (std::filesystem::is_directory(path, ec)) {
        return false; // a folder opens as a stream on Linux but reads nothing
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return false;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        return false;
    }
    return fromJsonText(text);
}

bool JsonInfo::saveFile(const std::filesystem::path& path)
{
    return Tessarin::writeFileAtomically(path, toJsonText());
}

Json::Value& JsonInfo::resetJsonValue()
{
    if (m_jsonValue.isObject() || m_jsonValue.isArray()) {
        m_jsonValue.clear();
    } else {
        m_jsonValue = Json::Value(Json::objectValue);
    }
    return m_jsonValue;
}
