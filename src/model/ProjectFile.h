#pragma once

// The project file ".lvtb": 15 magic bytes "RODIRADIZEDEVER", the int32 version of the model, the
// int32 payload length and the payload (little-endian throughout).

#include "model/CTsToolBoxProjModel.h"

#include "core/FileAccess.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

inline constexpr std::string_view kProjectMagic = "RODIRADIZEDEVER";
inline constexpr std::string_view kHighVersionMessage = "It's high version project file, please update editor to use it";
inline constexpr std::string_view kHighVersionCaption = "(＞﹏＜)";

// Turns an English user-interface text (the key) into the user's language, UTF-8.
using Translator = std::function<std::string(std::string_view key)>;
// Shows a message to the user; the front end decides how (message box, stderr line).
using MessageSink = std::function<void(std::string_view text, std::string_view caption)>;

// The English text itself, for front ends that show English (the command line).
std::string untranslated(std::string_view key);
// The text through the language table.
std::string translated(std::string_view key);

struct ProjectMessages {
    Translator translate = translated;
    MessageSink show; // while unset, messages are dropped
};

// The largest project file read [bytes]: dictionaries and settings take a few kilobytes.
inline constexpr std::uint64_t kLargestProjectFile = 64ull * 1024 * 1024;

enum class ProjectReadStatus {
    ok,
    cannotOpen, // see error: missing, not a regular file (a folder, a FIFO …), too large, unreadable
    notProjectFile, // too short, other magic bytes, or a negative version
    newerVersion,
};

struct ProjectReadResult {
    ProjectReadStatus status = ProjectReadStatus::cannotOpen;
    std::int32_t fileVersion = 0; // as found in the file, once the magic bytes matched
    Tessarin::ReadError error;    // why, with cannotOpen
    std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model; // set only with ok
};

// Reads a project file of version 0 or 1 into a current model, telling why when it cannot. Never
// shows anything. A payload shorter than its declared length is read as far as it goes; the
// strings it cannot hold read as empty.
ProjectReadResult readProjectFile(const std::filesystem::path& path);

// Shows the translated "high version" message with its caption through messages.show, if set.
void showHighVersionMessage(const ProjectMessages& messages);

// readProjectFile for the document: no model on any failure, and the translated "high version"
// message through messages.show when the file is newer than this program.
std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> loadProject(const std::filesystem::path& path,
                                                                   const ProjectMessages& messages = {});

// Writes the project file through a temporary file beside path, flushed to the disk before it
// replaces path, so the old file stays whole until the new one is. Returns 0 when path holds the
// new project, −1 when it could not be written (path untouched, no temporary file left). A symbolic
// link at path is replaced by the file, as every file the program writes.
int saveProject(const TSTBCurrentModel::CTsToolBoxProjModel& model, const std::filesystem::path& path);
