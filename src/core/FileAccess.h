#pragma once

// Opening the user's files for reading. Only regular files are read: a folder, a FIFO, a device or
// a socket under a file's name is refused before anything could block on it (the open itself is
// non-blocking, and the kind is checked on the open descriptor, so nothing can be swapped in
// between). Symbolic links are followed. Every refusal says why, in words for a message.

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>

namespace Tessarin {

enum class ReadFailure {
    none,
    notFound,
    isFolder,
    notRegularFile, // a FIFO, device or socket
    tooLarge,       // larger than the reader accepts
    failed,         // permission, I/O error, a loop of links …; see code
};

struct ReadError {
    ReadFailure failure = ReadFailure::none;
    std::error_code code;
    std::uint64_t limit = 0; // with tooLarge: the largest size accepted [bytes]

    // "no such file", "is a folder", "is not a regular file", "is larger than … MB", or the system's
    // text for the error.
    std::string text() const;
};

// An owned file descriptor.
class UniqueFd {
public:
    UniqueFd() = default;
    explicit UniqueFd(int fd) : m_fd(fd) {}
    ~UniqueFd();
    UniqueFd(UniqueFd&& other) noexcept : m_fd(other.release()) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept;
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;

    int get() const { return m_fd; }
    int release();
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd = -1;
};

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// The regular file at path opened for reading (blocking reads from here on), or no descriptor
// with the reason in why. size, when given, receives the file's size.
UniqueFd openRegularFile(const std::filesystem::path& path, ReadError* why = nullptr, std::uint64_t* size = nullptr);

// The same as a stdio stream.
FilePtr openRegularFileStream(const std::filesystem::path& path, ReadError* why = nullptr, std::uint64_t* size = nullptr);

// The whole regular file, or none when it cannot be opened or read or is larger than limit bytes
// (refused before anything is allocated for it).
std::optional<std::string> readRegularFile(const std::filesystem::path& path, std::uint64_t limit,
                                           ReadError* why = nullptr);

} // namespace Tessarin
