#pragma once

// The application settings, kept as one JSON document, app.cfg. Most members are carried: read and
// written back unchanged without any feature of this program using them.
//
// The settings live in the configuration folder: $LVTB_CONFIG_DIR when set; otherwise a folder
// "config" beside the executable when it exists (a portable install); otherwise
// $XDG_CONFIG_HOME/lirvane-toolbox (~/.config/lirvane-toolbox when XDG_CONFIG_HOME is unset).

#include "model/CVibratoPreinstall.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

class CAppConfigModel : public JsonInfo {
public:
    CAppConfigModel() = default;

    bool isAutoVib = true;
    CVibratoPreinstall vibPreins;
    std::int32_t vibPercent = 66;
    std::int32_t autoVibBeats = 1;
    std::int32_t expBendDep = 8;
    std::int32_t expBendLen = 0;
    std::int32_t expHeadChg = 30;
    std::int32_t expTailChg = 30;
    std::string singerName;
    std::int32_t trkQuant = 4;
    std::int32_t trkLen = 4;
    std::int32_t edtQuant = 8;
    std::int32_t edtLen = 8;
    bool edtQuantTriplet = false;
    bool showGridLine = false;
    bool backToStartAfterPlay = false;
    bool useAutoBackup = true;
    std::int32_t autoBackupMinute = 5;
    std::string langFilePath;   // the language file loaded at start; "DEFAULT_PATH" or empty: none
    std::string latestTscfgLoc; // the folder last opened in the entry list
    // Project files opened or saved last, the newest first (File ▸ Open Recent). Written as
    // "recentProjects" only when there is one, so a file without recent projects keeps its twenty
    // members; readers that do not know the member pass over it.
    std::vector<std::string> recentProjects;
    // The wave editor's spectrogram: its top frequency [Hz] before the frequency zoom (the default
    // is half the 44100 Hz rate, the whole spectrum), and whether the f0 track of the source check
    // is drawn over it. Like "recentProjects", each is written only when it differs from its
    // default, as "spectrogramTopFrequency" and "showF0Overlay".
    static constexpr std::int32_t kDefaultSpectrogramTop = 22050;
    std::int32_t spectrogramTopFrequency = kDefaultSpectrogramTop;
    bool showF0Overlay = true;
    // Where each tool window was last, by the window's name ("list", "editor", ...): left, top,
    // width and height of its inside [logical pixels]. Written as "windowPlaces" only when there is
    // one, in the same way as "recentProjects".
    struct WindowPlace {
        std::int32_t x = 0;
        std::int32_t y = 0;
        std::int32_t width = 0;
        std::int32_t height = 0;
        bool operator==(const WindowPlace&) const = default;
    };
    std::map<std::string, WindowPlace> windowPlaces;

    // Reads the settings file. A file that exists but is not a JSON object leaves the defaults and
    // marks the file as not to be written over: it may hold settings worth repairing by hand.
    // False in that case only (a missing file is fine).
    bool loadSettingsFile(const std::filesystem::path& path);
    // Writes the file atomically; false, writing nothing, over a file that loadSettingsFile could
    // not read, or when the write fails.
    bool saveSettingsFile(const std::filesystem::path& path);
    bool settingsFileUnreadable() const { return m_fileUnreadable; }

    // All twenty members.
    Json::Value& toJsonValue() override;
    // Members that are absent, or of a type that does not convert, keep their value. The result is
    // that of reading "vibPreins" (true when absent); a preset without a name is not taken.
    bool fromJsonValue(const Json::Value& value) override;

private:
    bool m_fileUnreadable = false;
};

// The process's settings: on first use the defaults, then loadSettingsFile(configPath()).
CAppConfigModel& config();

// The configuration folder for the given executable folder and environment values (each may be
// null); see the top of this file.
std::filesystem::path resolveConfigFolder(const std::filesystem::path& exeFolder, const char* lvtbConfigDir,
                                          const char* xdgConfigHome, const char* home);
std::filesystem::path configPath();

// Writes config() to configPath() with saveSettingsFile. The per-user folder is created when
// missing; the portable and the $LVTB_CONFIG_DIR folders are used only when they exist.
bool saveConfig();
