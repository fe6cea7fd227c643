// Arbitrary bytes as the files the engine and lvtb read back: a model file's payload, a voice bank
// content block (the compact model), the serialised dictionary, a voice bank index and a language
// file, chosen by the first byte. No input may crash a reader or make it read outside its bytes.

#include "engine/CVVCMgr.h"
#include "engine/ModelFile.h"
#include "engine/SourceChecker.h"
#include "engine/VoiceBankFiles.h"
#include "model/Language.h"
#include "model/PhoneticDictionary.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <unistd.h>

namespace {

const std::filesystem::path& scratchFolder()
{
    static const std::filesystem::path folder = [] {
        auto p = std::filesystem::temp_directory_path() / ("lv_fuzz_engine_" + std::to_string(::getpid()));
        std::filesystem::create_directories(p);
        return p;
    }();
    return folder;
}

void writeScratch(const std::string& name, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(scratchFolder() / name, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), std::streamsize(size));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) {
        return 0;
    }
    const std::uint8_t* body = data + 1;
    const std::size_t length = size - 1;
    switch (data[0] % 5) {
    case 0: {
        Tessarin::CMemoryBuffer payload;
        payload.append(body, std::uint32_t(length));
        const auto contents = TSVM_V0::readModelPayload(payload, data[0] & 0x80 ? 7 : 8);
        const auto& m = contents.model;
        if (std::int64_t(m.f0.size()) != m.noiseEnvelope.frameCount || m.f0.size() != m.pulseRatio.size()) {
            std::abort(); // a cut record must not leave the tracks uneven
        }
        TSVM_V0::TsVoiceModelCompact compact;
        const bool converted = TSVM_V0::toCompact(m, compact);
        // The quick reader of what the unit checks see must agree with the full reader.
        TSVM_V0::ModelCheckFields fields;
        const int markerCount = data[0] & 0x80 ? 7 : 8;
        if (TSVM_V0::readModelCheckFields(std::span<const char>(reinterpret_cast<const char*>(body), length),
                                          markerCount, fields) == TSVM_V0::CheckFieldsRead::Read) {
            // Compared bit for bit: the f0 values of arbitrary bytes may be NaN.
            if (fields.markers != contents.markers || !converted || fields.f0.size() != compact.f0.size() ||
                (!fields.f0.empty() &&
                 std::memcmp(fields.f0.data(), compact.f0.data(), fields.f0.size() * sizeof(float)) != 0)) {
                std::abort();
            }
        }
        break;
    }
    case 1: {
        Tessarin::CMemoryBuffer block;
        block.append(body, std::uint32_t(length));
        Tessarin::CMemoryStream in(&block);
        TSVM_V0::TsVoiceModelCompact compact;
        if (TSVM_V0::readCompact(in, compact)) {
            TSVM_V0::TsVoiceModel model;
            TSVM_V0::toModel(compact, model); // unpacks every frame record, wherever its offset points
        }
        break;
    }
    case 2: {
        const std::string text(reinterpret_cast<const char*>(body), length);
        TessarinEngineV6::CVVCMgr mgr;
        mgr.load(text);
        const auto units = TessarinEngineV6::unitList(mgr);
        for (const auto& unit : units) {
            std::string c, v;
            mgr.splitCV(unit, c, v);
            TessarinEngineV6::isValidContinuantSymbol(unit);
        }
        PhoneticDictionary d;
        d.parseSymbolList(text);
        d.parseVowelList(text);
        d.parseVoicedConsonantList(text);
        std::string message;
        d.checkRepeats(message);
        d.checkCharacters(message);
        d.serialise();
        TessarinEngineV6::pitchTable({text});
        break;
    }
    case 3: {
        writeScratch("TSI", body, length);
        writeScratch("TSC", body, length);
        TessarinEngineV6::readBankIndex(scratchFolder());
        break;
    }
    default: {
        writeScratch("language.json", body, length);
        loadLanguage((scratchFolder() / "language.json").string());
        translate("It's high version project file, please update editor to use it");
        break;
    }
    }
    return 0;
}
