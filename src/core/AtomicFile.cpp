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

bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes)
{
    if (target.empty() || !target.has_filename()) {
        return false;
    }
    std::filesystem::path temporary = target;
    temporary += ".tmp";
    const AtomicWriteStatus status = writeFileAtomically(target, temporary, bytes);
    if (status == AtomicWriteStatus::replaceFailed) {
        std::error_code ec;
        std::filesystem::remove(temporary, ec);
    }
    return status == AtomicWriteStatus::written;
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!m_temp.empty()) {
        abandon();
    }
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&& other) noexcept
    : m_target(std::move(other.m_target)), m_temp(std::move(other.m_temp)), m_fd(other.m_fd),
      m_failed(other.m_failed), m_finished(other.m_finished)
{
    other.m_fd = -1;
    other.m_temp.clear();
}

AtomicFileWriter& AtomicFileWriter::operator=(AtomicFileWriter&& other) noexcept
{
    if (this != &other) {
        if (!m_temp.empty()) {
            abandon();
        }
        m_target = std::move(other.m_target);
        m_temp = std::move(other.m_temp);
        m_fd = other.m_fd;
        m_failed = other.m_failed;
        m_finished = other.m_finished;
        other.m_fd = -1;
        other.m_temp.clear();
    }
    return *this;
}

bool AtomicFileWriter::open(const std::filesystem::path& target, const std::filesystem::path& tempPath)
{
    if (!m_temp.empty()) {
        abandon();
    }
    m_fd = ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    if (m_fd < 0) {
        return false;
    }
    struct stat existing {};
    if (::stat(target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode)) {
        ::fchmod(m_fd, existing.st_mode & 07777);
    }
    m_target = target;
    m_temp = tempPath;
    m_failed = false;
    m_finished = false;
    return true;
}

bool AtomicFileWriter::append(std::string_view bytes)
{
    if (m_fd < 0 || m_failed) {
        return false;
    }
    m_failed = !writeAll(m_fd, bytes);
    return !m_failed;
}

bool AtomicFileWriter::finish()
{
    if (m_fd < 0) {
        return m_finished && !m_failed;
    }
    const bool synced = !m_failed && ::fsync(m_fd) == 0;
    const bool closed = ::close(m_fd) == 0;
    m_fd = -1;
    m_failed = m_failed || !synced || !closed;
    m_finished = true;
    return !m_failed;
}

bool AtomicFileWriter::replace()
{
    if (!m_finished || m_failed || m_temp.empty()) {
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(m_temp, m_target, ec);
    if (ec) {
        return false;
    }
    m_temp.clear();
    syncFolder(m_target.parent_path());
    return true;
}

void AtomicFileWriter::abandon()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        std::error_code ec;
        std::filesystem::remove(m_temp, ec);
        m_temp.clear();
    }
}

} // namespace Tessarin
