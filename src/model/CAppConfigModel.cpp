#include "model/CAppConfigModel.h"

#include "core/FileAccess.h"

#include <unistd.h>

#include <array>
#include <cstdlib>
#include <optional>
#include <fstream>
#include <iterator>
#include <system_error>

namespace {

constexpr const char* kConfigFileName = "app.cfg";
constexpr const char* kConfigFolderName = "config";
constexpr const char* kUserFolderName = "lirvane-toolbox";

// A member present in the object, null included: the old settings files are read that way, except
// for "singerName".
const Json::Value* anyMember(const Json::Value& object, const char* key)
{
    if (!object.isObject()) {
        return nullptr;
    }
    return object.find(key, key + std::char_traits<char>::length(key));
}

void readInt(const Json::Value& object, const char* key, std::int32_t& field)
{
    if (const Json::Value* v = anyMember(object, key)) {
        if (v->isNull()) {
            field = 0;
        } else if (const auto i = lvjson::toInt32(*v)) {
            field = *i;
        }
    }
}

void readBool(const Json::Value& object, const char* key, bool& field)
{
    if (const Json::Value* v = anyMember(object, key)) {
        if (v->isNull() || v->isBool() || v->isNumeric()) {
            field = v->asBool();
        }
    }
}

void readString(const Json::Value& object, const char* key, std::string& field, bool nullKeeps)
{
    if (const Json::Value* v = anyMember(object, key)) {
        if (v->isString()) {
            field = v->asString();
        } else if (v->isNull() && !nullKeeps) {
            field.clear();
        }
    }
}

std::filesystem::path executableFolder()
{
    std::error_code ec;
    const auto exe = std::filesystem::read_symlink("/proc/self/exe", ec);
    return ec ? std::filesystem::path() : exe.parent_path();
}

bool usable(const char* value)
{
    return value != nullptr && value[0] != '\0';
}

} // namespace

Json::Value& CAppConfigModel::toJsonValue()
{
    Json::Value& v = resetJsonValue();
    v["isAutoVib"] = isAutoVib;
    v["vibPreins"] = vibPreins.toJsonValue();
    v["vibPercent"] = vibPercent;
    v["autoVibBeats"] = autoVibBeats;
    v["expBendDep"] = expBendDep;
    v["expBendLen"] = expBendLen;
    v["expHeadChg"] = expHeadChg;
    v["expTailChg"] = expTailChg;
    v["singerName"] = singerName;
    v["trkQuant"] = trkQuant;
    v["trkLen"] = trkLen;
    v["edtQuant"] = edtQuant;
    v["edtLen"] = edtLen;
    v["edtQuantTriplet"] = edtQuantTriplet;
    v["showGridLine"] = showGridLine;
    v["backToStartAfterPlay"] = backToStartAfterPlay;
    v["useAutoBackup"] = useAutoBackup;
    v["autoBackupMinute"] = autoBackupMinute;
    v["langFilePath"] = langFilePath;
    v["latestTscfgLoc"] = latestTscfgLoc;
    if (!recentProjects.empty()) {
        Json::Value& recent = v["recentProjects"] = Json::Value(Json::arrayValue);
        for (const std::string& path : recentProjects) {
            recent.append(path);
        }
    }
    if (spectrogramTopFrequency != kDefaultSpectrogramTop) {
        v["spectrogramTopFrequency"] = spectrogramTopFrequency;
    }
    if (!showF0Overlay) {
        v["showF0Overlay"] = showF0Overlay;
    }
    if (!windowPlaces.empty()) {
        Json::Value& places = v["windowPlaces"] = Json::Value(Json::objectValue);
        for (const auto& [name, place] : windowPlaces) {
            Json::Value& rect = places[name] = Json::Value(Json::arrayValue);
            for (const std::int32_t n : {place.x, place.y, place.width, place.height}) {
                rect.append(n);
            }
        }
    }
    return v;
}

bool CAppConfigModel::fromJsonValue(const Json::Value& value)
{
    bool ok = true;
    if (const Json::Value* preset = lvjson::member(value, "vibPreins")) {
        CVibratoPreinstall fresh;
        ok = fresh.fromJsonValue(*preset);
        if (ok) {
            vibPreins.copyFrom(fresh);
        }
    }
    readInt(value, "vibPercent", vibPercent);
    readInt(value, "autoVibBeats", autoVibBeats);
    readBool(value, "isAutoVib", isAutoVib);
    readInt(value, "expBendDep", expBendDep);
    readInt(value, "expBendLen", expBendLen);
    readInt(value, "expHeadChg", expHeadChg);
    readInt(value, "expTailChg", expTailChg);
    readString(value, "singerName", singerName, true);
    readInt(value, "trkQuant", trkQuant);
    readInt(value, "trkLen", trkLen);
    readInt(value, "edtQuant", edtQuant);
    readInt(value, "edtLen", edtLen);
    readBool(value, "edtQuantTriplet", edtQuantTriplet);
    readBool(value, "showGridLine", showGridLine);
    readBool(value, "backToStartAfterPlay", backToStartAfterPlay);
    readBool(value, "useAutoBackup", useAutoBackup);
    readInt(value, "autoBackupMinute", autoBackupMinute);
    readString(value, "langFilePath", langFilePath, false);
    readString(value, "latestTscfgLoc", latestTscfgLoc, false);
    if (const Json::Value* recent = anyMember(value, "recentProjects"); recent != nullptr && recent->isArray()) {
        recentProjects.clear();
        for (const Json::Value& path : *recent) {
            if (path.isString() && !path.asString().empty()) {
                recentProjects.push_back(path.asString());
            }
        }
    }
    readInt(value, "spectrogramTopFrequency", spectrogramTopFrequency);
    readBool(value, "showF0Overlay", showF0Overlay);
    if (const Json::Value* places = anyMember(value, "windowPlaces"); places != nullptr && places->isObject()) {
        windowPlaces.clear();
        for (auto it = places->begin(); it != places->end(); ++it) {
            // Four integers, a size that is not empty; anything else is passed over.
            const Json::Value& rect = *it;
            if (!rect.isArray() || rect.size() != 4) {
                continue;
            }
            std::array<std::int32_t, 4> n{};
            bool allNumbers = true;
            for (Json::ArrayIndex i = 0; i < 4; ++i) {
                const std::optional<std::int32_t> number = lvjson::toInt32(rect[i]);
                allNumbers = allNumbers && number.has_value();
                n[i] = number.value_or(0);
            }
            if (allNumbers && n[2] > 0 && n[3] > 0) {
                windowPlaces[it.name()] = WindowPlace{n[0], n[1], n[2], n[3]};
            }
        }
    }
    return ok;
}

bool CAppConfigModel::loadSettingsFile(const std::filesystem::path& path)
{
    m_fileUnreadable = false;
    Tessarin::ReadError why;
    const std::optional<std::string> text = Tessarin::readRegularFile(path, kLargestJsonFile, &why);
    if (!text && why.failure == Tessarin::ReadFailure::notFound) {
        return true;
    }
    Json::Value document;
    if (!text || !lvjson::parse(*text, document) || !document.isObject()) {
        m_fileUnreadable = true;
        return false;
    }
    // An unnamed preset is refused by the read, but the other members are taken all the same.
    fromJsonValue(document);
    return true;
}

bool CAppConfigModel::saveSettingsFile(const std::filesystem::path& path)
{
    if (m_fileUnreadable) {
        return false;
    }
    return saveFile(path);
}

std::filesystem::path resolveConfigFolder(const std::filesystem::path& exeFolder, const char* lvtbConfigDir,
                                          const char* xdgConfigHome, const char* home)
{
    if (usable(lvtbConfigDir)) {
        return lvtbConfigDir;
    }
    std::error_code ec;
    const std::filesystem::path portable = exeFolder / kConfigFolderName;
    if (!exeFolder.empty() && std::filesystem::is_directory(portable, ec)) {
        return portable;
    }
    // A relative XDG_CONFIG_HOME is invalid and is ignored.
    if (usable(xdgConfigHome) && xdgConfigHome[0] == '/') {
        return std::filesystem::path(xdgConfigHome) / kUserFolderName;
    }
    if (usable(home)) {
        return std::filesystem::path(home) / ".config" / kUserFolderName;
    }
    return portable;
}

std::filesystem::path configPath()
{
    return resolveConfigFolder(executableFolder(), std::getenv("LVTB_CONFIG_DIR"), std::getenv("XDG_CONFIG_HOME"),
                               std::getenv("HOME")) /
        kConfigFileName;
}

CAppConfigModel& config()
{
    static CAppConfigModel instance = [] {
        CAppConfigModel settings;
        settings.loadSettingsFile(configPath()); // a missing or unreadable file leaves the defaults
        return settings;
    }();
    return instance;
}

bool saveConfig()
{
    const std::filesystem::path path = configPath();
    const std::filesystem::path folder = path.parent_path();
    std::error_code ec;
    const char* own = std::getenv("LVTB_CONFIG_DIR");
    const bool portable = folder == executableFolder() / kConfigFolderName;
    if (!usable(own) && !portable && !std::filesystem::is_directory(folder, ec)) {
        std::filesystem::create_directories(folder, ec);
    }
    return config().saveSettingsFile(path);
}
