#pragma once

// What the coverage window shows, without any widget: the counts per pitch and the missing or
// failing units of builder/Coverage.h in the bank build's order, each with what a double-click on it
// does (open the list on the folder to record it in, or open the recorded entry in the editor).
// Everything is copied out of the computation, so the result outlives it and crosses threads.

#include "builder/Coverage.h"
#include "model/CTsToolBoxProjModel.h"

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

namespace TessarinEditor {

struct CoverageProblem {
    std::string pitch;
    std::string unit;
    std::string detail;
    // Recorded: entry is the entry a build takes and folder its wav location. Not recorded: folder
    // is where that pitch's entries are (the location holding most of them; the first location when
    // none does), formKind the list's form for the unit (0 CV, 1 VX, 2 independent).
    bool recorded = false;
    std::unique_ptr<CTsVoiceCfg> entry;
    std::string folder;
    int formKind = 0;
};

struct CoverageModel {
    bool dictionaryOk = false;
    std::string dictionaryMessage;
    bool complete = false;
    std::vector<CoverageCounts> pitches;
    std::vector<CoverageProblem> problems;
    std::vector<std::string> unreadable; // voice.lvcfg files whose entries are not counted
};

// project: the project as stored; relative folders are taken from projectFile's folder.
CoverageModel makeCoverageModel(const TSTBCurrentModel::CTsToolBoxProjModel& project,
                                const std::filesystem::path& projectFile);

} // namespace TessarinEditor
