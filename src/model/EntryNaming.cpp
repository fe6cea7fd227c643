#include "model/EntryNaming.h"

#include <algorithm>
#include <array>
#include <vector>

namespace {

constexpr std::array<float, 4> kCvFractions{0.2f, 0.3f, 0.7f, 0.8f};
constexpr std::array<float, 2> kTwoMarkerFractions{0.2f, 0.5f};

bool contains(const std::vector<std::string>& list, std::string_view symbol)
{
    return std::find(list.begin(), list.end(), symbol) != list.end();
}

bool isSyllable(const PhoneticDictionary& d, std::string_view symbol)
{
    return std::any_of(d.syllables.begin(), d.syllables.end(), [symbol](const auto& s) { return s[0] == symbol; });
}

bool isVowel(const PhoneticDictionary& d, std::string_view symbol)
{
    return std::any_of(d.vowels.begin(), d.vowels.end(), [symbol](const auto& v) { return v.first == symbol; });
}

// What may follow a vowel and "_" in a VX unit.
bool isVxEnding(const PhoneticDictionary& d, std::string_view ending)
{
    return ending == "-" || contains(d.voicedConsonants, ending) || contains(d.unvoicedConsonants, ending) ||
           isVowel(d, ending) || contains(d.tails, ending);
}

} // namespace

bool isWavFileName(std::string_view fileName)
{
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos || fileName.size() - dot != 4) {
        return false;
    }
    std::string ext(fileName.substr(dot + 1));
    std::transform(ext.begin(), ext.end(), ext.begin(), [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; });
    return ext == "wav";
}

std::optional<EntryName> entryNameFromWav(std::string_view fileName, std::string_view pitch,
                                          const PhoneticDictionary& dictionary)
{
    std::string_view stem = fileName.substr(0, std::min(fileName.rfind('.'), fileName.size()));
    if (!pitch.empty() && stem.size() > pitch.size() + 1 && stem.substr(0, pitch.size()) == pitch &&
        stem[pitch.size()] == '_') {
        stem.remove_prefix(pitch.size() + 1);
    }
    if (stem.empty()) {
        return std::nullopt;
    }
    const std::string symbol(stem);
    if (isSyllable(dictionary, stem) || (stem.size() > 1 && stem[0] == '-' && isSyllable(dictionary, stem.substr(1)))) {
        return EntryName{"CV", symbol};
    }
    // Symbols cannot hold "_" (the dictionary check refuses it), so the first one splits.
    if (const std::size_t underscore = stem.find('_'); underscore != std::string_view::npos) {
        if (isVowel(dictionary, stem.substr(0, underscore)) && isVxEnding(dictionary, stem.substr(underscore + 1))) {
            return EntryName{"VX", symbol};
        }
    }
    if (dictionary.isIndependent(stem)) {
        return EntryName{"INDIE", symbol};
    }
    return std::nullopt;
}

std::span<const float> defaultMarkerFractions(int kind)
{
    switch (kind) {
    case CTsVoiceCfg::kCV: return kCvFractions;
    case CTsVoiceCfg::kVX:
    case CTsVoiceCfg::kINDIE: return kTwoMarkerFractions;
    default: return {};
    }
}

void placeDefaultMarkers(CTsVoiceCfg& entry, float durationSec)
{
    const std::span<const float> f = defaultMarkerFractions(entry.kind());
    // The editor holds marker positions as floats: fraction × duration in single precision.
    const auto at = [&f, durationSec](std::size_t i) { return double(f[i] * durationSec); };
    if (auto* cv = dynamic_cast<CTsVoiceCfg_CV*>(&entry)) {
        cv->connectPoint = at(0);
        cv->preutterance = at(1);
        cv->vowelStart = at(2);
        cv->vowelEnd = at(3);
    } else if (auto* vx = dynamic_cast<CTsVoiceCfg_VC*>(&entry)) {
        vx->connectPoint = at(0);
        vx->tailPoint = at(1);
    } else if (auto* indie = dynamic_cast<CTsVoiceCfg_INDIE*>(&entry)) {
        indie->startPoint = at(0);
        indie->endPoint = at(1);
    }
}
