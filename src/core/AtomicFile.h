#pragma once

// Replacing a file without ever leaving half of it behind: the new bytes go to a temporary file
// beside the target, are flushed to the disk, and the temporary file is then renamed over the
// target. A crash or a full disk leaves either the old file or the new one.

#include <filesystem>
#include <string_view>

namespace Tessarin {

enum class AtomicWriteStatus {
    written,       // the target now holds the bytes; the temporary file is gone
    cannotCreate,  // the temporary file could not be created; nothing was written anywhere
    writeFailed,   // writing or flushing failed (disk full, I/O error); the temporary file was removed
    replaceFailed, // the temporary file is complete but could not be renamed over the target; it stays
};

// Writes bytes into tempPath (created or truncated), flushes it to the disk, then renames it over
// target. tempPath must lie in the target's folder for the rename to be atomic. An existing target
// passes its permission bits on to the new file.
AtomicWriteStatus writeFileAtomically(const std::filesystem::path& target, const std::filesystem::path& tempPath,
                                      std::string_view bytes);

// The same with the temporary file named target + ".tmp", which never outlives the call: true when
// the target now holds exactly the bytes. Fails, writing nothing, when the folder is missing or
// unwritable or the target is a folder.
bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes);

// The same for a file written piece by piece: the pieces go to the temporary file; finish() flushes and
// closes it, replace() renames it over the target. A writer destroyed before replace() removes its
// temporary file, so an interrupted write leaves the old target as it was.
class AtomicFileWriter {
public:
    AtomicFileWriter() = default;
    ~AtomicFileWriter();
    AtomicFileWriter(const AtomicFileWriter&) = delete;
    AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;
    AtomicFileWriter(AtomicFileWriter&& other) noexcept;
    AtomicFileWriter& operator=(AtomicFileWriter&& other) noexcept;

    bool open(const std::filesystem::path& target, const std::filesystem::path& tempPath);
    bool append(std::string_view bytes);
    bool finish();  // flushed to the disk and closed; false when any write failed
    bool replace(); // renamed over the target (after finish)
    void abandon(); // closes and removes the temporary file

    bool isOpen() const { return m_fd >= 0; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    int m_fd = -1;
    bool m_failed = false;
    bool m_finished = false;
};

} // namespace Tessarin
