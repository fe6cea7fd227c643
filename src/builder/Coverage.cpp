#include "builder/Coverage.h"

#include "builder/VoiceBankBuilder.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "engine/VoiceSources.h"
#include "model/PhoneticDictionary.h"
#include "model/TextSplit.h"

#include <algorithm>
#include <map>
#include <set>
#include <utility>

namespace {

namespace fs = std::filesystem;

std::optional<fs::file_time_type> modifiedTime(const fs::path& p)
{
    std::error_code ec;
    const auto t = fs::last_write_time(p, ec);
    if (ec) {
        return std::nullopt;
    }
    return t;
}

std::string wavPathOf(const CoverageLocation& location, const CTsVoiceCfg& entry)
{
    return (fs::path(location.folder) / entry.wavName).string();
}

// Fills the state of one unit at one pitch, as build-bank would find it now.
void assess(CoverageUnit& u, const std::vector<CoverageLocation>& locations, const std::string& modelFolder,
            TessarinEngineV6::SourceChecker& checker)
{
    const fs::path model = TSVM_V0::modelFilePath(modelFolder, u.unit, u.pitch);
    const std::optional<fs::file_time_type> modelTime = modifiedTime(model);
    u.modelExists = modelTime.has_value();
    std::vector<std::string> problems;
    if (u.recorded == nullptr) {
        u.upToDate = u.modelExists; // nothing to be older than
        problems.push_back(u.modelExists ? "not recorded (a model from an earlier recording exists)" : "not recorded");
    } else {
        const CoverageLocation& where = locations[u.recorded->location];
        const std::string wav = wavPathOf(where, *u.recorded->entry);
        const std::optional<fs::file_time_type> wavTime = modifiedTime(wav);
        if (!wavTime) {
            problems.push_back("recorded, but its WAV " + wav + " is missing");
        } else if (!u.modelExists) {
            problems.push_back("not built (recorded in " + wav + ")");
        } else if (*modelTime < *wavTime) {
            problems.push_back("out of date: the model is older than " + wav);
        } else if (where.configTime && *modelTime < *where.configTime) {
            problems.push_back("out of date: " + (fs::path(where.folder) / kVoiceCfgFileName).string() +
                               " changed after the model was built (build-models --incremental rebuilds only "
                               "the entries that changed)");
        } else {
            u.upToDate = true;
        }
    }
    checker.messages.clear();
    checker.codes.clear();
    if (u.unit.find('_') != std::string::npos) {
        const auto source = TessarinEngineV6::loadContinuantSourceForCheck(modelFolder, u.unit, u.pitch);
        u.passing = checker.checkContinuantSource(u.unit, u.pitch, source.get(), false);
    } else {
        const auto source = TessarinEngineV6::loadVoiceSourceForCheck(modelFolder, u.unit, u.pitch);
        u.passing = checker.checkVoiceSource(u.unit, u.pitch, source.get(), false);
    }
    if (!u.passing) {
        u.code = checker.codes.empty() ? TessarinEngineV6::kCodeNoSource : checker.codes.front();
        // A missing model is already said; a bad pitch name or symbol is worth saying either way.
        if (u.modelExists || u.code != TessarinEngineV6::kCodeNoSource) {
            problems.push_back("fails the check: " + std::string(resultCodeText(u.code)) + " (code " +
                               std::to_string(u.code) + ")");
        }
    }
    for (std::size_t i = 0; i < problems.size(); ++i) {
        u.detail += (i == 0 ? "" : "; ") + problems[i];
    }
}

} // namespace

bool Coverage::complete() const
{
    if (!dictionaryOk) {
        return false;
    }
    return std::all_of(units.begin(), units.end(), [](const CoverageUnit& u) { return u.complete(); });
}

CoverageCounts Coverage::countsOf(const std::string& pitch) const
{
    CoverageCounts n;
    n.pitch = pitch;
    for (const CoverageUnit& u : units) {
        if (u.pitch != pitch) {
            continue;
        }
        ++n.needed;
        n.recorded += u.recorded != nullptr ? 1 : 0;
        n.built += u.built() ? 1 : 0;
        n.passing += u.passing ? 1 : 0;
    }
    return n;
}

std::vector<CoverageCounts> Coverage::pitchCounts() const
{
    // A pitch listed twice is looked up twice, as build-bank does; it is counted once.
    std::vector<CoverageCounts> rows;
    std::set<std::string> seen;
    for (const std::string& pitch : pitches) {
        if (seen.insert(pitch).second) {
            rows.push_back(countsOf(pitch));
        }
    }
    return rows;
}

Coverage computeCoverage(const TSTBCurrentModel::CTsToolBoxProjModel& project)
{
    Coverage c;
    c.modelFolder = project.modelFolder;
    c.dictionaryOk = checkProjectDictionary(project, c.dictionaryMessage);
    if (c.dictionaryOk) {
        c.dictionaryMessage = "OK! Pass!";
    }
    TessarinEngineV6::SourceChecker checker;
    checker.load(PhoneticDictionary::fromProject(project).serialise());
    const std::vector<std::string> units = TessarinEngineV6::unitList(checker.dictionary);
    // The pitch list as the build panel reads it.
    for (const std::string& pitch : splitText(removeBlanks(project.pitchList), ',')) {
        c.pitches.push_back(normalisePitch(pitch));
    }

    // The entry of each symbol and model pitch whose model a full build leaves: the last one built.
    std::map<std::pair<std::string, std::string>, std::size_t> bySymbolAndPitch;
    for (const std::string& folder : project.wavLocations) {
        CoverageLocation l;
        l.folder = folder;
        l.entries = std::make_unique<CTsVoiceCfgMgr>();
        l.unreadable = l.entries->loadFolder(folder) == CTsVoiceCfgMgr::LoadStatus::Unreadable;
        l.configTime = modifiedTime(fs::path(folder) / kVoiceCfgFileName);
        c.locations.push_back(std::move(l));
    }
    for (std::size_t i = 0; i < c.locations.size(); ++i) {
        for (const CTsVoiceCfg* e : c.locations[i].entries->entries()) {
            c.recorded.push_back({e, i});
        }
    }
    for (std::size_t i = 0; i < c.recorded.size(); ++i) {
        const CTsVoiceCfg& e = *c.recorded[i].entry;
        bySymbolAndPitch[{e.symbol, normalisePitch(e.pitch)}] = i;
    }

    std::set<std::pair<std::string, std::string>> needed;
    for (const std::string& pitch : c.pitches) {
        for (const std::string& unit : units) {
            CoverageUnit u;
            u.pitch = pitch;
            u.unit = unit;
            const auto found = bySymbolAndPitch.find({unit, pitch});
            if (found != bySymbolAndPitch.end()) {
                u.recorded = &c.recorded[found->second];
            }
            assess(u, c.locations, c.modelFolder, checker);
            c.units.push_back(std::move(u));
            needed.insert({unit, pitch});
        }
    }
    for (const CoverageRecorded& r : c.recorded) {
        if (needed.count({r.entry->symbol, normalisePitch(r.entry->pitch)}) == 0) {
            c.orphans.push_back(r);
        }
    }
    return c;
}
