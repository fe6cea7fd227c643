#pragma once

// Files that only make sense together (a voice bank's index, its content files and its
// description) replaced in a folder as one: a process killed at any moment leaves every member of
// the old set or every member of the new one, never an old index over new content.
//
// No file system renames several names at once, so the members are reached through one name that
// can be swapped in a single rename. The new set is written into a folder of its own beside the old
// one (".lvset-" + random letters); the folder's pointer ".lvset" is a symbolic link to the current
// set's folder, and each member name in the folder is a symbolic link through that pointer
// (TSI -> .lvset/TSI). Installing the new set makes the member links (a link for a member the old
// set lacked leads nowhere until the swap, and nothing of the old set refers to it), then renames a
// new pointer over the old one: that rename is the exchange. Members of a set installed by an
// earlier version of the program (plain files under the member names) are first taken into a set
// folder of their own by hard links, so that they too are exchanged as a whole. Other files of the
// folder are never touched.
//
// Readers open the member names as plain paths (links are followed). One writer at a time per
// folder: the caller holds the folder's lock (FolderLock) from open() to install().

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

namespace Tessarin {

inline constexpr std::string_view kFileSetPointer = ".lvset";

class FileSetWriter {
public:
    FileSetWriter() = default;
    ~FileSetWriter(); // removes the new set's folder unless it was installed
    FileSetWriter(const FileSetWriter&) = delete;
    FileSetWriter& operator=(const FileSetWriter&) = delete;

    // Makes the folder the new set is written into, beside the current one.
    bool open(const std::filesystem::path& folder);
    // Where the member name is to be written (its file complete and flushed before install()).
    std::filesystem::path stagedPath(const std::string& name) const { return m_staging / name; }

    // Exchanges the folder's current set for the new one, whose members are exactly names. isMember
    // tells which names of the folder belong to a set of this kind: old members left out of the new
    // set are removed after the exchange, with the folders of earlier sets (those of writers that
    // were killed included). False when the exchange could not be made: the old set stays whole.
    bool install(const std::vector<std::string>& names, const std::function<bool(const std::string&)>& isMember);

    std::error_code error() const { return m_error; }

private:
    std::filesystem::path m_folder;
    std::filesystem::path m_staging;
    bool m_installed = false;
    std::error_code m_error;
};

// For tests: called with the number of each step of install() that changes the folder (a rename),
// counting from 0, before the step is made; a test ends the process there to check that every
// moment leaves a whole set. Empty: nothing is called.
void setFileSetStepHook(std::function<void(int step)> hook);

} // namespace Tessarin
