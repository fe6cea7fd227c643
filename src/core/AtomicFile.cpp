#include "core/AtomicFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessarin {

namespace {

bool writeAll(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

// Makes the rename itself durable. Best effort: some file systems refuse fsync on a folder, and
// the data is already safe in the renamed file.
void syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

} // namespace

AtomicWriteStatus writeFileAtomically(const std::filesystem::path& target, const std::filesystem::path& tempPath,
                                      std::string_view bytes)
{
    const int fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (fd < 0) {
        return AtomicWriteStatus::cannotCreate;
    }
    // A replaced file keeps its permission bits, as it would if it were written in place.
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(fd, existing.st_mode & 07777);
    }
    const bool written = writeAll(fd, bytes) && ::fsync(fd) == 0;
    // close() can report a deferred write error (NFS, quota), so its result counts too.
    const bool closed = ::close(fd) == 0;
    if (!written || !closed) {
        std::error_code ec;
        std::filesystem::remove(tempPath, ec);
        return AtomicWriteStatus::writeFailed;
    }
    std::error_code ec;
    std::filesystem::rename(tempPath, target, ec);
    if (ec) {
        return AtomicWriteStatus::replaceFailed;
    }
    syncFolder(target.parent_path());
    return AtomicWriteStatus::written;
}

} // namespace Tessarin
