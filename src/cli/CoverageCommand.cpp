// lvtb coverage: which units the voice bank needs at each pitch, and for each whether it is recorded,
// built and passing (builder/Coverage.h computes it), printed as text or as one JSON document.

#include "builder/Coverage.h"
#include "builder/VoiceBankBuilder.h"
#include "cli/Cli.h"
#include "cli/ProjectCommands.h"

#include <json/json.h>

#include <filesystem>
#include <ostream>

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

void printText(const Coverage& c, std::ostream& out)
{
    for (const CoverageCounts& n : c.pitchCounts()) {
        out << "pitch " << n.pitch << ": " << n.needed << " needed, " << n.recorded << " recorded, " << n.built
            << " built, " << n.passing << " passing\n";
    }
    if (c.pitches.empty()) {
        out << "no pitches: the project's pitch list is empty\n";
    }
    out << "dictionary: " << c.dictionaryMessage << '\n';
    for (const CoverageLocation& l : c.locations) {
        if (l.unreadable) {
            out << "unreadable: " << (fs::path(l.folder) / kVoiceCfgFileName).string()
                << " (its entries are not counted)\n";
        }
    }
    out << "\nmissing or failing (pitch, unit, what):\n";
    bool any = false;
    for (const CoverageUnit& u : c.units) {
        if (!u.complete()) {
            out << u.pitch << '\t' << u.unit << '\t' << u.detail << '\n';
            any = true;
        }
    }
    if (!any) {
        out << "none\n";
    }
    out << "\nentries no unit needs (location, key, wavName):\n";
    for (const CoverageRecorded& r : c.orphans) {
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
    for (const CoverageCounts& n : c.pitchCounts()) {
        Json::Value p(Json::objectValue);
        p["pitch"] = n.pitch;
        p["needed"] = n.needed;
        p["recorded"] = n.recorded;
        p["built"] = n.built;
        p["passing"] = n.passing;
        root["pitches"].append(p);
    }
    root["problems"] = Json::Value(Json::arrayValue);
    for (const CoverageUnit& u : c.units) {
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
    for (const CoverageRecorded& r : c.orphans) {
        Json::Value o(Json::objectValue);
        o["location"] = c.locations[r.location].folder;
        o["key"] = r.entry->entryKey();
        o["srcType"] = r.entry->srcType;
        o["wavName"] = r.entry->wavName;
        root["orphans"].append(o);
    }
    root["unreadable"] = Json::Value(Json::arrayValue);
    for (const CoverageLocation& l : c.locations) {
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
    const Coverage c = computeCoverage(*loaded.model);
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
