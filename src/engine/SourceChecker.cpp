#include "engine/SourceChecker.h"

#include "core/PitchName.h"
#include "engine/VoiceSources.h"

namespace TessarinEngineV6 {

namespace {

constexpr std::string_view kForbiddenInVoice = "_.\\/:*?\"<>|,;";
constexpr std::string_view kForbiddenInContinuant = ".\\/:*?\"<>|,;";

bool containsAny(std::string_view text, std::string_view characters)
{
    return text.find_first_of(characters) != std::string_view::npos;
}

std::string description(std::string_view type, const std::string& pitch, const std::string& symbol)
{
    return "type=" + std::string(type) + "  pitch=" + pitch + "  symbol= " + symbol;
}

} // namespace

bool isValidPitchName(std::string_view pitch)
{
    return Tessarin::parsePitchName(pitch).has_value();
}

bool isValidVoiceSymbol(std::string_view symbol)
{
    return !containsAny(symbol, kForbiddenInVoice);
}

bool isValidContinuantSymbol(std::string_view symbol)
{
    if (containsAny(symbol, kForbiddenInContinuant)) {
        return false;
    }
    const std::vector<std::string> parts = splitItems(symbol, '_');
    return parts.size() == 2 && !parts[0].empty() && !parts[1].empty();
}

bool allVoiced(const float* f0, std::int64_t frameCount, std::int64_t first, std::int64_t last)
{
    for (std::int64_t k = first; k <= last; ++k) {
        if (k < 0 || k >= frameCount || !(f0[k] > 0.0f)) {
            return false;
        }
    }
    return true;
}

bool SourceChecker::fail(std::int32_t code, const std::string& line)
{
    messages.push_back(line);
    codes.push_back(code);
    return false;
}

bool SourceChecker::voiced(const float* f0, std::int64_t frameCount, std::int64_t first, std::int64_t last,
                           std::int32_t code)
{
    tested.push_back({first, last, code});
    return allVoiced(f0, frameCount, first, last);
}

bool SourceChecker::checkVoiceSource(const std::string& symbol, const std::string& pitch, const VoiceSrc* source,
                                     bool preCheck)
{
    const bool independent = dictionary.isIndependent(symbol);
    const std::string line = description(independent ? "INDIE" : "CV", pitch, symbol);
    if (!isValidPitchName(pitch)) {
        return fail(kCodePitchInvalid, line);
    }
    if (!isValidVoiceSymbol(symbol)) {
        return fail(kCodeSymbolInvalid, line);
    }
    if (preCheck) {
        return true;
    }
    if (source == nullptr || !source->material) {
        return fail(kCodeNoSource, line);
    }
    const auto& p = source->p;
    const float* f0 = source->material->f0.data();
    const std::int64_t n = source->material->f0.size();
    // Sums in 64 bits: markers read from a file may be anything.
    const std::int64_t end = std::int64_t(p[3]) + p[4];
    if (independent) {
        if (0 <= p[0] && p[0] < end && n >= end) {
            return true;
        }
        return fail(kCodeMarkersInvalid, line);
    }
    if (!(0 <= p[0] && p[0] < p[1] && p[1] < p[2] && p[2] < p[3] && n >= end)) {
        return fail(kCodeMarkersInvalid, line);
    }
    std::string consonant;
    std::string vowel;
    dictionary.splitCV(symbol, consonant, vowel);
    if (dictionary.isVoicedConsonant(consonant) && symbol.rfind('-', 0) != 0 &&
        !voiced(f0, n, p[0], std::int64_t(p[0]) + 1, kCodeUnvoicedConsonant)) {
        return fail(kCodeUnvoicedConsonant, line);
    }
    if (voiced(f0, n, p[2], p[3], kCodeUnvoicedVowel)) {
        return true;
    }
    return fail(kCodeUnvoicedVowel, line);
}

bool SourceChecker::checkContinuantSource(const std::string& symbol, const std::string& pitch,
                                          const ContinuantSrc* source, bool preCheck)
{
    const std::string line = description("VX", pitch, symbol);
    if (!isValidPitchName(pitch)) {
        return fail(kCodePitchInvalid, line);
    }
    if (!isValidContinuantSymbol(symbol)) {
        return fail(kCodeSymbolInvalid, line);
    }
    if (preCheck) {
        return true;
    }
    if (source == nullptr || !source->material) {
        return fail(kCodeNoSource, line);
    }
    const auto& q = source->q;
    const float* f0 = source->material->f0.data();
    const std::int64_t n = source->material->f0.size();
    if (q[0] < 0 || n < std::int64_t(q[0]) + q[1]) {
        return fail(kCodeMarkersInvalid, line);
    }
    if (!voiced(f0, n, q[0], std::int64_t(q[0]) + 1, kCodeUnvoicedContinuantStart)) {
        return fail(kCodeUnvoicedContinuantStart, line);
    }
    const std::vector<std::string> parts = splitItems(symbol, '_');
    if (parts.size() == 2) {
        const std::string& next = parts[1];
        const std::int64_t last = std::int64_t(q[0]) + q[1] - 1;
        bool selfMapped = false;
        if (dictionary.isVoicedConsonant(next) && !voiced(f0, n, q[0], last, kCodeUnvoicedBeforeVoicedConsonant)) {
            return fail(kCodeUnvoicedBeforeVoicedConsonant, line);
        }
        if (dictionary.isVowel(next, selfMapped) && !voiced(f0, n, q[0], last, kCodeUnvoicedBeforeVowel)) {
            return fail(kCodeUnvoicedBeforeVowel, line);
        }
    }
    return true;
}

std::string checkFacts(const CVVCMgr& dictionary, const std::string& symbol, bool continuant)
{
    std::string facts;
    const auto flag = [&facts](bool value) { facts += value ? '1' : '0'; };
    if (!continuant) {
        std::string consonant;
        std::string vowel;
        dictionary.splitCV(symbol, consonant, vowel);
        flag(dictionary.isIndependent(symbol));
        flag(dictionary.isVoicedConsonant(consonant));
        return facts;
    }
    const std::vector<std::string> parts = splitItems(symbol, '_');
    flag(parts.size() == 2);
    if (parts.size() == 2) {
        bool selfMapped = false;
        flag(dictionary.isVoicedConsonant(parts[1]));
        flag(dictionary.isVowel(parts[1], selfMapped));
    }
    return facts;
}

} // namespace TessarinEngineV6
