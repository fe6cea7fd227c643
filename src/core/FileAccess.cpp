#include "core/FileAccess.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace Tessarin {

std::string ReadError::text() const
{
    switch (failure) {
    case ReadFailure::none:
        return "no error";
    case ReadFailure::notFound:
        return "no such file";
    case ReadFailure::isFolder:
        return "is a folder, not a file";
    case ReadFailure::notRegularFile:
        return "is not a regular file (a FIFO, device or socket)";
    case ReadFailure::tooLarge:
        return "is larger than the " + std::to_string(limit / (1024 * 1024)) + " MB this reader accepts";
    case ReadFailure::failed:
        break;
    }
    return code ? code.message() : std::string("cannot be read");
}

UniqueFd::~UniqueFd()
{
    if (m_fd >= 0) {
        ::close(m_fd);
    }
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept
{
    if (this != &other) {
        if (m_fd >= 0) {
            ::close(m_fd);
        }
        m_fd = other.release();
    }
    return *this;
}

int UniqueFd::release()
{
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

namespace {

void fail(ReadError* why, ReadFailure failure, int error = 0)
{
    if (why != nullptr) {
        why->failure = failure;
        why->code = error != 0 ? std::error_code(error, std::generic_category()) : std::error_code();
    }
}

} // namespace

UniqueFd openRegularFile(const std::filesystem::path& path, ReadError* why, std::uint64_t* size)
{
    if (why != nullptr) {
        *why = ReadError{};
    }
    if (path.empty()) {
        fail(why, ReadFailure::notFound);
        return {};
    }
    // O_NONBLOCK: opening a FIFO for reading would otherwise wait for a writer, forever.
    int fd = -1;
    do {
        fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR) {
            fail(why, ReadFailure::notFound, error);
        } else if (error == EISDIR) {
            fail(why, ReadFailure::isFolder, error);
        } else {
            fail(why, ReadFailure::failed, error);
        }
        return {};
    }
    UniqueFd file(fd);
    struct stat st {};
    if (::fstat(fd, &st) != 0) {
        fail(why, ReadFailure::failed, errno);
        return {};
    }
    if (S_ISDIR(st.st_mode)) {
        fail(why, ReadFailure::isFolder);
        return {};
    }
    if (!S_ISREG(st.st_mode)) {
        fail(why, ReadFailure::notRegularFile);
        return {};
    }
    // A regular file never blocks, but the flag would leak into every later read.
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0) {
        fail(why, ReadFailure::failed, errno);
        return {};
    }
    if (size != nullptr) {
        *size = std::uint64_t(st.st_size);
    }
    return file;
}

FilePtr openRegularFileStream(const std::filesystem::path& path, ReadError* why, std::uint64_t* size)
{
    UniqueFd fd = openRegularFile(path, why, size);
    if (!fd) {
        return nullptr;
    }
    std::FILE* stream = ::fdopen(fd.get(), "rb");
    if (stream == nullptr) {
        fail(why, ReadFailure::failed, errno);
        return nullptr;
    }
    fd.release(); // the stream owns the descriptor now
    return FilePtr(stream);
}

std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::uint64_t limit, ReadError* why)
{
    std::uint64_t size = 0;
    const UniqueFd fd = openRegularFile(path, why, &size);
    if (!fd) {
        return std::nullopt;
    }
    auto tooLarge = [&] {
        fail(why, ReadFailure::tooLarge);
        if (why != nullptr) {
            why->limit = limit;
        }
    };
    if (size > limit) {
        tooLarge();
        return std::nullopt;
    }
    // Sized by the file as it is now; a file that grows while it is read is followed in pieces up
    // to the limit, one that shrinks keeps what was there.
    std::string text;
    text.resize(std::size_t(size));
    std::size_t got = 0;
    char piece[65536];
    for (;;) {
        char* into = got < text.size() ? text.data() + got : piece;
        const std::size_t room = got < text.size() ? text.size() - got : sizeof piece;
        const ssize_t n = ::read(fd.get(), into, room);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            fail(why, ReadFailure::failed, errno);
            return std::nullopt;
        }
        if (n == 0) {
            break;
        }
        if (into == piece) {
            if (text.size() + std::size_t(n) > limit) {
                tooLarge();
                return std::nullopt;
            }
            text.append(piece, std::size_t(n));
        }
        got += std::size_t(n);
    }
    text.resize(got);
    return text;
}

} // namespace Tessarin
