#include "model/JsonInfo.h"

#include "core/AtomicFile.h"
#include "core/FileAccess.h"

#include <cmath>
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
    return parse(text, out, ParseRules{rejectDuplicateNames, true});
}

namespace {

// The parser's report ("* Line 1, Column 5\n  Missing '}'...\n") on one line.
std::string oneLine(const std::string& report)
{
    std::string line;
    bool space = false;
    for (const char c : report) {
        if (c == '\n' || c == '\r' || c == ' ' || c == '\t') {
            space = !line.empty();
            continue;
        }
        if (c == '*' && line.empty()) {
            continue;
        }
        if (space) {
            line += ' ';
            space = false;
        }
        line += c;
    }
    return line;
}

} // namespace

bool parse(std::string_view text, Json::Value& out, const ParseRules& rules, std::string* error)
{
    Json::CharReaderBuilder builder;
    builder.settings_["failIfExtra"] = rules.rejectTrailingText;
    builder.settings_["rejectDupKeys"] = rules.rejectDuplicateNames;
    const std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    Json::Value value;
    std::string errors;
    try {
        if (!reader->parse(text.data(), text.data() + text.size(), &value, &errors)) {
            if (error != nullptr) {
                *error = oneLine(errors);
            }
            return false;
        }
    } catch (const Json::Exception& e) {
        // Nesting beyond the reader's depth limit is reported by an exception.
        if (error != nullptr) {
            *error = e.what();
        }
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
    const std::optional<std::string> text = Tessarin::readRegularFile(path, kLargestJsonFile);
    return text && fromJsonText(*text);
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
