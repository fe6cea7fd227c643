#include "builder/VoiceBankBuilder.h"

#include "builder/ModelManifest.h"

#include "audio/AudioReader.h"
#include "audio/CWavBuf.h"
#include "core/AtomicFile.h"
#include "core/FileLock.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "engine/VoiceSources.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/JsonInfo.h"

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <thread>

namespace {

constexpr double kTailAfterVowelEnd = 0.054999998658895495; // [s] the CV tail handed to the engine

struct Collected {
    const CTsVoiceCfg* entry;
    std::string location;
};

TSSrcCheckResult message(bool ok, std::string text)
{
    TSSrcCheckResult r;
    r.ok = ok;
    r.messages.push_back(std::move(text));
    return r;
}

// location + "/" + name, the location without a trailing separator.
std::string joinPath(std::string location, const std::string& name)
{
    while (location.size() > 1 && location.back() == '/') {
        location.pop_back();
    }
    return location + "/" + name;
}

char lowered(char c)
{
    return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c;
}

char raised(char c)
{
    return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c;
}

} // namespace

std::vector<std::string> resultTexts(const TSSrcCheckResult& result)
{
    std::vector<std::string> texts;
    if (!result.codes.empty()) {
        for (const std::int32_t code : result.codes) {
            texts.emplace_back(resultCodeText(code));
        }
        return texts;
    }
    for (const std::string& message : result.messages) {
        const std::size_t start = message.find_first_not_of(' ');
        texts.push_back(start == std::string::npos ? std::string() : message.substr(start));
    }
    return texts;
}

std::string_view resultCodeText(std::int32_t code)
{
    switch (code) {
    case -2:
        return "Model file not exists.";
    case -1:
        return "File create failed.";
    case 0:
        return "Markers sequence error.";
    case 1:
        return "Unvoiced part exists in voiced consonant.";
    case 2:
        return "Unvoiced part exists in vowel.";
    case 3:
        return "Unvoiced part exists in the start of this continuant.";
    case 4:
        return "Symbol error.";
    case 5:
        return "Pitch symbol error.";
    case 6:
        return "Unvoiced part exists in continuant to vowel.";
    case 7:
        return "Unvoiced part exists in continuant to voiced consonant.";
    default:
        return "";
    }
}

std::string normalisePitch(std::string pitch)
{
    if (pitch.size() >= 2) {
        pitch[0] = raised(pitch[0]);
        pitch[1] = lowered(pitch[1]);
    }
    return pitch;
}

std::string progressLine(const CTsVoiceCfg& entry, std::int32_t done, std::int32_t total)
{
    std::string kind;
    switch (entry.kind()) {
    case CTsVoiceCfg::kCV:
        kind = "type=CV  pitch=";
        break;
    case CTsVoiceCfg::kVX:
        kind = "type=VX  pitch=";
        break;
    case CTsVoiceCfg::kINDIE:
        kind = "type=INDIE  pitch=";
        break;
    default:
        break;
    }
    std::string line = "[";
    line += std::to_string(done + 1);
    line += '/';
    line += std::to_string(total);
    line += "] ";
    line += kind;
    line += entry.pitch;
    line += "  symbol=";
    line += entry.symbol;
    return line;
}

namespace {

// One entry through the build: its checks and, unless checkOnly, its analysis and model file.
std::optional<TSSrcCheckResult> entryOutcome(const PhoneticDictionary& dictionary, const std::string& dictionaryText,
                                             const CTsVoiceCfg& entry, const std::string& location,
                                             const std::string& modelFolder, bool skipExisting,
                                             TessarinEngineV6::AnalysisScratch* scratch, ModelManifest* manifest,
                                             bool skipUpToDate, bool checkOnly, EntryCheckTrace* trace = nullptr,
                                             bool* unchanged = nullptr)
{
    using namespace TessarinEngineV6;
    if (trace != nullptr) {
        *trace = EntryCheckTrace{};
    }
    const int kind = entry.kind();
    if (kind == CTsVoiceCfg::kINDIE && !dictionary.isIndependent(entry.symbol)) {
        return message(false, " Symbol type error!");
    }
    const std::string pitch = normalisePitch(entry.pitch);
    if (!checkOnly && skipExisting && modelExists(modelFolder, entry.symbol, pitch)) {
        return message(true, " Model already exists");
    }
    const std::string path = joinPath(location, entry.wavName);
    // Only the entry's region is read, not the whole recording.
    Tessarin::FastVector<float> samples;
    switch (TessarinEditor::readGatedRegion(path, entry.startTime, entry.endTime, samples)) {
    case TessarinEditor::RegionRead::readFailed:
        return message(false, " wav reading error:" + path);
    case TessarinEditor::RegionRead::formatError:
        return message(false, " format error:" + path);
    default:
        break;
    }
    if (samples.size() == 0) {
        return message(false, " Marker error!");
    }
    const double off = std::max(0.0, entry.startTime);
    if (trace != nullptr) {
        trace->regionStart = off;
    }
    auto relative = [off](double t) { return float(t - off); };
    // The marker times the engine receives: five for a voiced unit, two for a continuant.
    std::vector<float> times;
    switch (kind) {
    case CTsVoiceCfg::kCV: {
        const auto& cv = static_cast<const CTsVoiceCfg_CV&>(entry);
        times = {relative(cv.connectPoint), relative(cv.preutterance), relative(cv.vowelStart), relative(cv.vowelEnd),
                 float((cv.vowelEnd - off) + kTailAfterVowelEnd)};
        break;
    }
    case CTsVoiceCfg::kVX: {
        const auto& vc = static_cast<const CTsVoiceCfg_VC&>(entry);
        times = {relative(vc.connectPoint), relative(vc.tailPoint)};
        break;
    }
    case CTsVoiceCfg::kINDIE: {
        const auto& indie = static_cast<const CTsVoiceCfg_INDIE&>(entry);
        const float end = relative(indie.endPoint);
        times = {relative(indie.startPoint), end, end, end, end};
        break;
    }
    default:
        return std::nullopt;
    }

    const std::string modelName = TSVM_V0::modelFileName(entry.symbol, pitch);
    const std::filesystem::path modelFile = std::filesystem::path(modelFolder) / modelName;
    const auto inputsOf = [&] {
        CVVCMgr symbols;
        symbols.load(dictionaryText);
        return hashUnitInputs(kind, entry.symbol, pitch, times,
                              checkFacts(symbols, entry.symbol, kind == CTsVoiceCfg::kVX), samples.span());
    };
    if (checkOnly) {
        // The last build wrote this unit's model from these very inputs (the manifest records only
        // units that passed) and the file is as it wrote it: the unit passes again, unanalysed.
        if (manifest != nullptr && trace == nullptr && manifest->has(modelName) &&
            manifest->upToDate(modelName, inputsOf(), modelFile)) {
            if (unchanged != nullptr) {
                *unchanged = true;
            }
            TSSrcCheckResult passed;
            passed.ok = true;
            return passed;
        }
        TSSrcCheckResult result;
        if (kind == CTsVoiceCfg::kVX) {
            checkContinuantUnit(dictionaryText, samples.span(), result, entry.symbol, pitch, times[0], times[1],
                                estimateF0, trace != nullptr ? &trace->check : nullptr);
        } else {
            checkVoiceUnit(dictionaryText, samples.span(), result, entry.symbol, pitch, times[0], times[1], times[2],
                           times[3], times[4], kind == CTsVoiceCfg::kINDIE, estimateF0,
                           trace != nullptr ? &trace->check : nullptr);
        }
        return result;
    }

    std::string inputs;
    if (manifest != nullptr) {
        inputs = inputsOf();
        if (skipUpToDate && manifest->upToDate(modelName, inputs, modelFile)) {
            return message(true, std::string(kModelUpToDateMessage));
        }
    }
    TSSrcCheckResult result;
    if (kind == CTsVoiceCfg::kVX) {
        analyseContinuantUnit(dictionaryText, samples.span(), result, modelFolder, entry.symbol, pitch, times[0],
                              times[1], estimateF0, scratch);
    } else {
        analyseVoiceUnit(dictionaryText, samples.span(), result, modelFolder, entry.symbol, pitch, times[0], times[1],
                         times[2], times[3], times[4], kind == CTsVoiceCfg::kINDIE, estimateF0, scratch);
    }
    if (manifest != nullptr && result.ok) {
        manifest->record(modelName, inputs, modelFile);
    }
    return result;
}

} // namespace

std::optional<TSSrcCheckResult> analyseEntry(const PhoneticDictionary& dictionary, const std::string& dictionaryText,
                                             const CTsVoiceCfg& entry, const std::string& location,
                                             const std::string& modelFolder, bool skipExisting,
                                             TessarinEngineV6::AnalysisScratch* scratch, ModelManifest* manifest,
                                             bool skipUpToDate)
{
    return entryOutcome(dictionary, dictionaryText, entry, location, modelFolder, skipExisting, scratch, manifest,
                        skipUpToDate, false);
}

std::optional<TSSrcCheckResult> checkEntry(const PhoneticDictionary& dictionary, const std::string& dictionaryText,
                                           const CTsVoiceCfg& entry, const std::string& location,
                                           EntryCheckTrace* trace)
{
    return entryOutcome(dictionary, dictionaryText, entry, location, std::string(), false, nullptr, nullptr, false,
                        true, trace);
}

namespace {

// analyseEntry (checkEntry for a check) with anything thrown (exhausted memory, a library's
// exception) turned into the entry's error, so that one bad entry never ends the build of the others.
std::optional<TSSrcCheckResult> analyseEntryCaught(BuildContext& context, const PhoneticDictionary& dictionary,
                                                   const std::string& dictionaryText, const CTsVoiceCfg& entry,
                                                   const std::string& location, const std::string& modelFolder,
                                                   TessarinEngineV6::AnalysisScratch* scratch)
{
    try {
        bool unchanged = false;
        std::optional<TSSrcCheckResult> result =
            entryOutcome(dictionary, dictionaryText, entry, location, modelFolder, context.skipExisting != 0, scratch,
                         context.manifest, context.skipUpToDate, context.checkOnly, nullptr, &unchanged);
        if (unchanged) {
            context.unchangedSinceBuild.fetch_add(1);
        }
        return result;
    } catch (const std::bad_alloc&) {
        return message(false, " analysis error: out of memory");
    } catch (const std::exception& e) {
        return message(false, std::string(" analysis error: ") + e.what());
    } catch (...) {
        return message(false, " analysis error");
    }
}

// Why a wav location gives no entries at all, or none when it is a folder whose voice.lvcfg (if
// any) was read.
std::optional<std::string> locationProblem(const std::string& location, const CTsVoiceCfgMgr& manager,
                                           CTsVoiceCfgMgr::LoadStatus status)
{
    std::error_code ec;
    const auto st = std::filesystem::status(location, ec);
    if (ec || st.type() == std::filesystem::file_type::not_found) {
        const bool missing = st.type() == std::filesystem::file_type::not_found || ec == std::errc::no_such_file_or_directory;
        return " wav location error:" + location + " (" + (missing ? std::string("no such folder") : ec.message()) + ")";
    }
    if (st.type() != std::filesystem::file_type::directory) {
        return " wav location error:" + location + " (not a folder)";
    }
    if (status == CTsVoiceCfgMgr::LoadStatus::Unreadable) {
        return " voice.lvcfg reading error:" + manager.filePath().string() + " (" + manager.unreadableReason() + ")";
    }
    return std::nullopt;
}

} // namespace

void buildEntry(BuildContext& context, const PhoneticDictionary& dictionary, const CTsVoiceCfg& entry,
                const std::string& location, const std::string& modelFolder, TessarinEngineV6::AnalysisScratch* scratch)
{
    const std::string line = progressLine(entry, context.done, context.total);
    if (context.delegate != nullptr) {
        context.delegate->onProgress(line);
    }
    const std::optional<TSSrcCheckResult> result =
        analyseEntryCaught(context, dictionary, dictionary.serialise(), entry, location, modelFolder, scratch);
    if (result && context.delegate != nullptr) {
        context.delegate->onEntryResult(*result, line);
        context.delegate->onEntryDone(entry, location, *result);
    }
}

namespace {

// Analyses the collected entries on `jobs` threads and reports them in order on the calling thread.
// Entries that write the same model file run one after the other, in entry order, so the file ends
// as the last of them leaves it, as in a build on one thread.
void buildInParallel(BuildContext& context, const PhoneticDictionary& dictionary, const std::vector<Collected>& entries,
                     const std::string& modelFolder)
{
    const std::string dictionaryText = dictionary.serialise();
    struct Slot {
        bool finished = false;
        std::optional<TSSrcCheckResult> result;
    };
    std::vector<Slot> slots(entries.size());
    std::vector<std::string> modelNames(entries.size());
    for (std::size_t i = 0; i < entries.size(); ++i) {
        modelNames[i] = TSVM_V0::modelFileName(entries[i].entry->symbol, normalisePitch(entries[i].entry->pitch));
    }
    std::mutex lock;
    std::condition_variable changed;
    std::size_t nextToStart = 0;
    std::multiset<std::string> busyNames;
    bool stopping = false;
    // Entries start at most `lead` ahead of the last one reported, so that a stop asked for at a
    // report lets only the entries already under way finish (however late the reports come).
    const std::size_t lead = 2 * std::size_t(std::max(1, context.jobs));
    std::size_t reported = 0;

    auto worker = [&] {
        TessarinEngineV6::AnalysisScratch scratch; // this thread's, kept from entry to entry
        std::unique_lock<std::mutex> guard(lock);
        for (;;) {
            if (stopping || nextToStart >= entries.size() || context.stop.load() != 0) {
                stopping = true;
                changed.notify_all();
                return;
            }
            const std::size_t i = nextToStart;
            // Wait while the reports trail too far, and while an earlier entry writes the same
            // model file.
            if (i >= reported + lead || busyNames.count(modelNames[i]) != 0) {
                changed.wait(guard);
                continue;
            }
            ++nextToStart;
            busyNames.insert(modelNames[i]);
            guard.unlock();
            std::optional<TSSrcCheckResult> result = analyseEntryCaught(
                context, dictionary, dictionaryText, *entries[i].entry, entries[i].location, modelFolder, &scratch);
            guard.lock();
            busyNames.erase(busyNames.find(modelNames[i]));
            slots[i].result = std::move(result);
            slots[i].finished = true;
            changed.notify_all();
        }
    };

    const int threads = std::max(1, std::min<int>(context.jobs, int(entries.size())));
    std::vector<std::thread> pool;
    for (int t = 0; t < threads; ++t) {
        pool.emplace_back(worker);
    }
    for (std::size_t i = 0; i < entries.size(); ++i) {
        std::unique_lock<std::mutex> guard(lock);
        changed.wait(guard, [&] { return slots[i].finished || (stopping && i >= nextToStart); });
        if (!slots[i].finished) {
            break; // never started: the build was stopped before it
        }
        std::optional<TSSrcCheckResult> result = std::move(slots[i].result);
        guard.unlock();
        const std::string line = progressLine(*entries[i].entry, context.done, context.total);
        if (context.delegate != nullptr) {
            context.delegate->onProgress(line);
            if (result) {
                context.delegate->onEntryResult(*result, line);
                context.delegate->onEntryDone(*entries[i].entry, entries[i].location, *result);
            }
        }
        ++context.done;
        guard.lock();
        reported = i + 1;
        guard.unlock();
        changed.notify_all();
    }
    {
        std::lock_guard<std::mutex> guard(lock);
        stopping = true;
    }
    changed.notify_all();
    for (std::thread& t : pool) {
        t.join();
    }
}

} // namespace

void buildModels(BuildContext& context, const PhoneticDictionary& dictionary,
                 const std::vector<std::string>& wavLocations, const std::string& modelFolder,
                 const std::optional<std::vector<std::string>>& symbols, bool skipExisting)
{
    context.skipExisting = skipExisting ? 1 : 0;
    context.stop.store(0);

    std::vector<std::unique_ptr<CTsVoiceCfgMgr>> managers;
    std::vector<Collected> collected;
    for (const std::string& location : wavLocations) {
        auto manager = std::make_unique<CTsVoiceCfgMgr>();
        const CTsVoiceCfgMgr::LoadStatus status = manager->loadFolder(location);
        if (const auto problem = locationProblem(location, *manager, status)) {
            if (context.delegate != nullptr) {
                context.delegate->onLocationProblem(message(false, *problem));
            }
            continue;
        }
        const std::vector<CTsVoiceCfg*> all = manager->entries();
        if (!symbols) {
            for (const CTsVoiceCfg* e : all) {
                collected.push_back({e, location});
            }
        } else {
            for (const std::string& symbol : *symbols) {
                bool found = false;
                for (const CTsVoiceCfg* e : all) {
                    if (e->symbol == symbol) {
                        collected.push_back({e, location});
                        found = true;
                    }
                }
                if (!found && context.delegate != nullptr) {
                    TSSrcCheckResult missing;
                    missing.ok = false;
                    missing.messages.push_back(symbol + " not exists in " + location);
                    context.delegate->onEntryResult(missing, "");
                }
            }
        }
        managers.push_back(std::move(manager));
    }

    context.total = static_cast<std::int32_t>(collected.size());
    context.done = 0;
    context.unchangedSinceBuild.store(0);
    if (context.jobs > 1) {
        buildInParallel(context, dictionary, collected, modelFolder);
        return;
    }
    TessarinEngineV6::AnalysisScratch scratch;
    for (std::int32_t i = 0; i < context.total && context.stop.load() == 0; ++i) {
        buildEntry(context, dictionary, *collected[std::size_t(i)].entry, collected[std::size_t(i)].location, modelFolder,
                   &scratch);
        ++context.done;
    }
}

bool buildModelsRecorded(BuildContext& context, const PhoneticDictionary& dictionary,
                         const std::vector<std::string>& wavLocations, const std::string& modelFolder,
                         const std::optional<std::vector<std::string>>& symbols, bool skipExisting)
{
    ModelManifest manifest = ModelManifest::load(modelFolder);
    context.manifest = &manifest;
    buildModels(context, dictionary, wavLocations, modelFolder, symbols, skipExisting);
    context.manifest = nullptr;
    return manifest.save(modelFolder);
}

void buildVoiceBank(BuildContext& context, const PhoneticDictionary& dictionary, std::vector<std::string> pitches,
                    const std::string& voiceBankName, const std::string& modelFolder,
                    const std::string& voiceBankFolder)
{
    for (std::string& pitch : pitches) {
        pitch = normalisePitch(pitch);
    }
    // Two banks written into one folder at once would mix their files.
    Tessarin::FolderLock folderLock;
    if (folderLock.tryAcquire(voiceBankFolder) == Tessarin::FolderLock::Status::busy) {
        if (context.onWaitingForBankFolder) {
            context.onWaitingForBankFolder(voiceBankFolder);
        }
        folderLock.acquire(voiceBankFolder);
    }
    // The description goes with the bank it describes, in the same set: a bank that could not be
    // written leaves the old bank whole, description included.
    Json::Value description(Json::objectValue);
    description["name"] = voiceBankName;
    description["version"] = "6.1";
    TSSrcCheckResult result;
    TessarinEngineV6::assembleVoiceBank(dictionary.serialise(), result, modelFolder, voiceBankFolder, pitches,
                                        TessarinEngineV6::kContentFileLimit, lvjson::styledText(description));
    if (context.delegate != nullptr) {
        context.delegate->onFinished(result);
    }
}
