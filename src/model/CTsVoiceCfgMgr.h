#pragma once

// The entries of one folder of recordings and their file, voice.lvcfg, in that folder; and the
// four ways the annotation editor and the entry list change them. Every change is written to the
// file at once: entries have no unsaved state.

#include "model/CTsVoiceCfg.h"

#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kVoiceCfgFileName = "voice.lvcfg";

class CTsVoiceCfgMgr : public JsonInfo {
public:
    enum class LoadStatus {
        NoFile,     // the folder has no voice.lvcfg: no entries yet
        Loaded,
        Unreadable, // the file exists but is not readable or not an entries object: no entries, and
                    // save() refuses to write over it so that the user's file is never lost
    };

    CTsVoiceCfgMgr() = default;
    // Entries are owned one by one; a manager is not copied.
    CTsVoiceCfgMgr(const CTsVoiceCfgMgr&) = delete;
    CTsVoiceCfgMgr& operator=(const CTsVoiceCfgMgr&) = delete;

    // Reads folder + "/" + "voice.lvcfg" (the folder given without a trailing separator). An empty
    // folder names no file: nothing is read and save() writes nothing.
    LoadStatus loadFolder(const std::filesystem::path& folder);
    // Replaces the file atomically. False when there is no file path, when the loaded file could not
    // be read (it is kept as it is) or when the write failed.
    bool save();

    // Takes ownership; an entry stored under the key before is deleted.
    void put(const std::string& key, std::unique_ptr<CTsVoiceCfg> entry);
    // Stores a copy under entryKey(entry); false (nothing stored) for a bare entry of no kind.
    bool putCopy(const CTsVoiceCfg& entry);
    CTsVoiceCfg* find(const std::string& symbol, const std::string& pitch) const;
    CTsVoiceCfg* findVc(const std::string& vowel, const std::string& consonant, const std::string& pitch) const;
    // The entry stored under a key exactly as it is stored (a hand-edited file may use member names
    // that are not pitch + "->" + symbol).
    CTsVoiceCfg* findKey(const std::string& key) const;
    // Removes the entry: a stored entry from the key it is stored under, any other entry by its key.
    void remove(const CTsVoiceCfg& entry);
    bool removeKey(const std::string& key);
    void clear();
    // The stored entries in key order (not owning).
    std::vector<CTsVoiceCfg*> entries() const;
    const std::map<std::string, std::unique_ptr<CTsVoiceCfg>>& entryMap() const { return m_entries; }

    const std::filesystem::path& folder() const { return m_folder; }
    const std::filesystem::path& filePath() const { return m_filePath; }
    bool fileUnreadable() const { return m_fileUnreadable; }

    // Text that is not valid UTF-8 is refused as a whole: saving it again would replace the
    // invalid bytes (a wavName typed in another encoding, say) and lose the file name. So is a
    // document that names a member twice (an entry block copied by hand without changing its
    // key): only the last would load, and the next save would drop the other.
    bool fromJsonText(std::string_view text) override;
    Json::Value& toJsonValue() override;
    // Complete entries load under their member names; incomplete members and unknown kinds are
    // skipped. False when the value is not an object or a member name holds a NUL byte.
    bool fromJsonValue(const Json::Value& value) override;

private:
    std::optional<std::string> storedKeyOf(const CTsVoiceCfg& entry) const;

    std::map<std::string, std::unique_ptr<CTsVoiceCfg>> m_entries;
    std::filesystem::path m_folder;
    std::filesystem::path m_filePath;
    bool m_fileUnreadable = false;
};

// The outcome of one change made through the editor or the list.
enum class EntryUpdate {
    Done,
    Unchanged,   // rename or copy to the same symbol and pitch
    NotFound,    // no entry under the key
    OtherFolder, // the edited entry belongs to another folder than the one loaded
    NotWritable, // the folder's file could not be read, so it is not written over; nothing changed
    SaveFailed,  // changed in memory, but the file could not be written
};

// Stores an entry edited in the annotation editor for a folder: dates it now, overwrites the stored
// entry of the same kind under its key or stores a copy (replacing an entry of another kind), saves.
EntryUpdate storeEditedEntry(CTsVoiceCfgMgr& mgr, CTsVoiceCfg& edited, const std::filesystem::path& folder);
// Moves the entry under key to a new symbol and pitch (for VX the symbol is vowel + "_" +
// consonant), dated now; an entry already under the new key is replaced. Saves.
EntryUpdate renameEntry(CTsVoiceCfgMgr& mgr, const std::string& key, const std::string& newSymbol, const std::string& newPitch);
// As renameEntry, keeping the original.
EntryUpdate copyEntry(CTsVoiceCfgMgr& mgr, const std::string& key, const std::string& newSymbol, const std::string& newPitch);
EntryUpdate deleteEntry(CTsVoiceCfgMgr& mgr, const std::string& key);
