#pragma once

// What the voice bank still lacks, before anything is recorded or built: the units the bank build
// looks for at each pitch of the project's pitch list, and for each whether it is recorded (an
// entry in a wav location), built (a model file not older than its inputs) and passing (the check
// the bank build makes of the model). The units are enumerated as the bank build does and each model
// file is checked as the bank build does; only what the checks look at is read, and no audio is
// analysed. `lvtb coverage` prints it; the desktop program's coverage window shows it.

#include "model/CTsToolBoxProjModel.h"
#include "model/CTsVoiceCfg.h"
#include "model/CTsVoiceCfgMgr.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct CoverageRecorded {
    const CTsVoiceCfg* entry = nullptr; // in its location's entries
    std::size_t location = 0;           // index into Coverage::locations
};

struct CoverageLocation {
    std::string folder;
    std::unique_ptr<CTsVoiceCfgMgr> entries;
    std::optional<std::filesystem::file_time_type> configTime;
    bool unreadable = false;
};

struct CoverageUnit {
    std::string pitch;
    std::string unit;
    const CoverageRecorded* recorded = nullptr; // the entry a full build takes the model from
    bool modelExists = false;
    bool upToDate = false;
    bool passing = false;
    std::int32_t code = 0; // the check's code when not passing
    std::string detail;    // what is wrong, in words

    bool built() const { return modelExists && upToDate; }
    bool complete() const { return recorded != nullptr && built() && passing; }
};

struct CoverageCounts {
    std::string pitch;
    int needed = 0;
    int recorded = 0;
    int built = 0;
    int passing = 0;
};

// Units and entries refer into the object's own lists: it moves, and is never copied.
struct Coverage {
    Coverage() = default;
    Coverage(const Coverage&) = delete;
    Coverage& operator=(const Coverage&) = delete;
    Coverage(Coverage&&) = default;
    Coverage& operator=(Coverage&&) = default;

    std::string modelFolder;
    bool dictionaryOk = false;
    std::string dictionaryMessage; // "OK! Pass!" or the build panel's first failure
    std::vector<std::string> pitches; // normalised, in the pitch list's order (repeats kept)
    std::vector<CoverageUnit> units;  // pitch by pitch, each in the bank build's unit order
    std::vector<CoverageRecorded> orphans; // entries no unit needs
    std::vector<CoverageLocation> locations;
    std::vector<CoverageRecorded> recorded;

    bool complete() const;
    // The counts of one pitch.
    CoverageCounts countsOf(const std::string& pitch) const;
    // The counts of every pitch, each pitch once, in the pitch list's order.
    std::vector<CoverageCounts> pitchCounts() const;
};

// project: folders already resolved (absolute, or as the caller wants them read).
Coverage computeCoverage(const TSTBCurrentModel::CTsToolBoxProjModel& project);
