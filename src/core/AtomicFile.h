#pragma once

// Replacing a file without ever leaving half of it behind: the new bytes go to a temporary file
// beside the target, are flushed to the disk, and the temporary file is then renamed over the
// target. A crash or a full disk leaves either the old file or the new one.
//
// The temporary file gets a fresh, unpredictable name (target name + "." + random letters + ".tmp")
// and is created exclusively: a file or a symbolic link already standing under that name is never
// opened, so a link planted beside a shared folder's files cannot redirect a save.
//
// A symbolic link at the target itself is replaced by the new file; the file it pointed to is never
// written. (Every writer of the program follows this one rule, whatever the file kind.)
//
// A writer holds a lock on its temporary file until the rename. The next writer of the same target
// removes the temporary files whose lock it can take (their writer was killed mid-write); those of
// writers still at work are left alone.

#include <filesystem>
#include <string>
#include <string_view>
#include <system_error>

namespace Tessarin {

// Writes bytes into a unique temporary file beside target, flushes it to the disk, then renames it
// over target. True when the target now holds exactly the bytes; otherwise nothing is left behind
// and the target is as it was (error, when given, says why). An existing regular target passes its
// permission bits on to the new file. Fails when the folder is missing or unwritable or the target
// is a folder, a device, a FIFO or a socket (those are never replaced).
// Makes a rename in folder durable. Best effort: some file systems refuse fsync on a folder, and
// the data is already safe in the renamed file.
void syncFolder(const std::filesystem::path& folder);
// count letters and digits, for names no one else prepared.
std::string randomLetters(std::size_t count);

bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, std::error_code* error = nullptr);

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

    bool open(const std::filesystem::path& target);
    bool append(std::string_view bytes);
    bool finish();  // flushed to the disk and closed; false when any write failed
    bool replace(); // renamed over the target (after finish)
    void abandon(); // closes and removes the temporary file

    bool isOpen() const { return m_fd >= 0; }
    const std::filesystem::path& temporaryPath() const { return m_temp; }
    // The first failure's cause (open, write, flush, close or rename).
    std::error_code error() const { return m_error; }

private:
    std::filesystem::path m_target;
    std::filesystem::path m_temp;
    void releaseLock();

    int m_fd = -1;
    int m_lockFd = -1; // after finish(): holds the temporary file's lock until the rename
    bool m_failed = false;
    bool m_finished = false;
    std::error_code m_error;
};

} // namespace Tessarin
