#pragma once

// The entries of one folder of recordings and their file, voice.lvcfg, in that folder; and the
// four ways the annotation editor and the entry list change them. Every change is written to the
// file at once: entries have no unsaved state.

#include "model/CTsVoiceCfg.h"

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

inline constexpr const char* kVoiceCfgFileName = "voice.lvcfg";

// A read-modify-write of a folder's file (every change below) must not lose a change another writer
// (another lvtb run, the desktop program) made meanwhile: hold a Tessarin::UpdateLock on filePath()
// from loadFolder() (or a reload) to the save.
class CTsVoiceCfgMgr : public JsonInfo {
public:
    enum class LoadStatus {
        NoFile,     // the folder has no voice.lvcfg: no entries yet
        Loaded,
        Unreadable, // the file exists but cannot be read as a JSON object of entries: no entries, and
                    // save() refuses to write over it so that the user's file is never lost
    };

    // A member of the file that is not an entry the manager can use (an unknown srcType, a missing
    // or mistyped field, a value that is not an object). It is kept as it stood in the file and
    // written back unchanged, in key order among the entries.
    struct SkippedMember {
        std::string text;   // the member's value, byte for byte as in the file
        std::string reason; // why it did not load, for a message
    };

    // The largest voice.lvcfg read [bytes]; larger files are refused as unreadable.
    static constexpr std::uint64_t kLargestFile = 64ull * 1024 * 1024;

    CTsVoiceCfgMgr() = default;
    // Entries are owned one by one; a manager is not copied.
    CTsVoiceCfgMgr(const CTsVoiceCfgMgr&) = delete;
    CTsVoiceCfgMgr& operator=(const CTsVoiceCfgMgr&) = delete;

    // Reads folder + "/" + "voice.lvcfg" (the folder given without a trailing separator). An empty
    // folder names no file: nothing is read and save() writes nothing. Only a regular file is read.
    LoadStatus loadFolder(const std::filesystem::path& folder);
    // Replaces the file atomically. False when there is no file path, when the loaded file must be
    // kept as it is (unreadable, or readable only in part; see writable()) or when the write failed.
    bool save();
    // False when save() would refuse the loaded file.
    bool writable() const { return !m_fileUnreadable && m_keptAsIsReason.empty(); }

    // Takes ownership; an entry stored under the key before is deleted, and so is a skipped member of
    // that name.
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
    // Removes the entry or the skipped member stored under the key.
    bool removeKey(const std::string& key);
    void clear();
    // The stored entries in key order (not owning).
    std::vector<CTsVoiceCfg*> entries() const;
    const std::map<std::string, std::unique_ptr<CTsVoiceCfg>>& entryMap() const { return m_entries; }
    const std::map<std::string, SkippedMember>& skippedMembers() const { return m_skipped; }

    const std::filesystem::path& folder() const { return m_folder; }
    const std::filesystem::path& filePath() const { return m_filePath; }
    bool fileUnreadable() const { return m_fileUnreadable; }
    // Why the file could not be read (with Unreadable), for a message.
    const std::string& unreadableReason() const { return m_unreadableReason; }
    // Why a file that was read is nevertheless never written over (empty when it may be): text after
    // its JSON object, a member named twice, or bytes that are not UTF-8. The entries load as the
    // desktop program reads them (the text after the object ignored, the last of a repeated member
    // kept), but a save would lose what the reader passed over.
    const std::string& keptAsIsReason() const { return m_keptAsIsReason; }

    // The whole file as save() writes it: the styled JSON of the entries and the skipped members.
    const std::string& toJsonText() override;
    bool fromJsonText(std::string_view text) override;
    Json::Value& toJsonValue() override;
    // Complete entries load under their member names; every other member is kept as a skipped
    // member. False when the value is not an object.
    bool fromJsonValue(const Json::Value& value) override;

private:
    std::optional<std::string> storedKeyOf(const CTsVoiceCfg& entry) const;
    bool loadMembers(const Json::Value& value, std::string_view sourceText);

    std::map<std::string, std::unique_ptr<CTsVoiceCfg>> m_entries;
    std::map<std::string, SkippedMember> m_skipped;
    std::filesystem::path m_folder;
    std::filesystem::path m_filePath;
    bool m_fileUnreadable = false;
    std::string m_unreadableReason;
    std::string m_keptAsIsReason;
};

// The outcome of one change made through the editor or the list.
enum class EntryUpdate {
    Done,
    Unchanged,   // rename or copy to the same symbol and pitch
    NotFound,    // no entry under the key
    OtherFolder, // the edited entry belongs to another folder than the one loaded
    NotWritable, // the folder's file could not be read whole, so it is not written over; nothing changed
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
