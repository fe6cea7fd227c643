#pragma once

// The project model: the six dictionary texts, the wav locations and the build settings, in the
// current version and in version 0 (read only, upgraded on load), with their payload layout.

#include "model/ObjWithVersion.h"
#include "model/TessarinWinMemoryStream.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace TSTBModel_v0 {

class CTsToolBoxProjModel : public ObjWithVersion {
public:
    CTsToolBoxProjModel() : ObjWithVersion(0) {}

    std::string browseFolder;
    std::string symbolList;
    std::string vowelList;
    // Both consonant lists in one text: voiced symbols, ";", unvoiced symbols, each list separated by ",".
    std::string consonantLists;
    std::vector<std::string> wavLocations;
    std::uint8_t allSymbols = 1;
    std::string modelSymbols;
    std::string modelFolder;
    std::string voiceBankFolder;
    std::string pitchList;
    std::string voiceBankName;
};

void readPayload(CTsToolBoxProjModel& model, TessarinWin::CMemoryBuffer& buffer);

} // namespace TSTBModel_v0

namespace TSTBCurrentModel {

class CTsToolBoxProjModel : public UpgradableObj<TSTBModel_v0::CTsToolBoxProjModel> {
public:
    CTsToolBoxProjModel() : UpgradableObj(1, 0) {}

    bool convertFrom(const TSTBModel_v0::CTsToolBoxProjModel& previous) override;

    // Start folder of the folder chooser that adds wav locations; kept, never changed here.
    std::string browseFolder;
    // The six dictionary texts, one symbol entry per line.
    std::string symbolList;
    std::string vowelList;
    std::string voicedConsonantList;
    std::string unvoicedConsonantList;
    std::string independentList;
    std::string tailList;
    // Folders of recordings, full paths, no duplicates.
    std::vector<std::string> wavLocations;
    // 1: "Build models" builds every entry of the wav locations; 0: only those of modelSymbols.
    // A new project builds everything until the user narrows it.
    std::uint8_t allSymbols = 1;
    std::string modelSymbols;
    std::string modelFolder;
    std::string voiceBankFolder;
    std::string pitchList;
    std::string voiceBankName;
};

// Fails only when the payload would pass 2^31 − 1 bytes, which the file cannot describe.
bool writePayload(const CTsToolBoxProjModel& model, TessarinWin::CMemoryBuffer& buffer);
void readPayload(CTsToolBoxProjModel& model, TessarinWin::CMemoryBuffer& buffer);

} // namespace TSTBCurrentModel

// The string fields of the current model, by name, for the document's setters and the command line.
enum class ProjectField {
    browseFolder,
    symbolList,
    vowelList,
    voicedConsonantList,
    unvoicedConsonantList,
    independentList,
    tailList,
    modelSymbols,
    modelFolder,
    voiceBankFolder,
    pitchList,
    voiceBankName,
};

inline constexpr std::array<ProjectField, 12> kProjectFields = {
    ProjectField::browseFolder,          ProjectField::symbolList,    ProjectField::vowelList,
    ProjectField::voicedConsonantList,   ProjectField::unvoicedConsonantList,
    ProjectField::independentList,       ProjectField::tailList,      ProjectField::modelSymbols,
    ProjectField::modelFolder,           ProjectField::voiceBankFolder,
    ProjectField::pitchList,             ProjectField::voiceBankName,
};

std::string_view projectFieldName(ProjectField field);
std::optional<ProjectField> projectFieldFromName(std::string_view name);
std::string& projectField(TSTBCurrentModel::CTsToolBoxProjModel& model, ProjectField field);
const std::string& projectField(const TSTBCurrentModel::CTsToolBoxProjModel& model, ProjectField field);
