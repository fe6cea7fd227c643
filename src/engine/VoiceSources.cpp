#include "engine/VoiceSources.h"

#include "engine/ModelFile.h"

#include <cmath>

namespace TessarinEngineV6 {

using TSVM_V0::TsVoiceModel;

namespace {

constexpr double kFramesPerSample = 0.0078125; // one frame per 128-sample hop

std::int32_t toFrames(float seconds)
{
    const double frames = double(seconds * 44100.0f) * kFramesPerSample;
    if (!(frames > -2147483648.0 && frames < 2147483647.0)) {
        return frames > 0.0 ? INT32_MAX : INT32_MIN; // NaN lands here too, and fails every marker check
    }
    return static_cast<std::int32_t>(frames);
}

std::unique_ptr<SrcMaterial> analyseInto(std::span<const float> samples, bool independent, const std::string& symbol,
                                         const std::string& pitch, const F0Stage& f0Stage, AnalysisScratch* scratch)
{
    TsVoiceModel model(512, 44100.0f);
    const AnalysisSettings settings;
    Tessarin::AnalysisRandom random = Tessarin::AnalysisRandom::forUnit(symbol, pitch);
    if (scratch != nullptr) {
        analyse(settings, samples, model, independent, random, f0Stage, *scratch);
    } else {
        analyse(settings, samples, model, independent, random, f0Stage);
    }
    auto material = std::make_unique<SrcMaterial>(symbol, pitch);
    TSVM_V0::toCompact(model, *material);
    if (scratch != nullptr) {
        scratch->reclaim(model);
    }
    return material;
}

// A unit whose model cannot be written is not a success: it is reported with the code of a file that
// cannot be created, instead of passing now and turning up missing when the bank is assembled.
bool reportUnwritten(SourceChecker& checker, const std::string& description)
{
    checker.messages.push_back(description);
    checker.codes.push_back(-1);
    return false;
}

void copyFindings(const SourceChecker& checker, TSSrcCheckResult& result)
{
    result.messages = checker.messages;
    result.codes = checker.codes;
}

void traceCheck(const SourceChecker& checker, const SrcMaterial* material, CheckTrace* trace)
{
    if (trace == nullptr) {
        return;
    }
    trace->tested = checker.tested;
    trace->f0.clear();
    if (material != nullptr) {
        trace->f0.assign(material->f0.begin(), material->f0.end());
    }
}

} // namespace

std::int32_t frameOfTime(float seconds)
{
    return toFrames(seconds);
}

std::int32_t framesBetween(float from, float to)
{
    return toFrames(to - from);
}

namespace {

// What the checks of a unit read of its analysis: the f0 track alone, as the whole analysis finds it.
std::unique_ptr<SrcMaterial> trackOnly(std::span<const float> samples, bool independent, const std::string& symbol,
                                       const std::string& pitch, const F0Stage& f0Stage)
{
    auto material = std::make_unique<SrcMaterial>(symbol, pitch);
    trackF0(AnalysisSettings{}, samples, independent, f0Stage, material->f0);
    return material;
}

// One voiced unit: the pre-check, then the analysis and the full check, then its model file. With
// no output folder the analysis stops at what the checks read and nothing is written.
void voiceUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
               const std::filesystem::path* outputDir, const std::string& symbol, const std::string& pitch,
               float t0, float t1, float t2, float t3, float t4, bool independent, const F0Stage& f0Stage,
               AnalysisScratch* scratch, CheckTrace* trace = nullptr)
{
    SourceChecker checker;
    checker.load(dictionary);
    VoiceSrc source(symbol, pitch);
    source.p[0] = frameOfTime(t0);
    source.p[1] = frameOfTime(t1);
    source.p[2] = frameOfTime(t2);
    source.p[3] = frameOfTime(t3);
    source.p[4] = framesBetween(t3, t4);

    if (!checker.checkVoiceSource(symbol, pitch, nullptr, true)) {
        result.ok = false;
    } else {
        source.material = outputDir != nullptr ? analyseInto(samples, independent, symbol, pitch, f0Stage, scratch)
                                               : trackOnly(samples, independent, symbol, pitch, f0Stage);
        result.ok = checker.checkVoiceSource(symbol, pitch, &source, false);
        if (result.ok && outputDir != nullptr) {
            source.material->packedPeaks.clear(); // the model file carries no harmonic peaks
            if (!TSVM_V0::writeModelFile(source.p, *source.material, *outputDir, symbol, pitch)) {
                const char* type = checker.dictionary.isIndependent(symbol) ? "type=INDIE  pitch=" : "type=CV  pitch=";
                result.ok = reportUnwritten(checker, type + pitch + "  symbol= " + symbol);
            }
        }
    }
    copyFindings(checker, result);
    traceCheck(checker, source.material.get(), trace);
}

void continuantUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                    const std::filesystem::path* outputDir, const std::string& symbol, const std::string& pitch,
                    float t0, float t1, const F0Stage& f0Stage, AnalysisScratch* scratch, CheckTrace* trace = nullptr)
{
    ContinuantSrc source(symbol, pitch);
    SourceChecker checker;
    checker.load(dictionary);
    if (!checker.checkContinuantSource(symbol, pitch, nullptr, true)) {
        result.ok = false;
    } else {
        source.material = outputDir != nullptr ? analyseInto(samples, false, symbol, pitch, f0Stage, scratch)
                                               : trackOnly(samples, false, symbol, pitch, f0Stage);
        source.q[0] = frameOfTime(t0);
        source.q[1] = framesBetween(t0, t1);
        result.ok = checker.checkContinuantSource(symbol, pitch, &source, false);
        if (result.ok && outputDir != nullptr) {
            source.material->packedPeaks.clear();
            if (!TSVM_V0::writeModelFile(source.q, *source.material, *outputDir, symbol, pitch)) {
                result.ok = reportUnwritten(checker, "type=VX  pitch=" + pitch + "  symbol= " + symbol);
            }
        }
    }
    copyFindings(checker, result);
    traceCheck(checker, source.material.get(), trace);
}

} // namespace

void analyseVoiceUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                      const std::filesystem::path& outputDir, const std::string& symbol, const std::string& pitch,
                      float t0, float t1, float t2, float t3, float t4, bool independent, const F0Stage& f0Stage,
                      AnalysisScratch* scratch)
{
    voiceUnit(dictionary, samples, result, &outputDir, symbol, pitch, t0, t1, t2, t3, t4, independent, f0Stage,
              scratch);
}

void analyseContinuantUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                           const std::filesystem::path& outputDir, const std::string& symbol,
                           const std::string& pitch, float t0, float t1, const F0Stage& f0Stage,
                           AnalysisScratch* scratch)
{
    continuantUnit(dictionary, samples, result, &outputDir, symbol, pitch, t0, t1, f0Stage, scratch);
}

void checkVoiceUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                    const std::string& symbol, const std::string& pitch, float t0, float t1, float t2, float t3,
                    float t4, bool independent, const F0Stage& f0Stage, CheckTrace* trace)
{
    voiceUnit(dictionary, samples, result, nullptr, symbol, pitch, t0, t1, t2, t3, t4, independent, f0Stage, nullptr,
              trace);
}

void checkContinuantUnit(std::string_view dictionary, std::span<const float> samples, TSSrcCheckResult& result,
                         const std::string& symbol, const std::string& pitch, float t0, float t1,
                         const F0Stage& f0Stage, CheckTrace* trace)
{
    continuantUnit(dictionary, samples, result, nullptr, symbol, pitch, t0, t1, f0Stage, nullptr, trace);
}

bool modelExists(const std::filesystem::path& outputDir, std::string_view symbol, std::string_view pitch)
{
    std::error_code ec;
    return std::filesystem::exists(TSVM_V0::modelFilePath(outputDir, symbol, pitch), ec);
}

namespace {

template <class Source, std::size_t N>
std::unique_ptr<Source> loadSource(const std::filesystem::path& outputDir, const std::string& symbol,
                                   const std::string& pitch, std::array<std::int32_t, N>& (*markersOf)(Source&))
{
    auto contents = TSVM_V0::readModelFile(TSVM_V0::modelFilePath(outputDir, symbol, pitch), int(N));
    if (!contents) {
        return nullptr;
    }
    auto source = std::make_unique<Source>(symbol, pitch);
    auto& markers = markersOf(*source);
    for (std::size_t i = 0; i < N && i < contents->markers.size(); ++i) {
        markers[i] = contents->markers[i];
    }
    source->material = std::make_unique<SrcMaterial>(symbol, pitch);
    TSVM_V0::toCompact(contents->model, *source->material);
    return source;
}

std::array<std::int32_t, 8>& voiceMarkers(VoiceSrc& s) { return s.p; }
std::array<std::int32_t, 7>& continuantMarkers(ContinuantSrc& s) { return s.q; }

template <class Source, std::size_t N>
std::unique_ptr<Source> loadSourceForCheck(const std::filesystem::path& outputDir, const std::string& symbol,
                                           const std::string& pitch, std::array<std::int32_t, N>& (*markersOf)(Source&))
{
    TSVM_V0::ModelCheckFields fields;
    switch (TSVM_V0::readModelCheckFields(TSVM_V0::modelFilePath(outputDir, symbol, pitch), int(N), fields)) {
    case TSVM_V0::CheckFieldsRead::CannotOpen:
        return nullptr;
    case TSVM_V0::CheckFieldsRead::NeedsFullRead:
        return loadSource<Source, N>(outputDir, symbol, pitch, markersOf);
    case TSVM_V0::CheckFieldsRead::Read:
        break;
    }
    auto source = std::make_unique<Source>(symbol, pitch);
    auto& markers = markersOf(*source);
    for (std::size_t i = 0; i < N && i < fields.markers.size(); ++i) {
        markers[i] = fields.markers[i];
    }
    source->material = std::make_unique<SrcMaterial>(symbol, pitch);
    source->material->f0.append(fields.f0.data(), std::uint32_t(fields.f0.size()));
    return source;
}

} // namespace

std::unique_ptr<VoiceSrc> loadVoiceSource(const std::filesystem::path& outputDir, const std::string& symbol,
                                          const std::string& pitch)
{
    return loadSource<VoiceSrc, 8>(outputDir, symbol, pitch, &voiceMarkers);
}

std::unique_ptr<ContinuantSrc> loadContinuantSource(const std::filesystem::path& outputDir, const std::string& symbol,
                                                    const std::string& pitch)
{
    return loadSource<ContinuantSrc, 7>(outputDir, symbol, pitch, &continuantMarkers);
}

std::unique_ptr<VoiceSrc> loadVoiceSourceForCheck(const std::filesystem::path& outputDir, const std::string& symbol,
                                                  const std::string& pitch)
{
    return loadSourceForCheck<VoiceSrc, 8>(outputDir, symbol, pitch, &voiceMarkers);
}

std::unique_ptr<ContinuantSrc> loadContinuantSourceForCheck(const std::filesystem::path& outputDir,
                                                            const std::string& symbol, const std::string& pitch)
{
    return loadSourceForCheck<ContinuantSrc, 7>(outputDir, symbol, pitch, &continuantMarkers);
}

} // namespace TessarinEngineV6
