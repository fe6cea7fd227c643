#include "core/AtomicFile.h"

#include <array>
#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace Tessarin {

namespace {

constexpr int kNameAttempts = 64;
constexpr std::size_t kRandomLetters = 10;
constexpr std::string_view kTemporarySuffix = ".tmp";
// Room for ".XXXXXXXXXX.tmp" inside the usual 255-byte limit of a file name.
constexpr std::size_t kLongestBaseName = 200;

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

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


std::string temporaryBase(const std::filesystem::path& target)
{
    std::string base = target.filename().native();
    if (base.size() > kLongestBaseName) {
        base.resize(kLongestBaseName);
    }
    return base + ".";
}

bool sameFile(int fd, const std::filesystem::path& name)
{
    struct stat opened {};
    struct stat named {};
    return ::fstat(fd, &opened) == 0 && ::lstat(name.c_str(), &named) == 0 && opened.st_dev == named.st_dev &&
           opened.st_ino == named.st_ino;
}

// A temporary file's writer holds an exclusive lock on it from the moment its name exists until it is
// renamed or removed; the system drops the lock when the writer dies. So a temporary file of target
// whose lock can be taken belongs to a writer that is gone, and is removed. One still being written is
// never touched: its lock cannot be taken.
void removeAbandonedTemporaries(const std::filesystem::path& target)
{
    const std::string base = temporaryBase(target);
    const std::filesystem::path folder = target.parent_path().empty() ? std::filesystem::path(".") : target.parent_path();
    std::error_code ec;
    std::vector<std::filesystem::path> candidates;
    for (std::filesystem::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().native();
        if (name.size() != base.size() + kRandomLetters + kTemporarySuffix.size() || name.compare(0, base.size(), base) != 0 ||
            name.compare(name.size() - kTemporarySuffix.size(), kTemporarySuffix.size(), kTemporarySuffix) != 0) {
            continue;
        }
        candidates.push_back(it->path());
    }
    for (const std::filesystem::path& candidate : candidates) {
        // Never through a link, never blocking on a FIFO someone put under such a name.
        const int fd = ::open(candidate.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            continue;
        }
        struct stat st {};
        if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
            sameFile(fd, candidate)) {
            ::unlink(candidate.c_str());
        }
        ::close(fd);
    }
}

// Creates a new file beside target under a name no one could have prepared: O_EXCL refuses any
// existing name, a symbolic link included, so the open can never land somewhere else. The file is
// locked before it is used; a name that another writer's clean-up took away in the moment between
// the creation and the lock is given up for a fresh one.
int createUniqueBeside(const std::filesystem::path& target, std::filesystem::path& created, std::error_code& error)
{
    const std::string base = temporaryBase(target);
    for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
        std::filesystem::path candidate =
            target.parent_path() / (base + randomLetters(kRandomLetters) + std::string(kTemporarySuffix));
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd >= 0) {
            const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
            if ((!locked && errno == EWOULDBLOCK) || !sameFile(fd, candidate)) {
                ::close(fd); // being removed as abandoned: the remover unlinks it
                continue;
            }
            created = std::move(candidate);
            return fd;
        }
        if (errno != EEXIST) {
            error = lastError();
            return -1;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return -1;
}

} // namespace

void syncFolder(const std::filesystem::path& folder)
{
    const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

std::string randomLetters(std::size_t count)
{
    static constexpr std::string_view kLetters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uniform_int_distribution<std::size_t> pick(0, kLetters.size() - 1);
    std::string text(count, 'x');
    for (char& c : text) {
        c = kLetters[pick(generator)];
    }
    return text;
}

bool writeFileAtomically(const std::filesystem::path& target, std::string_view bytes, std::error_code* error)
{
    AtomicFileWriter writer;
    const bool done = writer.open(target) && writer.append(bytes) && writer.finish() && writer.replace();
    if (!done && error != nullptr) {
        *error = writer.error();
    }
    return done;
}

AtomicFileWriter::~AtomicFileWriter()
{
    if (!m_temp.empty()) {
        abandon();
    }
}

AtomicFileWriter::AtomicFileWriter(AtomicFileWriter&& other) noexcept
    : m_target(std::move(other.m_target)), m_temp(std::move(other.m_temp)), m_fd(other.m_fd),
      m_lockFd(other.m_lockFd), m_failed(other.m_failed), m_finished(other.m_finished), m_error(other.m_error)
{
    other.m_fd = -1;
    other.m_lockFd = -1;
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
        m_lockFd = other.m_lockFd;
        m_failed = other.m_failed;
        m_finished = other.m_finished;
        m_error = other.m_error;
        other.m_fd = -1;
        other.m_lockFd = -1;
        other.m_temp.clear();
    }
    return *this;
}

bool AtomicFileWriter::open(const std::filesystem::path& target)
{
    if (!m_temp.empty()) {
        abandon();
    }
    m_failed = false;
    m_finished = false;
    m_error.clear();
    if (target.empty() || !target.has_filename()) {
        m_error = std::make_error_code(std::errc::invalid_argument);
        return false;
    }
    // Only a file (or a link, which is replaced) is ever replaced: never a folder, and never a
    // device, a FIFO or a socket (a log aimed at /dev/null must not replace /dev/null).
    struct stat existing {};
    const bool exists = ::lstat(target.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode)) {
        m_error = std::make_error_code(std::errc::is_a_directory);
        return false;
    }
    if (exists && !S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
        m_error = std::make_error_code(std::errc::not_supported);
        return false;
    }
    removeAbandonedTemporaries(target);
    m_fd = createUniqueBeside(target, m_temp, m_error);
    if (m_fd < 0) {
        return false;
    }
    // A replaced file keeps its permission bits, as it would if it were written in place. A link at
    // the target is replaced, not followed, so its target's bits are not looked at.
    if (exists && S_ISREG(existing.st_mode)) {
        ::fchmod(m_fd, existing.st_mode & 07777);
    }
    m_target = target;
    return true;
}

bool AtomicFileWriter::append(std::string_view bytes)
{
    if (m_fd < 0 || m_failed) {
        return false;
    }
    if (!writeAll(m_fd, bytes)) {
        m_error = lastError();
        m_failed = true;
    }
    return !m_failed;
}

bool AtomicFileWriter::finish()
{
    if (m_fd < 0) {
        return m_finished && !m_failed;
    }
    bool ok = !m_failed;
    // The lock lives on the open file, not the descriptor: a second descriptor keeps it (and keeps the
    // file from being taken for abandoned) until the rename.
    m_lockFd = ::fcntl(m_fd, F_DUPFD_CLOEXEC, 0);
    if (ok && ::fsync(m_fd) != 0) {
        m_error = lastError();
        ok = false;
    }
    // close() can report a deferred write error (NFS, quota), so its result counts too.
    if (::close(m_fd) != 0 && ok) {
        m_error = lastError();
        ok = false;
    }
    m_fd = -1;
    m_failed = !ok;
    m_finished = true;
    return ok;
}

bool AtomicFileWriter::replace()
{
    if (!m_finished || m_failed || m_temp.empty()) {
        return false;
    }
    if (::rename(m_temp.c_str(), m_target.c_str()) != 0) {
        m_error = lastError();
        m_failed = true;
        return false;
    }
    m_temp.clear();
    releaseLock();
    syncFolder(m_target.parent_path());
    return true;
}

void AtomicFileWriter::releaseLock()
{
    if (m_lockFd >= 0) {
        ::close(m_lockFd);
        m_lockFd = -1;
    }
}

void AtomicFileWriter::abandon()
{
    if (m_fd >= 0) {
        ::close(m_fd);
        m_fd = -1;
    }
    if (!m_temp.empty()) {
        ::unlink(m_temp.c_str());
        m_temp.clear();
    }
    releaseLock();
}

} // namespace Tessarin
