#pragma once

// Whether an entry may become part of the voice bank: a pre-check of its pitch name and symbol
// before any analysis, then a full check of its markers and of the voicing the analysis found
// between them. Every failure is recorded as a code with a one-line description of the entry.

#include "engine/CVVCMgr.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// The record the builder owns and the analysis operations fill.
struct TSSrcCheckResult {
    virtual ~TSSrcCheckResult() = default;
    bool ok = false;
    std::vector<std::string> messages;
    std::vector<std::int32_t> codes;
};

namespace TessarinEngineV6 {

class VoiceSrc;
class ContinuantSrc;

enum SourceCheckCode : std::int32_t {
    kCodeMarkersInvalid = 0,
    kCodeUnvoicedConsonant = 1,
    kCodeUnvoicedVowel = 2,
    kCodeUnvoicedContinuantStart = 3,
    kCodeSymbolInvalid = 4,
    kCodePitchInvalid = 5,
    kCodeUnvoicedBeforeVowel = 6,
    kCodeUnvoicedBeforeVoicedConsonant = 7,
    kCodeNoSource = -2,
};

// A to G, an optional "#" or "b", one digit.
bool isValidPitchName(std::string_view pitch);
// None of _ . \ / : * ? " < > | , ;
bool isValidVoiceSymbol(std::string_view symbol);
// None of the same but the underscore, and exactly two non-empty parts around one underscore.
bool isValidContinuantSymbol(std::string_view symbol);

class SourceChecker {
public:
    virtual ~SourceChecker() = default;

    void load(std::string_view dictionaryText) { dictionary.load(dictionaryText); }

    // source may be null (pre-check, or no analysed source).
    virtual bool checkVoiceSource(const std::string& symbol, const std::string& pitch, const VoiceSrc* source,
                                  bool preCheck);
    virtual bool checkContinuantSource(const std::string& symbol, const std::string& pitch,
                                       const ContinuantSrc* source, bool preCheck);

    CVVCMgr dictionary;
    std::vector<std::string> messages;
    std::vector<std::int32_t> codes;

private:
    bool fail(std::int32_t code, const std::string& description);
};

// What the checks of a unit read of the dictionary, as text: whether a voice unit is independent and
// whether its consonant is voiced; whether a continuant's second part is a voiced consonant or a
// vowel. Two dictionaries that give the same facts give the same check outcome for the same source.
// Keep it in step with checkVoiceSource and checkContinuantSource.
std::string checkFacts(const CVVCMgr& dictionary, const std::string& symbol, bool continuant);

// Every frame from first to last inclusive has f0 > 0; true when first > last. Frames outside the
// track count as unvoiced.
bool allVoiced(const float* f0, std::int64_t frameCount, std::int64_t first, std::int64_t last);

} // namespace TessarinEngineV6
