// lvtb render: a unit's voice model re-synthesised to a WAV file, so the author can hear what the
// analysis captured. The model comes from its model file, or from an entry of a project (its model
// file, or an analysis in memory when it has none).

#include "audio/AudioReader.h"
#include "audio/CWavBuf.h"
#include "audio/WavWriter.h"
#include "builder/BuildFiles.h"
#include "builder/ModelManifest.h"
#include "builder/VoiceBankBuilder.h"
#include "cli/Cli.h"
#include "cli/ProjectCommands.h"
#include "cli/RenderCommand.h"
#include "core/AnalysisRandom.h"
#include "engine/AnalysisPipeline.h"
#include "engine/ModelFile.h"
#include "engine/ModelRenderer.h"
#include "model/CTsVoiceCfgMgr.h"

#include <algorithm>
#include <filesystem>
#include <ostream>

namespace lvtb {

namespace {

namespace fs = std::filesystem;

constexpr std::string_view kUsage =
    "usage: lvtb render MODEL_FILE --out WAV\n"
    "       lvtb render FILE --entry KEY --out WAV\n"
    "\n"
    "Re-synthesises a unit's voice model (harmonics from the glottal pulse, its gain and the spectral\n"
    "envelope with the stored phases, plus the modelled noise) and writes it to WAV, 44100 Hz, 16 bit,\n"
    "mono (replaced atomically). Listen to it beside the recording to hear what the analysis kept.\n"
    "  MODEL_FILE    a model file PITCH.SYMBOL.LVModel from a model folder\n"
    "  FILE --entry  the entry KEY (pitch->symbol, as lvtb entries list shows it) of project FILE:\n"
    "                its model file in the project's model folder, or, when there is none, the\n"
    "                entry analysed in memory (said on stderr; nothing is written to the model folder)\n"
    "  --out WAV     refused (exit 2, nothing written) when it is the project, the model file or a\n"
    "                recording read, a voice.lvcfg, or a file of the model or voice bank folder\n"
    "Exit status: 0 written; 1 the entry cannot be analysed (its reason on stdout); 2 bad usage, a\n"
    "file that cannot be read, or a WAV that cannot be written.\n";

// Symbol and pitch from a model file's name; none when the name is not one.
std::optional<std::pair<std::string, std::string>> unitOfModelName(const std::string& name)
{
    constexpr std::string_view kSuffix = ".LVModel";
    const std::size_t dot = name.find('.');
    if (name.size() <= kSuffix.size() || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0 ||
        dot == std::string::npos || dot + kSuffix.size() >= name.size()) {
        return std::nullopt;
    }
    return std::make_pair(TSVM_V0::unescapeSymbol(name.substr(dot + 1, name.size() - kSuffix.size() - dot - 1)),
                          name.substr(0, dot));
}

// The WAV written must not take the place of anything render or a build reads or writes: the model
// file rendered, the project, a recording, any voice.lvcfg, a file of the model or voice bank folder.
// project is null for the MODEL_FILE form: no folder of a project is known, and in the model file's
// own folder only what a build keeps there (model files, the manifest, bank files) is refused, so a
// unit can still be heard from beside its model.
void refuseOutputOverInputs(const std::string& out, const std::string& modelFile, const std::string& projectFile,
                            const TSTBCurrentModel::CTsToolBoxProjModel* project)
{
    auto refuse = [&](const std::string& what) {
        throw UsageError{out + ": is " + what + "; the rendered WAV must not replace a file that render or a build "
                         "reads or writes"};
    };
    if (!modelFile.empty() && samePlace(out, modelFile)) {
        refuse("the model file rendered");
    }
    if (fs::path(out).filename() == "voice.lvcfg") {
        refuse("a voice configuration file");
    }
    if (project == nullptr) {
        const std::string name = fs::path(out).filename().string();
        const bool buildKeepsIt = unitOfModelName(name).has_value() || name == kModelManifestName || isBankFileName(name);
        if (buildKeepsIt && inFolder(out, fs::absolute(modelFile).parent_path().string())) {
            refuse("a file a build keeps in the model folder");
        }
        return;
    }
    if (const auto what = buildFileAt(out, projectFile, *project)) {
        refuse(*what);
    }
    if (insideFolder(out, project->modelFolder)) {
        refuse("a file of the model folder");
    }
    if (insideFolder(out, project->voiceBankFolder)) {
        refuse("a file of the voice bank folder");
    }
}

void writeOrFail(const std::string& out, const std::vector<std::int16_t>& samples)
{
    std::vector<float> scaled(samples.size());
    for (std::size_t i = 0; i < samples.size(); ++i) {
        scaled[i] = float(samples[i]) / 32767.0f; // the writer scales back by 32767 and rounds: exact
    }
    if (!TessarinEditor::writeWav16(out, scaled)) {
        throw UsageError{out + ": cannot be written"};
    }
}

int renderModelFile(const std::string& path, const std::string& out, bool checkOutput = true)
{
    if (checkOutput) {
        refuseOutputOverInputs(out, path, "", nullptr);
    }
    const auto unit = unitOfModelName(fs::path(path).filename().string());
    if (!unit) {
        throw UsageError{path + ": not a model file name (PITCH.SYMBOL.LVModel)"};
    }
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) {
        throw UsageError{path + ": no such model file"};
    }
    const bool continuant = unit->first.find('_') != std::string::npos;
    auto contents = TSVM_V0::readModelFile(
        path, continuant ? TSVM_V0::kContinuantMarkerCount : TSVM_V0::kVoiceMarkerCount);
    if (!contents || contents->model.f0.size() == 0) {
        throw UsageError{path + ": holds no frames to render"};
    }
    writeOrFail(out, renderModel(contents->model, unit->first, unit->second));
    return kExitOk;
}

int renderEntry(const std::string& project, const std::string& key, const std::string& out, Io& io)
{
    const LoadedProject loaded = loadResolvedOrFail(project);
    const auto& p = *loaded.model;
    // The entry a build would leave the model of: the last location that has the key.
    std::unique_ptr<CTsVoiceCfgMgr> holder;
    const CTsVoiceCfg* entry = nullptr;
    std::string location;
    for (const std::string& folder : p.wavLocations) {
        auto mgr = std::make_unique<CTsVoiceCfgMgr>();
        mgr->loadFolder(folder);
        if (const CTsVoiceCfg* e = mgr->findKey(key)) {
            entry = e;
            location = folder;
            holder = std::move(mgr);
        }
    }
    if (entry == nullptr) {
        throw UsageError{key + ": no such entry in the wav locations of " + project};
    }
    const std::string pitch = normalisePitch(entry->pitch);
    const fs::path model = TSVM_V0::modelFilePath(p.modelFolder, entry->symbol, pitch);
    const fs::path wavPath = fs::path(location) / entry->wavName;
    refuseOutputOverInputs(out, model.string(), project, &p);
    if (samePlace(out, wavPath)) {
        throw UsageError{out + ": is the recording of the entry " + key + "; the rendered WAV must not replace a file "
                         "that render or a build reads or writes"};
    }
    std::error_code ec;
    if (fs::is_regular_file(model, ec)) {
        return renderModelFile(model.string(), out, false);
    }

    io.err << "lvtb: " << model.string() << " does not exist; analysing " << key << " in memory\n";
    TessarinEditor::AudioFileInfo info;
    if (TessarinEditor::audioFileExtension(wavPath.native()) == "wav" && TessarinEditor::probeAudioFile(wavPath, info)) {
        noteTruncatedData(wavPath.string(), info, io);
    }
    TessarinEditor::CWavBuf wav;
    if (!TessarinEditor::readAudioFile(wavPath, wav)) {
        io.out << " wav reading error:" << wavPath.string() << '\n';
        return kExitProblems;
    }
    if (!TessarinEditor::passesFormatGate(wav, wavPath.string())) {
        io.out << " format error:" << wavPath.string() << '\n';
        return kExitProblems;
    }
    const Tessarin::FastVector<float> samples = TessarinEditor::cutRegion(entry->startTime, entry->endTime, wav);
    if (samples.size() == 0 || entry->kind() == CTsVoiceCfg::kNoKind) {
        io.out << " Marker error!\n";
        return kExitProblems;
    }
    TSVM_V0::TsVoiceModel analysed(512, 44100.0f);
    TessarinEngineV6::AnalysisSettings settings;
    Tessarin::AnalysisRandom random = Tessarin::AnalysisRandom::forUnit(entry->symbol, pitch);
    TessarinEngineV6::analyse(settings, samples.span(), analysed, entry->kind() == CTsVoiceCfg::kINDIE, random);
    writeOrFail(out, renderModel(analysed, entry->symbol, pitch));
    return kExitOk;
}

int runRender(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {"--out", "--entry"});
    args.expectPositional(1, "MODEL_FILE or FILE --entry KEY");
    const auto out = args.option("--out");
    if (!out || out->empty()) {
        throw UsageError{"--out WAV is required"};
    }
    if (const auto key = args.option("--entry")) {
        return renderEntry(args.positional(0), *key, *out, io);
    }
    return renderModelFile(args.positional(0), *out);
}

} // namespace

std::vector<std::int16_t> renderModel(TSVM_V0::TsVoiceModel& model, const std::string& symbol, const std::string& pitch)
{
    // A model file keeps no harmonic peaks; the renderer takes each frame's harmonic count from them,
    // and the file keeps that count as the length of the frame's harmonic phases.
    if (model.peaks.frameCount() < model.f0.size()) {
        model.peaks.clear();
        Tessarin::FrameMags phases;
        for (std::uint32_t i = 0; i < model.f0.size(); ++i) {
            Tessarin::HarmonicFrame& frame = model.peaks.addFrame();
            model.harmonicPhase.getFrame(std::int32_t(i), phases);
            for (std::uint32_t k = 1; k <= phases.size(); ++k) {
                Tessarin::PeakTracks::appendPoint(frame, float(k) * model.f0[i], 0.0f, 0.0f);
            }
        }
    }
    const std::uint32_t sampleCount =
        model.samples.size() > 0 ? model.samples.size() : model.f0.size() * std::uint32_t(std::max(model.hop, 1));
    Tessarin::AnalysisRandom random = Tessarin::AnalysisRandom::forUnit(symbol, pitch);
    TessarinEngineV6::ModelRenderer renderer;
    return renderer.render(model, sampleCount, random);
}

Command renderCommand()
{
    return {"render", "re-synthesises a unit's voice model to a WAV file", std::string(kUsage), runRender};
}

} // namespace lvtb
