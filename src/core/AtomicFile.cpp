#include "core/AtomicFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>
#include <string>

namespace Tessarin {

namespace {

class Fd {
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd() { close(); }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;

    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    // Closing can report a deferred write error (NFS, quotas), so it is checked once, here.
    bool close()
    {
        if (m_fd < 0) {
            return true;
        }
        const int rc = ::close(m_fd);
        m_fd = -1;
        return rc == 0;
    }

private:
    int m_fd;
};

bool writeAll(int fd, std::string_view bytes)
{
    const char* p = bytes.data();
    std::size_t left = bytes.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        p += n;
        left -= std::size_t(n);
    }
    return true;
}

std::string temporaryNameFor(const std::filesystem::path& target)
{
    static std::atomic<unsigned> counter{0};
    thread_local std::mt19937 rng{std::random_device{}()};
    return target.native() + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++) + "-" +
        std::to_string(rng() % 1000000u);
}

} // namespace

bool writeFileAtomically(const std::filesystem::path& path, std::string_view bytes)
{
    if (path.empty() || !path.has_filename()) {
        return false;
    }
    struct stat targetStat {};
    const bool targetExists = ::stat(path.c_str(), &targetStat) == 0;
    if (targetExists && !S_ISREG(targetStat.st_mode)) {
        return false;
    }

    std::string tmp;
    int raw = -1;
    for (int attempt = 0; attempt < 16 && raw < 0; ++attempt) {
        tmp = temporaryNameFor(path);
        raw = ::open(tmp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (raw < 0 && errno != EEXIST) {
            return false;
        }
    }
    if (raw < 0) {
        return false;
    }
    Fd fd(raw);
    bool ok = true;
    if (targetExists) {
        ok = ::fchmod(fd.get(), targetStat.st_mode & 07777) == 0;
    }
    ok = ok && writeAll(fd.get(), bytes) && ::fsync(fd.get()) == 0;
    ok = fd.close() && ok;
    ok = ok && ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok) {
        ::unlink(tmp.c_str());
        return false;
    }

    // Make the rename itself durable; the data are already safe, so a failure here is not reported.
    const std::filesystem::path folder = path.has_parent_path() ? path.parent_path() : std::filesystem::path(".");
    Fd dir(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.valid()) {
        ::fsync(dir.get());
    }
    return true;
}

} // namespace Tessarin
