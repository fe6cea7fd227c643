#include "model/ProjectPaths.h"

#include <system_error>

std::string resolveProjectFolder(const std::filesystem::path& projectFile, std::string_view stored)
{
    const std::filesystem::path folder(stored);
    if (stored.empty() || folder.is_absolute()) {
        return std::string(stored);
    }
    std::error_code ec;
    std::filesystem::path base = std::filesystem::absolute(projectFile, ec);
    if (ec) {
        base = projectFile;
    }
    std::string resolved = (base.parent_path() / folder).lexically_normal().string();
    // "models/" and "models" name one folder; the builder adds its own separators.
    while (resolved.size() > 1 && resolved.back() == '/') {
        resolved.pop_back();
    }
    return resolved;
}

void resolveProjectFolders(TSTBCurrentModel::CTsToolBoxProjModel& model, const std::filesystem::path& projectFile)
{
    model.modelFolder = resolveProjectFolder(projectFile, model.modelFolder);
    model.voiceBankFolder = resolveProjectFolder(projectFile, model.voiceBankFolder);
    for (std::string& location : model.wavLocations) {
        location = resolveProjectFolder(projectFile, location);
    }
}
