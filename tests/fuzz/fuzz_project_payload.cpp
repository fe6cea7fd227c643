// Arbitrary bytes as a project payload (the first byte picks version 0 or 1). Reading never fails
// and never reads outside the payload; what it read writes out and reads back unchanged. The
// dictionary in it, when it passes both checks, reaches the engine's symbol tables intact.

#include "engine/CVVCMgr.h"
#include "model/CTsToolBoxProjModel.h"
#include "model/PhoneticDictionary.h"

#include <cstdint>
#include <cstdlib>

using TSTBCurrentModel::CTsToolBoxProjModel;

namespace {

void require(bool condition)
{
    if (!condition) {
        std::abort();
    }
}

bool sameModel(const CTsToolBoxProjModel& a, const CTsToolBoxProjModel& b)
{
    for (const ProjectField f : kProjectFields) {
        if (projectField(a, f) != projectField(b, f)) {
            return false;
        }
    }
    return a.wavLocations == b.wavLocations && a.allSymbols == b.allSymbols;
}

void checkDictionaryReachesTheEngine(const CTsToolBoxProjModel& model)
{
    const PhoneticDictionary d = PhoneticDictionary::fromProject(model);
    std::string message;
    if (!d.checkRepeats(message) || !d.checkCharacters(message)) {
        return;
    }
    TessarinEngineV6::CVVCMgr mgr;
    mgr.load(d.serialise());
    require(mgr.symbols.size() == d.syllables.size());
    for (std::size_t i = 0; i < d.syllables.size(); ++i) {
        const auto& s = d.syllables[i];
        require(mgr.symbols[i] == s[0] && mgr.consonantOf.at(s[0]) == s[1] && mgr.vowelOf.at(s[0]) == s[2]);
    }
    require(mgr.vowels.size() == d.vowels.size());
    for (std::size_t i = 0; i < d.vowels.size(); ++i) {
        require(mgr.vowels[i] == d.vowels[i].first && mgr.vowelValue(d.vowels[i].first) == d.vowels[i].second);
    }
    require(mgr.voicedConsonants == d.voicedConsonants && mgr.unvoicedConsonants == d.unvoicedConsonants &&
            mgr.independents == d.independents && mgr.tails == d.tails);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    TessarinWin::CMemoryBuffer payload;
    payload.append(data + 1, size - 1);

    CTsToolBoxProjModel model;
    if (data[0] & 1) {
        TSTBCurrentModel::readPayload(model, payload);
    } else {
        TSTBModel_v0::CTsToolBoxProjModel old;
        TSTBModel_v0::readPayload(old, payload);
        require(model.upgradeFrom(old));
    }
    require(payload.size() == size - 1);
    require(model.wavLocations.size() <= payload.size() / 4);

    TessarinWin::CMemoryBuffer again;
    require(TSTBCurrentModel::writePayload(model, again));
    CTsToolBoxProjModel back;
    TSTBCurrentModel::readPayload(back, again);
    require(sameModel(model, back));

    checkDictionaryReachesTheEngine(model);
    return 0;
}
