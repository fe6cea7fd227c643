#pragma once

// Entries for the recordings of a folder that have none yet. Each WAV file that no entry uses is
// read as a unit by its name (model/EntryNaming.h) and becomes an entry at the scan's pitch, with
// its markers where the wave editor would first put them, or where the marker estimator proposes
// them. lvtb entries scan and the voice configuration list's "Make entries" run the same steps:
// plan, estimate (when asked), then store.
//
// A caller that stores holds the folder's Tessarin::UpdateLock from the load of the manager through
// storeScannedEntries(), so the plan is made from the file as it stands and nothing another writer
// stored meanwhile is lost. The estimates take long: they are made from a plan outside the lock,
// and carried over to the plan made again under it (carryEstimates).

#include "audio/CWavData.h"
#include "core/FileAccess.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/EntryNaming.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
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
    // Make: where the entry's markers come from.
    enum class Markers {
        First,      // the editor's first markers; not estimated
        Estimated,  // the estimator's proposal
        NoProposal, // estimated, but nothing the editor would store was proposed: the first markers
    };
    Markers markers = Markers::First;
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

// Gives every Make entry of plan that still has its first markers (Markers::First) the estimator's
// proposal for its recording in folder (Estimated), or keeps the first markers (NoProposal).
// progress(done, total), when given, is called after each file of the total to estimate; when it
// returns false the rest are left as they are and the result is false.
bool estimateScannedMarkers(std::vector<ScannedFile>& plan, const std::filesystem::path& folder,
                            const std::function<bool(std::size_t done, std::size_t total)>& progress = {});

// Gives each Make entry of to what estimateScannedMarkers() found for the same file and kind in
// from (a plan made earlier, outside the lock). Entries of to that from did not estimate keep
// Markers::First.
void carryEstimates(const std::vector<ScannedFile>& from, std::vector<ScannedFile>& to);

// The estimator's proposal for an entry of kind (CTsVoiceCfg::kCV, kVX, kINDIE), in the editor's
// single precision and in label order, from the samples (−1 … 1, 44100 Hz) of a recording that lasts
// durationSec as the editor measures it. None when the estimator proposes nothing or when the editor
// would refuse to store what it proposes (markers out of order or within 0.06 s of an end).
std::optional<std::vector<float>> proposeEntryMarkers(std::span<const float> samples, float durationSec, int kind);

// The same for the recording at path, read whole through the format gate; none as well for a
// recording that cannot be read, fails the gate or is longer than kLongestEstimatedSamples.
std::optional<std::vector<float>> proposeRecordingMarkers(const std::filesystem::path& path, int kind);

// The estimator keeps about 12 bytes per sample: ten minutes is far beyond any unit and harmless.
inline constexpr std::size_t kLongestEstimatedSamples = 10u * 60u * 44100u;

// True when the editor's store takes markers (label order, [s]) in a recording of durationSec: each
// strictly after the one before, the first and last outside the 0.06 s margins.
bool markersStorable(std::span<const float> markers, float durationSec);

// Why the editor would not load a recording that probeForEditor() gave duration 0.
std::string whyRecordingNotLoaded(TessarinEditor::WavLoadStatus status, const TessarinEditor::EditorProbe& probe,
                                  const Tessarin::ReadError& why);
