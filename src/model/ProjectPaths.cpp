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

namespace {

std::filesystem::path absoluteFolderOf(const std::filesystem::path& projectFile)
{
    std::error_code ec;
    if (projectFile.empty()) {
        std::filesystem::path here = std::filesystem::current_path(ec);
        return ec ? std::filesystem::path() : here;
    }
    std::filesystem::path file = std::filesystem::absolute(projectFile, ec);
    if (ec) {
        file = projectFile;
    }
    return file.lexically_normal().parent_path();
}

} // namespace

void rebaseProjectFolders(TSTBCurrentModel::CTsToolBoxProjModel& model, const std::filesystem::path& fromFile,
                          const std::filesystem::path& toFile)
{
    const std::filesystem::path from = absoluteFolderOf(fromFile);
    const std::filesystem::path to = absoluteFolderOf(toFile);
    if (from.empty() || to.empty() || from == to) {
        return; // the same folder: every relative folder still names the same place
    }
    const auto rebase = [&](std::string& stored) {
        const std::filesystem::path folder(stored);
        if (stored.empty() || folder.is_absolute()) {
            return;
        }
        std::string place = (from / folder).lexically_normal().string();
        while (place.size() > 1 && place.back() == '/') {
            place.pop_back();
        }
        const std::filesystem::path relative = std::filesystem::path(place).lexically_relative(to);
        stored = relative.empty() ? place : relative.string();
    };
    rebase(model.modelFolder);
    rebase(model.voiceBankFolder);
    for (std::string& location : model.wavLocations) {
        rebase(location);
    }
}
