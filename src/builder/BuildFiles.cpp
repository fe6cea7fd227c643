#include "builder/BuildFiles.h"

#include "builder/ModelManifest.h"
#include "model/CTsVoiceCfgMgr.h"

namespace fs = std::filesystem;

bool samePlace(const fs::path& a, const fs::path& b)
{
    std::error_code ec;
    if (fs::equivalent(a, b, ec) && !ec) {
        return true;
    }
    const auto ca = fs::weakly_canonical(fs::absolute(a, ec), ec);
    const auto cb = fs::weakly_canonical(fs::absolute(b, ec), ec);
    return !ca.empty() && ca == cb;
}

bool inFolder(const fs::path& path, const std::string& folder)
{
    if (folder.empty()) {
        return false;
    }
    std::error_code ec;
    const auto parent = fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec);
    return samePlace(parent, folder);
}

bool insideFolder(const fs::path& path, const std::string& folder)
{
    if (folder.empty()) {
        return false;
    }
    std::error_code ec;
    const auto parent = fs::weakly_canonical(fs::absolute(path, ec).parent_path(), ec);
    const auto base = fs::weakly_canonical(fs::absolute(folder, ec), ec);
    if (parent.empty() || base.empty()) {
        return false;
    }
    const auto rel = parent.lexically_relative(base);
    return !rel.empty() && *rel.begin() != "..";
}

bool isBankFileName(const std::string& name)
{
    if (name == "TSI" || name == "TSC" || name == "voice.tssd") {
        return true;
    }
    return name.size() > 4 && name.compare(0, 4, "TSC_") == 0 && name.find_first_not_of("0123456789", 4) == std::string::npos;
}

std::optional<std::string> buildFileAt(const fs::path& path, const fs::path& projectFile,
                                       const TSTBCurrentModel::CTsToolBoxProjModel& project)
{
    if (samePlace(path, projectFile)) {
        return "the project file";
    }
    for (const std::string& location : project.wavLocations) {
        CTsVoiceCfgMgr mgr;
        mgr.loadFolder(location);
        if (!mgr.filePath().empty() && samePlace(path, mgr.filePath())) {
            return "the voice configuration file of a wav location";
        }
        for (const CTsVoiceCfg* e : mgr.entries()) {
            if (samePlace(path, fs::path(location) / e->wavName)) {
                return "the recording of the entry " + e->entryKey();
            }
        }
    }
    const std::string name = path.filename().string();
    constexpr std::string_view kModelSuffix = ".LVModel";
    if (inFolder(path, project.modelFolder) && name.size() > kModelSuffix.size() &&
        name.compare(name.size() - kModelSuffix.size(), kModelSuffix.size(), kModelSuffix) == 0) {
        return "a model file";
    }
    if (inFolder(path, project.modelFolder) && name == kModelManifestName) {
        return "the record of the model files";
    }
    // A bank's files are also reached through the folder of its current set (bank/.lvset/TSI).
    if (isBankFileName(name) && !project.voiceBankFolder.empty() &&
        (insideFolder(path, project.voiceBankFolder) || samePlace(path, fs::path(project.voiceBankFolder) / name))) {
        return "a voice bank file";
    }
    return std::nullopt;
}
