#pragma once

// Entries for the recordings of a folder that have none yet. Each WAV file that no entry uses is
// read as a unit by its name (model/EntryNaming.h) and becomes an entry at the scan's pitch, with
// its markers where the wave editor would first put them. lvtb entries scan and the voice
// configuration list's "Make entries" run the same two steps: plan, then store.
//
// A caller that stores holds the folder's Tessarin::UpdateLock from the load of the manager through
// storeScannedEntries(), so the plan is made from the file as it stands and nothing another writer
// stored meanwhile is lost.

#include "audio/CWavData.h"
#include "core/FileAccess.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/EntryNaming.h"

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// One recording without an entry and what the scan does with it.
struct ScannedFile {
    enum class Verdict {
        Make,      // entry holds the new entry
        Exists,    // an entry of that symbol and pitch is stored already, made from another file
        Unmatched, // the name is no unit of the dictionary
        Unusable,  // the editor would not open the recording, or it is too short for the first markers
    };
    std::string wavName;
    Verdict verdict = Verdict::Unmatched;
    std::optional<EntryName> name;      // Make and Exists
    std::unique_ptr<CTsVoiceCfg> entry; // Make
    std::string detail;                 // Unusable: why, for a message
};

// The names of the WAV files (isWavFileName) directly in mgr's folder that no entry of mgr uses as
// its wavName, in byte order. Nothing when the manager has no folder or it cannot be listed.
std::vector<std::string> wavFilesWithoutEntry(const CTsVoiceCfgMgr& mgr);

// What a scan at pitch would do with each of wavFilesWithoutEntry(mgr). Two files naming one unit:
// the first in name order makes it, the second is Exists. Reads each recording's header only.
std::vector<ScannedFile> planEntryScan(const CTsVoiceCfgMgr& mgr, std::string_view pitch,
                                       const PhoneticDictionary& dictionary);

std::size_t countToMake(const std::vector<ScannedFile>& plan);

// Stores every Make entry of plan, dated now, under its key, then saves once. Unchanged when there
// is nothing to make, NotWritable (nothing changed) when the loaded file must be kept as it is.
EntryUpdate storeScannedEntries(CTsVoiceCfgMgr& mgr, const std::vector<ScannedFile>& plan);

// Why the editor would not load a recording that probeForEditor() gave duration 0.
std::string whyRecordingNotLoaded(TessarinEditor::WavLoadStatus status, const TessarinEditor::EditorProbe& probe,
                                  const Tessarin::ReadError& why);
