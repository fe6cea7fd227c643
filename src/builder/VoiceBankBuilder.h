#pragma once

// The two build commands. "Build models" walks the wav locations, cuts every selected entry's region
// out of its recording and lets the engine analyse it and write its model file; "Build voice bank"
// lets the engine assemble the bank from the model files and writes the bank's description,
// voice.tssd. Everything found is reported through the delegate; the builder shows and logs nothing.
//
// Threading: a build runs on the caller's thread (the worker of the progress dialog, or lvtb's main
// thread). With jobs > 1 the entries are analysed on a pool of threads and still reported in entry
// order, one entry's progress line just before its result; files and reports are the same as with
// jobs = 1. The stop flag may be set from any thread.

#include "engine/AnalysisPipeline.h"
#include "engine/SourceChecker.h"
#include "engine/VoiceSources.h"
#include "model/CTsVoiceCfg.h"
#include "model/PhoneticDictionary.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class CTSVoiceBankUtilDelegate {
public:
    virtual ~CTSVoiceBankUtilDelegate() = default;
    // An entry is about to be reported; line is its progress line.
    virtual void onProgress(const std::string& line) = 0;
    // The outcome of one entry (or of a missing symbol, with an empty line).
    virtual void onEntryResult(const TSSrcCheckResult& result, const std::string& line) = 0;
    // The same outcome with the entry it belongs to and the wav location it came from, just after
    // onEntryResult (entries only: not for a missing symbol).
    virtual void onEntryDone(const CTsVoiceCfg& /*entry*/, const std::string& /*location*/,
                             const TSSrcCheckResult& /*result*/)
    {
    }
    // The outcome of "Build voice bank".
    virtual void onFinished(const TSSrcCheckResult& result) = 0;
    // A wav location whose entries could not be read at all (a folder that is missing, a file, a
    // loop of links; a voice.lvcfg that cannot be read): one report per location, before any entry.
    virtual void onLocationProblem(const TSSrcCheckResult& result) { onEntryResult(result, ""); }
};

class ModelManifest;

struct BuildContext {
    CTSVoiceBankUtilDelegate* delegate = nullptr; // none: nothing is reported
    std::atomic<std::uint8_t> stop{0};            // 1 asks "Build models" to start no further entry
    std::int32_t total = 0;
    std::int32_t done = 0;
    std::uint8_t skipExisting = 0;
    int jobs = 1; // entries analysed at once
    // The record of what each model file was built from: every model written is recorded in it.
    ModelManifest* manifest = nullptr;
    // An incremental "Build models": entries whose model file is up to date by the manifest are
    // reported " Model up to date, skipped" and not analysed.
    bool skipUpToDate = false;
    // "Build models" as a check: every entry gets the build's verdict from only what the checks read
    // of its analysis (the f0 track), and no model file is written (skipExisting does not apply). With
    // a manifest (read, never recorded in), an entry whose model the last build wrote from the same
    // inputs, still as written, passes without analysis; unchangedSinceBuild counts those.
    bool checkOnly = false;
    std::atomic<std::int32_t> unchangedSinceBuild{0};
    // "Build voice bank" writes its folder alone: when another build (another lvtb, the desktop
    // program) is writing a bank there, this is called once and the build waits for it to finish.
    std::function<void(const std::string& voiceBankFolder)> onWaitingForBankFolder;
};

// The builder's message for an entry that an incremental build did not need to analyse.
inline constexpr std::string_view kModelUpToDateMessage = " Model up to date, skipped";

// The text of a check result code; empty for a code without one.
std::string_view resultCodeText(std::int32_t code);

// What the build text says of a result, without its "OK"/"Error  > " lead: the text of each code,
// or the builder's own messages (leading spaces taken off) when it gave no code.
std::vector<std::string> resultTexts(const TSSrcCheckResult& result);

// First character upper case, second lower case, the rest kept; shorter texts unchanged.
std::string normalisePitch(std::string pitch);

// symbols: none builds every entry; otherwise the entries of each listed symbol, in list order.
// A location that cannot be read is reported once through onLocationProblem (its listed symbols
// are not reported missing there as well).
void buildModels(BuildContext& context, const PhoneticDictionary& dictionary,
                 const std::vector<std::string>& wavLocations, const std::string& modelFolder,
                 const std::optional<std::vector<std::string>>& symbols, bool skipExisting);

// buildModels recording what it writes in the model folder's manifest (the records of models it does
// not write are kept), as every build of lvtb and of the desktop program does: the next incremental
// build skips those models and a check passes their entries without analysis. context.skipUpToDate is
// used as given; context.manifest is set for the build and cleared after. False when the manifest
// could not be written (the models are built all the same).
bool buildModelsRecorded(BuildContext& context, const PhoneticDictionary& dictionary,
                         const std::vector<std::string>& wavLocations, const std::string& modelFolder,
                         const std::optional<std::vector<std::string>>& symbols, bool skipExisting);

// scratch: the calling thread's analysis buffers, kept from entry to entry (fresh ones when null).
void buildEntry(BuildContext& context, const PhoneticDictionary& dictionary, const CTsVoiceCfg& entry,
                const std::string& location, const std::string& modelFolder,
                TessarinEngineV6::AnalysisScratch* scratch = nullptr);

void buildVoiceBank(BuildContext& context, const PhoneticDictionary& dictionary, std::vector<std::string> pitches,
                    const std::string& voiceBankName, const std::string& modelFolder,
                    const std::string& voiceBankFolder);

// The result of one entry's analysis without any report: none for an entry of no known kind, which
// is neither analysed nor reported.
std::optional<TSSrcCheckResult> analyseEntry(const PhoneticDictionary& dictionary, const std::string& dictionaryText,
                                             const CTsVoiceCfg& entry, const std::string& location,
                                             const std::string& modelFolder, bool skipExisting,
                                             TessarinEngineV6::AnalysisScratch* scratch = nullptr,
                                             ModelManifest* manifest = nullptr, bool skipUpToDate = false);

// What the check of one entry looked at, for showing it over the recording: the f0 track of the
// region the build cuts out, frame 0 at regionStart, and the frames the checks tested.
struct EntryCheckTrace {
    double regionStart = 0.0; // [s] in the recording
    TessarinEngineV6::CheckTrace check;
};

// The verdict a check-only "Build models" (lvtb check) gives one entry, from the f0 track alone, with
// nothing written; none for an entry of no known kind. trace, when given, receives what the check
// looked at (cleared first).
std::optional<TSSrcCheckResult> checkEntry(const PhoneticDictionary& dictionary, const std::string& dictionaryText,
                                           const CTsVoiceCfg& entry, const std::string& location,
                                           EntryCheckTrace* trace = nullptr);

// The progress line of an entry: "[" done + 1 "/" total "] type=CV  pitch=C4  symbol=ka".
std::string progressLine(const CTsVoiceCfg& entry, std::int32_t done, std::int32_t total);
