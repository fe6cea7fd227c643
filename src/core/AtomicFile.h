#pragma once

// Replacing a file's contents without ever leaving half of them behind.
//
// The bytes go to a new temporary file in the target's folder, which is flushed to the disk and then
// renamed over the target. A crash, a full disk or a failed write leaves either the old file or the
// new one, never a truncated mixture; on failure the temporary file is removed and the target is
// untouched. An existing target keeps its permission bits.

#include <filesystem>
#include <string_view>

namespace Tessarin {

// True when the target now holds exactly the given bytes. Fails (and writes nothing) when the
// target's folder does not exist or cannot be written, or when the target is a folder.
bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes);

} // namespace Tessarin
