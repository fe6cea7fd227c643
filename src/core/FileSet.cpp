#include "core/FileSet.h"

#include "core/AtomicFile.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace Tessarin {

namespace {

constexpr std::string_view kSetFolderPrefix = ".lvset-";

std::function<void(int)>& stepHook()
{
    static std::function<void(int)> hook;
    return hook;
}

std::error_code lastError()
{
    return {errno, std::generic_category()};
}

// A new folder beside the others under a name no one prepared.
bool makeSetFolder(const fs::path& folder, fs::path& made, std::error_code& error)
{
    for (int attempt = 0; attempt < 64; ++attempt) {
        const fs::path candidate = folder / (std::string(kSetFolderPrefix) + randomLetters(10));
        if (::mkdir(candidate.c_str(), 0777) == 0) {
            made = candidate;
            return true;
        }
        if (errno != EEXIST) {
            error = lastError();
            return false;
        }
    }
    error = std::make_error_code(std::errc::file_exists);
    return false;
}

// What the symbolic link at path says, or empty when path is no link.
std::string linkText(const fs::path& path)
{
    char buffer[4096];
    const ssize_t n = ::readlink(path.c_str(), buffer, sizeof buffer);
    return n > 0 && std::size_t(n) < sizeof buffer ? std::string(buffer, std::size_t(n)) : std::string();
}

class Installer {
public:
    explicit Installer(const fs::path& folder) : m_folder(folder) {}

    // A symbolic link with text at name, made under a fresh name and renamed over whatever stands
    // at name (a link planted there is replaced, never followed).
    bool placeLink(const std::string& text, const std::string& name)
    {
        fs::path temporary;
        for (int attempt = 0;; ++attempt) {
            temporary = m_folder / (name + "." + randomLetters(10) + ".tmp");
            if (::symlink(text.c_str(), temporary.c_str()) == 0) {
                break;
            }
            if (errno != EEXIST || attempt == 64) {
                error = lastError();
                return false;
            }
        }
        if (const auto& hook = stepHook()) {
            hook(m_step);
        }
        ++m_step;
        if (::rename(temporary.c_str(), (m_folder / name).c_str()) != 0) {
            error = lastError();
            ::unlink(temporary.c_str());
            return false;
        }
        return true;
    }

    std::error_code error;

private:
    fs::path m_folder;
    int m_step = 0;
};

std::string memberLink(const std::string& name)
{
    return std::string(kFileSetPointer) + "/" + name;
}

} // namespace

void setFileSetStepHook(std::function<void(int step)> hook)
{
    stepHook() = std::move(hook);
}

FileSetWriter::~FileSetWriter()
{
    if (!m_installed && !m_staging.empty()) {
        std::error_code ec;
        fs::remove_all(m_staging, ec);
    }
}

bool FileSetWriter::open(const fs::path& folder)
{
    m_folder = folder;
    return makeSetFolder(folder, m_staging, m_error);
}

bool FileSetWriter::install(const std::vector<std::string>& names, const std::function<bool(const std::string&)>& isMember)
{
    Installer installer(m_folder);
    const fs::path pointer = m_folder / kFileSetPointer;
    std::error_code ec;

    // Members that are plain files (a set written before sets had their own folders, or files the
    // user put there) are first made a set of their own: hard links keep the very same files, so
    // each name shows the same bytes before and after its link replaces it.
    std::vector<std::string> plain;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        if (isMember(name) && fs::is_regular_file(fs::symlink_status(it->path()))) {
            plain.push_back(name);
        }
    }
    if (ec) {
        m_error = ec;
        return false;
    }
    if (!plain.empty()) {
        fs::path previous;
        if (!makeSetFolder(m_folder, previous, m_error)) {
            return false;
        }
        // The plain files are the current set only when the pointer does not already lead to
        // one; otherwise they are strays beside it and the set the pointer leads to stays current.
        const bool plainAreCurrent = linkText(pointer).empty();
        for (const std::string& name : plain) {
            if (::link((m_folder / name).c_str(), (previous / name).c_str()) != 0) {
                m_error = lastError();
                fs::remove_all(previous, ec);
                return false;
            }
        }
        syncFolder(previous);
        if (plainAreCurrent && !installer.placeLink(previous.filename().string(), std::string(kFileSetPointer))) {
            m_error = installer.error;
            fs::remove_all(previous, ec);
            return false;
        }
        for (const std::string& name : plain) {
            if (!installer.placeLink(memberLink(name), name)) {
                m_error = installer.error;
                return false;
            }
        }
    }

    // The new members' links: each leads through the pointer, so each shows the old set's member
    // until the exchange, and a link for a name the old set lacks leads nowhere until then.
    for (const std::string& name : names) {
        if (linkText(m_folder / name) != memberLink(name) && !installer.placeLink(memberLink(name), name)) {
            m_error = installer.error;
            return false;
        }
    }
    syncFolder(m_staging);
    syncFolder(m_folder);

    // The exchange.
    if (!installer.placeLink(m_staging.filename().string(), std::string(kFileSetPointer))) {
        m_error = installer.error;
        return false;
    }
    m_installed = true;
    syncFolder(m_folder);

    // What no longer belongs: links of old members left out of the new set, the folders of earlier
    // sets (and of writers killed before their exchange; the caller's lock keeps out live ones).
    std::vector<fs::path> stale;
    for (fs::directory_iterator it(m_folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const bool oldMember = isMember(name) && linkText(it->path()) == memberLink(name) &&
                               std::find(names.begin(), names.end(), name) == names.end();
        const bool oldSet = name.compare(0, kSetFolderPrefix.size(), kSetFolderPrefix) == 0 &&
                            name != m_staging.filename().string() && fs::is_directory(fs::symlink_status(it->path()));
        // A link made by a writer killed before its rename: name + "." + 10 letters + ".tmp".
        constexpr std::size_t kTail = 1 + 10 + 4;
        const bool leftLink = name.size() > kTail && name.compare(name.size() - 4, 4, ".tmp") == 0 &&
                              fs::is_symlink(fs::symlink_status(it->path())) &&
                              (isMember(name.substr(0, name.size() - kTail)) ||
                               name.substr(0, name.size() - kTail) == kFileSetPointer);
        if (oldMember || oldSet || leftLink) {
            stale.push_back(it->path());
        }
    }
    for (const fs::path& p : stale) {
        fs::remove_all(p, ec);
    }
    return true;
}

} // namespace Tessarin
