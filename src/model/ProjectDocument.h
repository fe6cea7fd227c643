#pragma once

// The open project: the current model (owned), the path it was loaded from or saved to (empty for a
// project never saved) and whether it changed since. One per application, kept by the main window.

#include "model/CTsToolBoxProjModel.h"
#include "model/ProjectFile.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

class ProjectDocument {
public:
    // Starts with a new, empty project and no path.
    ProjectDocument();

    // Called whenever the path or the modified flag may have changed, so the window title can follow.
    std::function<void()> onTitleChanged;
    // Translation and display of the loader's messages.
    ProjectMessages messages;

    // Takes model (a null model leaves the document without one) and path, sets the modified flag
    // as given and refreshes the title.
    void replaceModel(std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> model, const std::filesystem::path& path,
                      bool modified = false);
    // Loads path and, when that yields a model, replaces the current one with it (not modified).
    // Otherwise the current project stays as it was; a newer file's message went through messages.
    bool open(const std::filesystem::path& path);

    const TSTBCurrentModel::CTsToolBoxProjModel* model() const { return m_model.get(); }
    const std::filesystem::path& path() const { return m_path; }
    bool isModified() const { return m_modified != 0; }

    // Empty when there is no model.
    std::string field(ProjectField which) const;
    // Stores text into the field and marks the document modified. False without a model.
    bool setField(ProjectField which, std::string_view text);
    // Appends folder unless exactly that string is already listed; marks modified only when it appended.
    bool addWavLocation(std::string_view folder);
    // Erases the first entry equal to folder; marks modified only when it erased.
    bool removeWavLocation(std::string_view folder);
    bool setAllSymbols(std::uint8_t flag);

    // Saves to the path. The modified flag is cleared only when the file was really written, so a
    // failed save never looks like a saved project. False for a project without a path or model.
    bool save();

    // The project file as it stands on disk: enough to tell that another program (lvtb project set,
    // another window) replaced or changed it.
    struct FileStamp {
        bool exists = false;
        std::uint64_t device = 0;
        std::uint64_t inode = 0;
        std::uint64_t size = 0;
        std::int64_t modifiedNs = 0;
        bool operator==(const FileStamp&) const = default;
    };
    static FileStamp stampOf(const std::filesystem::path& file);

    enum class SaveOutcome { saved, failed, changedOnDisk };
    // save(), unless the file changed on disk since it was read or saved here (another program's
    // changes would be lost without a word): then nothing is written. accepted, when given, is a
    // change the user chose to save over: the file as it stood when they were asked. The check and
    // the write hold the file's update lock, so no writer that takes turns slips in between.
    SaveOutcome saveUnlessChanged(const std::optional<FileStamp>& accepted = std::nullopt);

private:
    void markModified();
    void refreshTitle();

    std::uint8_t m_modified = 0;
    std::filesystem::path m_path;
    FileStamp m_known; // the file as read or last saved
    std::unique_ptr<TSTBCurrentModel::CTsToolBoxProjModel> m_model;
};
