#pragma once

// The analysed form of one voice configuration entry: its symbol and pitch, its markers as analysis
// frames, and the compact model of its samples. The three operations through which the builder
// hands an entry to the engine live here: analyse a voiced unit (CV and INDIE entries), analyse a
// continuant (VC entries), and ask whether a unit's model file exists.

#include "engine/AnalysisPipeline.h"
#include "engine/SourceChecker.h"
#include "engine/VoiceModel.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace TessarinEngineV6 {

// Marker time [s] to frame: t · 44100 · 0.0078125, truncated.
std::int32_t frameOfTime(float seconds);
// A length between two times in frames, the difference multiplied the same way and truncated.
std::int32_t framesBetween(float from, float to);

class SrcMaterial : public TSVM_V0::TsVoiceModelCompact {
public:
    SrcMaterial(std::string symbol, std::string pitch)
        : TsVoiceModelCompact(44100.0f), symbol(std::move(symbol)), pitch(std::move(pitch))
    {
    }
    std::string symbol;
    std::string pitch;
};

class SrcParameter {
public:
    SrcParameter(std::string symbol, std::string pitch) : symbol(std::move(symbol)), pitch(std::move(pitch)) {}
    virtual ~SrcParameter() = default;

    std::string symbol;
    std::string pitch;
    std::array<std::int32_t, 8> p{0, 0, 0, 0, 0, 0, -1, -1}; // p0 … p7
};

class VoiceSrc : public SrcParameter {
public:
    using SrcParameter::SrcParameter;
    std::unique_ptr<SrcMaterial> material;
};

class SrcContinuantParameter {
public:
    SrcContinuantParameter(std::string symbol, std::string pitch) : symbol(std::move(symbol)), pitch(std::move(pitch)) {}
    virtual ~SrcContinuantParameter() = default;

    std::string symbol;
    std::string pitch;
    std::array<std::int32_t, 7> q{-1, -1, -1, -1, -2, -3, -4}; // q0 … q6
};

class ContinuantSrc : public SrcContinuantParameter {
public:
    using SrcContinuantParameter::SrcContinuantParameter;
    std::unique_ptr<SrcMaterial> material;
};

// times: connect point, preutterance, vowel start, vowel end, tail (CV) or the start and four times
// the end (INDIE), in seconds from the clip start. Writes the model file when every check passes.
// scratch: the worker's analysis buffers, kept from unit to unit (a fresh set when null).
void analyseVoiceUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                      const std::filesystem::path& outputDir, const std::string& symbol, const std::string& pitch,
                      float t0, float t1, float t2, float t3, float t4, bool independent, const F0Stage& f0Stage,
                      AnalysisScratch* scratch = nullptr);

void analyseContinuantUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                           const std::filesystem::path& outputDir, const std::string& symbol,
                           const std::string& pitch, float t0, float t1, const F0Stage& f0Stage,
                           AnalysisScratch* scratch = nullptr);

// What a check looked at: the f0 track of the unit's samples (one value per 128-sample frame, 0 =
// unvoiced; empty when the pre-check stopped it) and the voicing tests it made, in frames of that
// track.
struct CheckTrace {
    std::vector<float> f0; // [Hz]
    std::vector<VoicingTest> tested;
};

// The same checks with the same findings, from only what they read of the analysis (the f0 track):
// no model file is written. For telling an author what a build would refuse, without building.
// trace, when given, receives what the check looked at.
void checkVoiceUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                    const std::string& symbol, const std::string& pitch, float t0, float t1, float t2, float t3,
                    float t4, bool independent, const F0Stage& f0Stage, CheckTrace* trace = nullptr);
void checkContinuantUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                         const std::string& symbol, const std::string& pitch, float t0, float t1,
                         const F0Stage& f0Stage, CheckTrace* trace = nullptr);

bool modelExists(const std::filesystem::path& outputDir, std::string_view symbol, std::string_view pitch);

// A source rebuilt from its model file (markers and material from the file); null when the file
// cannot be opened.
std::unique_ptr<VoiceSrc> loadVoiceSource(const std::filesystem::path& outputDir, const std::string& symbol,
                                          const std::string& pitch);
std::unique_ptr<ContinuantSrc> loadContinuantSource(const std::filesystem::path& outputDir, const std::string& symbol,
                                                    const std::string& pitch);

// The same sources with only what the checks look at (markers and the f0 track in the material),
// read without decoding the rest of the file: for checking many models quickly. A check of one of
// these gives the same outcome as a check of the fully loaded source.
std::unique_ptr<VoiceSrc> loadVoiceSourceForCheck(const std::filesystem::path& outputDir, const std::string& symbol,
                                                  const std::string& pitch);
std::unique_ptr<ContinuantSrc> loadContinuantSourceForCheck(const std::filesystem::path& outputDir,
                                                            const std::string& symbol, const std::string& pitch);

} // namespace TessarinEngineV6
