#pragma once

// Folders stored in a project (the model folder, the voice bank folder, the wav locations) may be
// relative: they are then taken from the folder that holds the project file, so a project copied
// with its recordings builds into its own copy. Absolute folders are used as they are.

#include "model/CTsToolBoxProjModel.h"

#include <filesystem>
#include <string>
#include <string_view>

// The folder to use for a stored text: empty stays empty (the build panel's "no folder"), an
// absolute path is returned unchanged, a relative one is joined to the project file's folder (made
// absolute from the working directory) and normalised.
std::string resolveProjectFolder(const std::filesystem::path& projectFile, std::string_view stored);

// The model folder, the voice bank folder and every wav location of model, resolved in place.
void resolveProjectFolders(TSTBCurrentModel::CTsToolBoxProjModel& model, const std::filesystem::path& projectFile);

// Keeps every folder of model naming the same place when the project file moves from fromFile to
// toFile (Save As into another folder): a relative folder is rewritten relative to toFile's folder,
// an absolute one is kept, and so is an empty one. A project never saved (fromFile empty) had its
// relative folders taken from the working directory. A folder that cannot be written relative to
// the new folder (another root) becomes absolute. The browse folder is only a chooser's start and
// stays as it is.
void rebaseProjectFolders(TSTBCurrentModel::CTsToolBoxProjModel& model, const std::filesystem::path& fromFile,
                          const std::filesystem::path& toFile);
