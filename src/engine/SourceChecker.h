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

// One voicing test of a full check: frames first to last of the f0 track, both included, and the
// code recorded when one of them is unvoiced.
struct VoicingTest {
    std::int64_t first = 0;
    std::int64_t last = 0;
    std::int32_t code = 0;
    friend bool operator==(const VoicingTest&, const VoicingTest&) = default;
};

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
    // Every voicing test the full checks made, in order, the failing one included (for showing an
    // author which frames a check looked at).
    std::vector<VoicingTest> tested;

private:
    bool fail(std::int32_t code, const std::string& description);
    // allVoiced over first … last, recorded in tested.
    bool voiced(const float* f0, std::int64_t frameCount, std::int64_t first, std::int64_t last, std::int32_t code);
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
