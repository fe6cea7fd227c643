#include "builder/EntryScan.h"

#include <algorithm>
#include <set>
#include <system_error>

namespace {

// The editor refuses to store a marker within this much of either end of the file [s].
constexpr float kEditorMarginSec = 0.06f;

// Places the new entry's markers in the recording; false, with why, when they cannot be placed
// where the editor would store them.
bool placeMarkers(CTsVoiceCfg& entry, const TessarinEditor::EditorProbe& probe, std::string& why)
{
    placeDefaultMarkers(entry, probe.duration);
    const std::span<const float> f = defaultMarkerFractions(entry.kind());
    const float first = f.front() * probe.duration;
    const float last = f.back() * probe.duration;
    if (!(first > kEditorMarginSec && last < probe.duration - kEditorMarginSec)) {
        why = "too short (" + std::to_string(probe.duration) +
              " s) for the editor's first markers to lie outside its 0.06 s margins";
        return false;
    }
    return true;
}

} // namespace

std::vector<std::string> wavFilesWithoutEntry(const CTsVoiceCfgMgr& mgr)
{
    std::vector<std::string> names;
    if (mgr.folder().empty()) {
        return names;
    }
    std::set<std::string> used;
    for (const CTsVoiceCfg* entry : mgr.entries()) {
        used.insert(entry->wavName);
    }
    std::error_code ec;
    for (std::filesystem::directory_iterator it(mgr.folder(), ec), end; !ec && it != end; it.increment(ec)) {
        std::string name = it->path().filename().string();
        std::error_code typeError;
        if (isWavFileName(name) && it->is_regular_file(typeError) && used.count(name) == 0) {
            names.push_back(std::move(name));
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<ScannedFile> planEntryScan(const CTsVoiceCfgMgr& mgr, std::string_view pitch,
                                       const PhoneticDictionary& dictionary)
{
    std::vector<ScannedFile> plan;
    std::set<std::string> planned;
    for (std::string& wavName : wavFilesWithoutEntry(mgr)) {
        ScannedFile file;
        file.wavName = std::move(wavName);
        file.name = entryNameFromWav(file.wavName, pitch, dictionary);
        if (!file.name) {
            file.verdict = ScannedFile::Verdict::Unmatched;
            plan.push_back(std::move(file));
            continue;
        }
        const std::string key = std::string(pitch) + "->" + file.name->symbol;
        if (mgr.findKey(key) != nullptr || mgr.find(file.name->symbol, std::string(pitch)) != nullptr ||
            planned.count(key) != 0) {
            file.verdict = ScannedFile::Verdict::Exists;
            plan.push_back(std::move(file));
            continue;
        }
        TessarinEditor::EditorProbe probe;
        Tessarin::ReadError why;
        const TessarinEditor::WavLoadStatus status =
            TessarinEditor::probeForEditor(mgr.folder() / file.wavName, probe, &why);
        if (probe.duration == 0.0f) {
            file.verdict = ScannedFile::Verdict::Unusable;
            file.detail = whyRecordingNotLoaded(status, probe, why);
            plan.push_back(std::move(file));
            continue;
        }
        std::unique_ptr<CTsVoiceCfg> entry = makeVoiceCfg(file.name->srcType);
        entry->wavName = file.wavName;
        entry->symbol = file.name->symbol;
        entry->pitch = std::string(pitch);
        if (!placeMarkers(*entry, probe, file.detail)) {
            file.verdict = ScannedFile::Verdict::Unusable;
            plan.push_back(std::move(file));
            continue;
        }
        file.verdict = ScannedFile::Verdict::Make;
        file.entry = std::move(entry);
        planned.insert(key);
        plan.push_back(std::move(file));
    }
    return plan;
}

std::size_t countToMake(const std::vector<ScannedFile>& plan)
{
    return std::size_t(std::count_if(plan.begin(), plan.end(),
                                     [](const ScannedFile& f) { return f.verdict == ScannedFile::Verdict::Make; }));
}

EntryUpdate storeScannedEntries(CTsVoiceCfgMgr& mgr, const std::vector<ScannedFile>& plan)
{
    if (!mgr.writable()) {
        return EntryUpdate::NotWritable;
    }
    if (countToMake(plan) == 0) {
        return EntryUpdate::Unchanged;
    }
    for (const ScannedFile& file : plan) {
        if (file.verdict == ScannedFile::Verdict::Make) {
            std::unique_ptr<CTsVoiceCfg> entry = file.entry->clone();
            entry->touch();
            const std::string key = entryKey(*entry);
            mgr.put(key, std::move(entry));
        }
    }
    return mgr.save() ? EntryUpdate::Done : EntryUpdate::SaveFailed;
}

std::string whyRecordingNotLoaded(TessarinEditor::WavLoadStatus status, const TessarinEditor::EditorProbe& probe,
                                  const Tessarin::ReadError& why)
{
    if (why.failure != Tessarin::ReadFailure::none) {
        return why.text();
    }
    switch (status) {
    case TessarinEditor::WavLoadStatus::FormatError:
        return std::to_string(probe.info.sampleRate) + " Hz, " + std::to_string(probe.info.bytesPerSample * 8) +
               " bit, " + std::to_string(probe.info.channels) +
               " channel(s): the editor takes 44100 Hz, 16 bit, mono files named .wav";
    case TessarinEditor::WavLoadStatus::TooShort:
        return "shorter than 5 ms";
    default:
        return "cannot be read as a WAV or MP3 file";
    }
}
