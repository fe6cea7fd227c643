#pragma once

// Advisory locks (flock) that make writers of the same user file, in one process or several (lvtb
// runs, the desktop program), take turns. They bind only programs that ask for them; the locks are
// released when the process ends, however it ends, so nothing stale is ever left behind.

#include "core/FileAccess.h"

#include <filesystem>

namespace Tessarin {

// Held from the read of a file to the rename of its new version over it (a read-modify-write), so
// that no update made meanwhile by another writer is lost.
//
// The lock is taken on the file itself. A writer replaces the file by renaming a new one over it,
// so after every wait the name is checked to still name the locked file; if it does not, the new
// file is locked instead. While the file does not exist yet, its folder is locked: the first writer
// creates it and the others then find it.
class UpdateLock {
public:
    // Waits until the lock is held. On a file system without locks, or for a name that is not a
    // regular file (the reader refuses those anyway), it returns without holding anything.
    explicit UpdateLock(const std::filesystem::path& file);

    bool held() const { return bool(m_fd); }

private:
    UniqueFd m_fd;
};

// A folder for one writer at a time (a voice bank build: its files only make sense together).
class FolderLock {
public:
    enum class Status {
        held,
        busy,        // another holder has it (try only)
        unavailable, // the folder cannot be opened or the file system has no locks: not held
    };

    FolderLock() = default;
    // Takes the lock if it is free.
    Status tryAcquire(const std::filesystem::path& folder);
    // Waits for the lock.
    Status acquire(const std::filesystem::path& folder);
    void release() { m_fd = UniqueFd(); }
    bool held() const { return bool(m_fd); }

private:
    Status lock(const std::filesystem::path& folder, bool wait);

    UniqueFd m_fd;
};

} // namespace Tessarin
