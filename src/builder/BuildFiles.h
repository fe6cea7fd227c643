#pragma once

// The files a build reads or writes, so that nothing the user names as an output (a log, a rendered
// WAV) can take the place of one of them: the project file, the voice.lvcfg and the recordings of
// every wav location, the model files and the voice bank files.

#include "model/CTsToolBoxProjModel.h"

#include <filesystem>
#include <optional>
#include <string>

// The same file, or the same place for a file not written yet (links and "." / ".." resolved).
bool samePlace(const std::filesystem::path& a, const std::filesystem::path& b);

// The folder that holds path, compared as samePlace does.
bool inFolder(const std::filesystem::path& path, const std::string& folder);

// In folder or in any folder below it (a bank's set folder, for one).
bool insideFolder(const std::filesystem::path& path, const std::string& folder);

// TSI, TSC, TSC_1, TSC_2 …, voice.tssd.
bool isBankFileName(const std::string& name);

// What path is to a build of project, saved as projectFile, whose folders are resolved: "the project
// file", "the voice configuration file of a wav location", "the recording of the entry …", "a model
// file", "a voice bank file"; none when it is none of them.
std::optional<std::string> buildFileAt(const std::filesystem::path& path, const std::filesystem::path& projectFile,
                                       const TSTBCurrentModel::CTsToolBoxProjModel& project);
