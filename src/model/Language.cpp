#include "model/Language.h"

#include "model/JsonInfo.h"

#include "core/FileAccess.h"

#include <mutex>

namespace {

constexpr std::uint64_t kLargestLanguageFile = 16ull * 1024 * 1024; // [bytes]

const Json::Value& simplifiedChineseTable()
{
    static const Json::Value table = [] {
        Json::Value v;
        lvjson::parse(simplifiedChineseLanguageText(), v);
        return v;
    }();
    return table;
}

// The program's own English: every text the program translates, as it is.
const Json::Value& englishTable()
{
    static const Json::Value table = [] {
        Json::Value v(Json::objectValue);
        const Json::Value& keys = simplifiedChineseTable();
        for (const std::string& key : keys.getMemberNames()) {
            v[key] = key;
        }
        v["language"] = "English";
        return v;
    }();
    return table;
}

// The loaded table is filled once by the main window; the lock keeps a late reload from racing a
// translation on another thread.
std::mutex g_loadedLock;
Json::Value g_loaded;

std::string stringMember(const Json::Value& table, const std::string& key)
{
    if (!table.isObject()) {
        return {};
    }
    const Json::Value* v = table.find(key.data(), key.data() + key.size());
    return v != nullptr && v->isString() ? v->asString() : std::string();
}

} // namespace

bool loadLanguage(const std::string& path)
{
    Json::Value table;
    bool loaded = false;
    if (path == kSimplifiedChineseTable) {
        table = simplifiedChineseTable();
        loaded = true;
    } else if (!path.empty() && path != "DEFAULT_PATH") {
        const std::optional<std::string> text = Tessarin::readRegularFile(std::filesystem::path(path), kLargestLanguageFile);
        loaded = text && lvjson::parse(*text, table) && table.isObject();
    }
    const std::lock_guard<std::mutex> lock(g_loadedLock);
    g_loaded = loaded ? std::move(table) : Json::Value();
    return loaded;
}

std::string translate(const std::string& key)
{
    std::string text;
    {
        const std::lock_guard<std::mutex> lock(g_loadedLock);
        text = stringMember(g_loaded, key);
    }
    if (text.empty()) {
        text = stringMember(englishTable(), key);
    }
    return text;
}
