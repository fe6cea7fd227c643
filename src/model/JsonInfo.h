#pragma once

// Base of every object kept as a JSON document (voice configuration entries and their folder file,
// the application settings, the vibrato presets).
//
// The text form is jsoncpp's styled writer: one member per line, three-space indentation, members in
// ascending byte order of their names, and CR LF line ends on every platform, so that a file's bytes
// never depend on the system that wrote it.

#include <json/json.h>

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

class JsonInfo {
public:
    JsonInfo() = default;
    virtual ~JsonInfo() = default;
    JsonInfo(const JsonInfo&) = default;
    JsonInfo& operator=(const JsonInfo&) = default;
    JsonInfo(JsonInfo&&) = default;
    JsonInfo& operator=(JsonInfo&&) = default;

    // Rebuilds the value from the fields, renders it and keeps the text.
    virtual const std::string& toJsonText();
    // Rebuilds the held value from the fields and returns it.
    virtual Json::Value& toJsonValue() = 0;
    // False when the text is not one JSON document (trailing text other than white space and
    // comments counts as not JSON, so that nothing the reader skipped can be lost on the next save).
    virtual bool fromJsonText(std::string_view text);
    // True when every required member was present and usable.
    virtual bool fromJsonValue(const Json::Value& value) = 0;

    // False, with nothing changed, when the file cannot be opened or read. Only regular files up to
    // kLargestJsonFile bytes are read.
    bool loadFile(const std::filesystem::path& path);
    static constexpr std::uint64_t kLargestJsonFile = 64ull * 1024 * 1024;
    // Replaces the file atomically with toJsonText(); false when it could not be written.
    bool saveFile(const std::filesystem::path& path);

protected:
    // fromJsonText with the parser's duplicate-name check chosen by the caller.
    bool fromJsonTextChecked(std::string_view text, bool rejectDuplicateNames);
    // Empties the held value before the fields are written into it again.
    Json::Value& resetJsonValue();

    Json::Value m_jsonValue;
    std::string m_jsonText;
};

namespace lvjson {

// Renders a value as the styled writer does, with CR LF line ends.
std::string styledText(const Json::Value& value);

// Parses one JSON document; false (and out untouched) when the text is not one. With
// rejectDuplicateNames, an object that names a member twice fails too (the reader would otherwise
// keep only the last of them).
bool parse(std::string_view text, Json::Value& out, bool rejectDuplicateNames = false);

struct ParseRules {
    bool rejectDuplicateNames = false; // otherwise the last of a repeated member is kept
    bool rejectTrailingText = true;    // text after the document other than white space and comments
};
// The same with the rules given; error, when given, receives the parser's reason on one line.
bool parse(std::string_view text, Json::Value& out, const ParseRules& rules, std::string* error = nullptr);

// Strict UTF-8 (no overlong forms, surrogates or code points above U+10FFFF). The writer replaces
// every byte sequence that is not valid UTF-8 by U+FFFD, so text that fails this test would not
// survive a save.
bool isValidUtf8(std::string_view text);

// Member lookups that never throw on a value of the wrong type. A member counts as present when
// the object has it and it is not null.
const Json::Value* member(const Json::Value& object, const char* key);
// The member as text: strings as they are, and numbers and booleans in jsoncpp's text form.
std::optional<std::string> memberText(const Json::Value& object, const char* key);
// The member as a finite number.
std::optional<double> memberNumber(const Json::Value& object, const char* key);
// A JSON number (truncated towards zero when real) or boolean as a signed 32-bit integer; none
// when the value is of another type or out of range.
std::optional<std::int32_t> toInt32(const Json::Value& value);

} // namespace lvjson
