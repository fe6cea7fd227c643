// lvtb coverage: which units the voice bank needs at each pitch, and for each whether it is recorded,
// built and passing, before anything is recorded or built. It enumerates the units as the bank build
// does and checks each model file as the bank build does, but reads only what the checks look at
// and analyses no audio.

#include "builder/VoiceBankBuilder.h"
#include "cli/Cli.h"
#include "cli/ProjectCommands.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"
#include "engine/VoiceSources.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/PhoneticDictionary.h"

#include <json/json.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <set>
#include <utility>

namespace lvtb {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "usage: lvtb coverage FILE [--json]\n"
    "\n"
    "What the voice bank of project FILE still lacks. For each pitch of the pitch list, the units\n"
    "build-bank looks for (every CV symbol, its beginning form -CV, each vowel's tail vowel_-, each\n"
    "vowel followed by each consonant, by each other vowel and by each tail symbol, every independent\n"
    "symbol), and for each unit whether it is\n"
    "  recorded  an entry with that symbol and pitch is in a wav location's voice.lvcfg\n"
    "  built     its model file is in the model folder and not older than the entry's WAV and\n"
    "            voice.lvcfg\n"
    "  passing   its model file passes the check build-bank makes (marker order, voicing)\n"
    "Prints a summary per pitch (needed, recorded, built, passing), then every missing or failing\n"
    "unit in build-bank's order as pitch, unit and what is wrong (tab-separated), then the entries\n"
    "that no unit needs (often a typing error in a symbol or pitch). No audio is analysed.\n"
    "  --json   the same as one JSON document: pitches, problems, orphans, complete\n"
    "Exit status: 0 every unit is recorded, built and passing (and the dictionary passes the build\n"
    "panel's checks); 1 otherwise; 2 bad usage or a project that cannot be read.\n";

struct Recorded {
    const CTsVoiceCfg* entry = nullptr;
    std::size_t location = 0;
};

struct Location {
    std::string folder;
    std::unique_ptr<CTsVoiceCfgMgr> entries;
    std::optional<fs::file_time_type> configTime;
    bool unreadable = false;
};

struct UnitState {
    std::string pitch;
    std::string unit;
    const Recorded* recorded = nullptr;
    bool modelExists = false;
    bool upToDate = false;
    bool passing = false;
    std::int32_t code = 0; // the check's code when not passing
    std::string detail;

    bool built() const { return modelExists && upToDate; }
    bool complete() const { return recorded != nullptr && built() && passing; }
};

std::optional<fs::file_time_type> modifiedTime(const fs::path& p)
{
    std::error_code ec;
    const auto t = fs::last_write_time(p, ec);
    if (ec) {
        return std::nullopt;
    }
    return t;
}

std::string wavPathOf(const Location& location, const CTsVoiceCfg& entry)
{
    return (fs::path(location.folder) / entry.wavName).string();
}

// Fills the state of one unit at one pitch, as build-bank would find it now.
void assess(UnitState& u, const std::vector<Location>& locations, const std::string& modelFolder,
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
        const Location& where = locations[u.recorded->location];
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

struct Coverage {
    std::string modelFolder;
    bool dictionaryOk = false;
    std::string dictionaryMessage;
    std::vector<std::string> pitches;
    std::vector<UnitState> units; // pitch by pitch, each in the unit list's order
    std::vector<Recorded> orphans;
    std::vector<Location> locations;
    std::vector<Recorded> recorded;

    bool complete() const
    {
        if (!dictionaryOk) {
            return false;
        }
        for (const UnitState& u : units) {
            if (!u.complete()) {
                return false;
            }
        }
        return true;
    }
};

void computeCoverage(const TSTBCurrentModel::CTsToolBoxProjModel& project, Coverage& c)
{
    c.modelFolder = project.modelFolder;
    c.dictionaryOk = checkProjectDictionary(project, c.dictionaryMessage);
    if (c.dictionaryOk) {
        c.dictionaryMessage = "OK! Pass!";
    }
    TessarinEngineV6::SourceChecker checker;
    checker.load(PhoneticDictionary::fromProject(project).serialise());
    const std::vector<std::string> units = TessarinEngineV6::unitList(checker.dictionary);
    for (const std::string& pitch : panelList(project.pitchList)) {
        c.pitches.push_back(normalisePitch(pitch));
    }

    // The entry of each symbol and model pitch whose model a full build leaves: the last one built.
    std::map<std::pair<std::string, std::string>, std::size_t> bySymbolAndPitch;
    for (const std::string& folder : project.wavLocations) {
        Location l;
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
            UnitState u;
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
    for (const Recorded& r : c.recorded) {
        if (needed.count({r.entry->symbol, normalisePitch(r.entry->pitch)}) == 0) {
            c.orphans.push_back(r);
        }
    }
}

struct Counts {
    int needed = 0, recorded = 0, built = 0, passing = 0;
};

Counts countsOf(const Coverage& c, const std::string& pitch)
{
    Counts n;
    for (const UnitState& u : c.units) {
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

void printText(const Coverage& c, std::ostream& out)
{
    for (std::size_t i = 0; i < c.pitches.size(); ++i) {
        // A pitch listed twice is looked up twice, as build-bank does; count it once here.
        if (std::find(c.pitches.begin(), c.pitches.begin() + long(i), c.pitches[i]) != c.pitches.begin() + long(i)) {
            continue;
        }
        const Counts n = countsOf(c, c.pitches[i]);
        out << "pitch " << c.pitches[i] << ": " << n.needed << " needed, " << n.recorded << " recorded, " << n.built
            << " built, " << n.passing << " passing\n";
    }
    if (c.pitches.empty()) {
        out << "no pitches: the project's pitch list is empty\n";
    }
    out << "dictionary: " << c.dictionaryMessage << '\n';
    for (const Location& l : c.locations) {
        if (l.unreadable) {
            out << "unreadable: " << (fs::path(l.folder) / kVoiceCfgFileName).string()
                << " (its entries are not counted)\n";
        }
    }
    out << "\nmissing or failing (pitch, unit, what):\n";
    bool any = false;
    for (const UnitState& u : c.units) {
        if (!u.complete()) {
            out << u.pitch << '\t' << u.unit << '\t' << u.detail << '\n';
            any = true;
        }
    }
    if (!any) {
        out << "none\n";
    }
    out << "\nentries no unit needs (location, key, wavName):\n";
    for (const Recorded& r : c.orphans) {
        out << c.locations[r.location].folder << '\t' << r.entry->entryKey() << '\t' << r.entry->wavName << '\n';
    }
    if (c.orphans.empty()) {
        out << "none\n";
    }
}

void printJson(const Coverage& c, std::ostream& out)
{
    Json::Value root(Json::objectValue);
    root["modelFolder"] = c.modelFolder;
    root["dictionary"]["ok"] = c.dictionaryOk;
    root["dictionary"]["message"] = c.dictionaryMessage;
    root["pitches"] = Json::Value(Json::arrayValue);
    std::set<std::string> shown;
    for (const std::string& pitch : c.pitches) {
        if (!shown.insert(pitch).second) {
            continue;
        }
        const Counts n = countsOf(c, pitch);
        Json::Value p(Json::objectValue);
        p["pitch"] = pitch;
        p["needed"] = n.needed;
        p["recorded"] = n.recorded;
        p["built"] = n.built;
        p["passing"] = n.passing;
        root["pitches"].append(p);
    }
    root["problems"] = Json::Value(Json::arrayValue);
    for (const UnitState& u : c.units) {
        if (u.complete()) {
            continue;
        }
        Json::Value p(Json::objectValue);
        p["pitch"] = u.pitch;
        p["unit"] = u.unit;
        p["recorded"] = u.recorded != nullptr;
        if (u.recorded != nullptr) {
            p["location"] = c.locations[u.recorded->location].folder;
            p["wavName"] = u.recorded->entry->wavName;
        }
        p["modelExists"] = u.modelExists;
        p["built"] = u.built();
        p["passing"] = u.passing;
        if (!u.passing) {
            p["code"] = u.code;
            p["codeText"] = std::string(resultCodeText(u.code));
        }
        p["detail"] = u.detail;
        root["problems"].append(p);
    }
    root["orphans"] = Json::Value(Json::arrayValue);
    for (const Recorded& r : c.orphans) {
        Json::Value o(Json::objectValue);
        o["location"] = c.locations[r.location].folder;
        o["key"] = r.entry->entryKey();
        o["srcType"] = r.entry->srcType;
        o["wavName"] = r.entry->wavName;
        root["orphans"].append(o);
    }
    root["unreadable"] = Json::Value(Json::arrayValue);
    for (const Location& l : c.locations) {
        if (l.unreadable) {
            root["unreadable"].append((fs::path(l.folder) / kVoiceCfgFileName).string());
        }
    }
    root["complete"] = c.complete();
    Json::StreamWriterBuilder writer;
    writer["indentation"] = "  ";
    out << Json::writeString(writer, root) << '\n';
}

int runCoverage(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--json"}, {});
    args.expectPositional(1, "FILE");
    const LoadedProject loaded = loadResolvedOrFail(args.positional(0));
    Coverage c;
    computeCoverage(*loaded.model, c);
    if (args.flag("--json")) {
        printJson(c, io.out);
    } else {
        printText(c, io.out);
    }
    return c.complete() ? kExitOk : kExitProblems;
}

} // namespace

Command coverageCommand()
{
    return {"coverage", "which units the voice bank still lacks, per pitch", std::string(kUsage), runCoverage};
}

} // namespace lvtb
