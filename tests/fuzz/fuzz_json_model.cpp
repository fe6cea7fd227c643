// Arbitrary bytes as the JSON documents the model reads: a folder's voice.lvcfg, app.cfg and a
// vibrato preset, chosen by the first byte. No input may crash a reader; entries of a file that may
// be written over must survive a save and a second read under the same keys.

#include "model/CAppConfigModel.h"
#include "model/CTsVoiceCfgMgr.h"

#include <cstdint>
#include <cstdlib>
#include <string_view>
#include <vector>

namespace {

std::vector<std::string> keysOf(const CTsVoiceCfgMgr& mgr)
{
    std::vector<std::string> keys;
    for (const auto& [key, entry] : mgr.entryMap()) {
        keys.push_back(key);
    }
    return keys;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::string_view text(reinterpret_cast<const char*>(data + 1), size - 1);
    switch (data[0] % 3) {
    case 0: {
        CTsVoiceCfgMgr mgr;
        if (!mgr.fromJsonText(text)) {
            break;
        }
        if (!mgr.writable()) {
            mgr.toJsonText(); // a file read only in part is never saved; its text must still not crash
            break;
        }
        const std::string saved = mgr.toJsonText();
        CTsVoiceCfgMgr again;
        if (!lvjson::isValidUtf8(saved) || !again.fromJsonText(saved) || keysOf(again) != keysOf(mgr)) {
            std::abort();
        }
        break;
    }
    case 1: {
        CAppConfigModel settings;
        settings.fromJsonText(text);
        CAppConfigModel again;
        again.fromJsonText(settings.toJsonText());
        if (again.toJsonText() != settings.toJsonText()) {
            std::abort(); // every member reads back as written
        }
        break;
    }
    default: {
        CVibratoPreinstall preset;
        preset.fromJsonText(text);
        preset.toJsonText();
        break;
    }
    }
    return 0;
}
