#include "core/FileLock.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessarin {

namespace {

// flock, waiting or not; EINTR (a signal during the wait) just waits again.
int lockDescriptor(int fd, bool wait)
{
    int result = 0;
    do {
        result = ::flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (result != 0 && errno == EINTR);
    return result == 0 ? 0 : errno;
}

int openFolder(const std::filesystem::path& folder)
{
    return ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

} // namespace

UpdateLock::UpdateLock(const std::filesystem::path& file)
{
    // Each pass either returns holding the lock on what the name names now, or sees that the name
    // moved on while it waited and tries again. Writers rename at most once per pass of another
    // writer, so this ends.
    for (;;) {
        const int fd = ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd >= 0) {
            UniqueFd held(fd);
            struct stat locked {};
            if (::fstat(fd, &locked) != 0 || !S_ISREG(locked.st_mode)) {
                return;
            }
            if (lockDescriptor(fd, true) != 0) {
                return; // no locks on this file system: go on unlocked, as before locks existed
            }
            struct stat named {};
            if (::stat(file.c_str(), &named) == 0 && named.st_dev == locked.st_dev && named.st_ino == locked.st_ino) {
                m_fd = std::move(held);
                return;
            }
            continue; // replaced while we waited: lock the new file
        }
        if (errno != ENOENT) {
            return;
        }
        const int folderFd = openFolder(file.parent_path());
        if (folderFd < 0) {
            return;
        }
        UniqueFd folder(folderFd);
        if (lockDescriptor(folderFd, true) != 0) {
            return;
        }
        struct stat named {};
        if (::lstat(file.c_str(), &named) != 0 && errno == ENOENT) {
            m_fd = std::move(folder);
            return;
        }
        // Created while we waited for the folder: its writer is done with it; lock the file.
    }
}

FolderLock::Status FolderLock::tryAcquire(const std::filesystem::path& folder)
{
    return lock(folder, false);
}

FolderLock::Status FolderLock::acquire(const std::filesystem::path& folder)
{
    return lock(folder, true);
}

FolderLock::Status FolderLock::lock(const std::filesystem::path& folder, bool wait)
{
    m_fd = UniqueFd();
    const int fd = openFolder(folder);
    if (fd < 0) {
        return Status::unavailable;
    }
    UniqueFd held(fd);
    const int error = lockDescriptor(fd, wait);
    if (error == EWOULDBLOCK) {
        return Status::busy;
    }
    if (error != 0) {
        return Status::unavailable;
    }
    m_fd = std::move(held);
    return Status::held;
}

} // namespace Tessarin
