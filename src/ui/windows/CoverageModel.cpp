#include "ui/windows/CoverageModel.h"

#include "builder/VoiceBankBuilder.h"
#include "model/PhoneticDictionary.h"
#include "model/ProjectPaths.h"

#include <map>

namespace TessarinEditor {

namespace {

// The list's form kinds.
constexpr int kFormCV = 0;
constexpr int kFormVX = 1;
constexpr int kFormIndependent = 2;

// For each pitch, the location that holds most of its entries (the first of equals).
std::map<std::string, std::string> foldersByPitch(const Coverage& c)
{
    std::map<std::string, std::map<std::size_t, int>> counts;
    for (const CoverageRecorded& r : c.recorded) {
        ++counts[normalisePitch(r.entry->pitch)][r.location];
    }
    std::map<std::string, std::string> folders;
    for (const auto& [pitch, byLocation] : counts) {
        std::size_t best = byLocation.begin()->first;
        for (const auto& [location, n] : byLocation) {
            if (n > byLocation.at(best)) {
                best = location;
            }
        }
        folders[pitch] = c.locations[best].folder;
    }
    return folders;
}

} // namespace

CoverageModel makeCoverageModel(const TSTBCurrentModel::CTsToolBoxProjModel& project,
                                const std::filesystem::path& projectFile)
{
    TSTBCurrentModel::CTsToolBoxProjModel resolved = project;
    resolveProjectFolders(resolved, projectFile);
    const Coverage c = computeCoverage(resolved);
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(resolved);

    CoverageModel m;
    m.dictionaryOk = c.dictionaryOk;
    m.dictionaryMessage = c.dictionaryMessage;
    m.complete = c.complete();
    m.pitches = c.pitchCounts();
    const std::map<std::string, std::string> folders = foldersByPitch(c);
    const std::string firstFolder = c.locations.empty() ? std::string() : c.locations.front().folder;
    for (const CoverageUnit& u : c.units) {
        if (u.complete()) {
            continue;
        }
        CoverageProblem p;
        p.pitch = u.pitch;
        p.unit = u.unit;
        p.detail = u.detail;
        p.recorded = u.recorded != nullptr;
        if (p.recorded) {
            p.entry = u.recorded->entry->clone();
            p.folder = c.locations[u.recorded->location].folder;
        } else {
            const auto found = folders.find(u.pitch);
            p.folder = found != folders.end() ? found->second : firstFolder;
        }
        // The unit's kind as the bank build names it: "_" joins a vowel and what follows it.
        p.formKind = u.unit.find('_') != std::string::npos ? kFormVX
                     : dictionary.isIndependent(u.unit)     ? kFormIndependent
                                                            : kFormCV;
        m.problems.push_back(std::move(p));
    }
    for (const CoverageLocation& l : c.locations) {
        if (l.unreadable) {
            m.unreadable.push_back((std::filesystem::path(l.folder) / kVoiceCfgFileName).string());
        }
    }
    return m;
}

} // namespace TessarinEditor
