#include "model/CTsToolBoxProjModel.h"

#include "model/TextSplit.h"

namespace TSTBModel_v0 {

void readPayload(CTsToolBoxProjModel& model, TessarinWin::CMemoryBuffer& buffer)
{
    TessarinWin::CMemoryStream s(buffer);
    s.readString(model.browseFolder);
    s.readString(model.symbolList);
    s.readString(model.vowelList);
    s.readString(model.consonantLists);
    s.readStringList(model.wavLocations);
    s.readByte(model.allSymbols);
    s.readString(model.modelSymbols);
    s.readString(model.modelFolder);
    s.readString(model.voiceBankFolder);
    s.readString(model.pitchList);
    s.readString(model.voiceBankName);
}

} // namespace TSTBModel_v0

namespace TSTBCurrentModel {

namespace {

// One consonant list of the old combined text: "k,g" becomes the lines k and g.
std::string consonantLines(const std::string& piece)
{
    return piece.empty() ? std::string() : joinText(splitText(piece, ','), "\r\n");
}

} // namespace

bool CTsToolBoxProjModel::convertFrom(const TSTBModel_v0::CTsToolBoxProjModel& previous)
{
    browseFolder = previous.browseFolder;
    symbolList = previous.symbolList;
    vowelList = previous.vowelList;

    const std::vector<std::string> consonants = splitText(removeBlanks(previous.consonantLists), ';');
    voicedConsonantList = consonantLines(consonants[0]);
    unvoicedConsonantList = consonants.size() > 1 ? consonantLines(consonants[1]) : std::string();

    // Version 0 had no independent list; its breath units were always these five.
    independentList = "br1\r\nbr2\r\nbr3\r\nbr4\r\nbr5";
    tailList.clear();

    wavLocations = previous.wavLocations;
    allSymbols = previous.allSymbols;
    modelSymbols = previous.modelSymbols;
    modelFolder = previous.modelFolder;
    voiceBankFolder = previous.voiceBankFolder;
    pitchList = previous.pitchList;
    voiceBankName = previous.voiceBankName;
    return true;
}

bool writePayload(const CTsToolBoxProjModel& model, TessarinWin::CMemoryBuffer& buffer)
{
    TessarinWin::CMemoryStream s(buffer);
    return s.writeString(model.browseFolder) && s.writeString(model.symbolList) && s.writeString(model.vowelList) &&
           s.writeString(model.voicedConsonantList) && s.writeString(model.unvoicedConsonantList) &&
           s.writeString(model.independentList) && s.writeString(model.tailList) &&
           s.writeStringList(model.wavLocations) && s.writeByte(model.allSymbols) &&
           s.writeString(model.modelSymbols) && s.writeString(model.modelFolder) &&
           s.writeString(model.voiceBankFolder) && s.writeString(model.pitchList) &&
           s.writeString(model.voiceBankName);
}

void readPayload(CTsToolBoxProjModel& model, TessarinWin::CMemoryBuffer& buffer)
{
    TessarinWin::CMemoryStream s(buffer);
    s.readString(model.browseFolder);
    s.readString(model.symbolList);
    s.readString(model.vowelList);
    s.readString(model.voicedConsonantList);
    s.readString(model.unvoicedConsonantList);
    s.readString(model.independentList);
    s.readString(model.tailList);
    s.readStringList(model.wavLocations);
    s.readByte(model.allSymbols);
    s.readString(model.modelSymbols);
    s.readString(model.modelFolder);
    s.readString(model.voiceBankFolder);
    s.readString(model.pitchList);
    s.readString(model.voiceBankName);
}

} // namespace TSTBCurrentModel

namespace {

constexpr std::array<std::string_view, 12> kFieldNames = {
    "browseFolder",    "symbolList",      "vowelList", "voicedConsonantList", "unvoicedConsonantList",
    "independentList", "tailList",        "modelSymbols", "modelFolder",      "voiceBankFolder",
    "pitchList",       "voiceBankName",
};

} // namespace

std::string_view projectFieldName(ProjectField field)
{
    return kFieldNames[static_cast<std::size_t>(field)];
}

std::optional<ProjectField> projectFieldFromName(std::string_view name)
{
    for (const ProjectField f : kProjectFields) {
        if (projectFieldName(f) == name) {
            return f;
        }
    }
    return std::nullopt;
}

std::string& projectField(TSTBCurrentModel::CTsToolBoxProjModel& model, ProjectField field)
{
    switch (field) {
    case ProjectField::browseFolder: return model.browseFolder;
    case ProjectField::symbolList: return model.symbolList;
    case ProjectField::vowelList: return model.vowelList;
    case ProjectField::voicedConsonantList: return model.voicedConsonantList;
    case ProjectField::unvoicedConsonantList: return model.unvoicedConsonantList;
    case ProjectField::independentList: return model.independentList;
    case ProjectField::tailList: return model.tailList;
    case ProjectField::modelSymbols: return model.modelSymbols;
    case ProjectField::modelFolder: return model.modelFolder;
    case ProjectField::voiceBankFolder: return model.voiceBankFolder;
    case ProjectField::pitchList: return model.pitchList;
    case ProjectField::voiceBankName: return model.voiceBankName;
    }
    return model.browseFolder; // unreachable: every enumerator is handled above
}

const std::string& projectField(const TSTBCurrentModel::CTsToolBoxProjModel& model, ProjectField field)
{
    return projectField(const_cast<TSTBCurrentModel::CTsToolBoxProjModel&>(model), field);
}
