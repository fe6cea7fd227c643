// lvtb build-models, build-bank, build and demo: the build panel's two commands on the command line,
// with the progress dialog's text on stdout (and in the log file), and the demo project.

#include "builder/BuildFiles.h"
#include "builder/BuildTextRenderer.h"
#include "builder/ModelManifest.h"
#include "builder/VoiceBankBuilder.h"
#include "cli/Cli.h"
#include "cli/ProjectCommands.h"
#include "cli/RenderCommand.h"
#include "audio/WavWriter.h"
#include "engine/ModelFile.h"
#include "core/AtomicFile.h"
#include "demo/DemoSinger.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/PhoneticDictionary.h"
#include "model/TextSplit.h"

#include <chrono>
#include <set>
#include <sstream>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <ostream>
#include <thread>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lvtb {

namespace {

constexpr std::string_view kBuildModelsUsage =
    "usage: lvtb build-models FILE [--symbols LIST] [--overwrite | --incremental] [--jobs N] [--log LOG]\n"
    "\n"
    "\"Build models\" with the project's settings: every selected entry of the wav locations is cut\n"
    "out of its recording, analysed, checked, and written as one model file PITCH.SYMBOL.LVModel\n"
    "into the model folder (created when missing). Every build records what each model file it\n"
    "wrote was built from in the model folder's build-models.manifest.\n"
    "\n"
    "  --symbols LIST  build only the entries of these symbols, in this order; LIST is read as the\n"
    "                  build panel reads it (line breaks and spaces removed, split at \",\"); an\n"
    "                  empty LIST means every entry. Without it the project decides: allSymbols 1\n"
    "                  builds every entry, 0 the symbols of modelSymbols\n"
    "  --overwrite     analyse entries whose model file exists too (they are skipped otherwise,\n"
    "                  reported \"OK  >  Model already exists\")\n"
    "  --incremental   analyse only the entries whose inputs changed since their model file was\n"
    "                  last built (recording, markers, symbol, pitch, what the checks read of the\n"
    "                  dictionary, the program's analysis version), by the manifest in the model\n"
    "                  folder; the others are reported\n"
    "                  \"OK  >  Model up to date, skipped\". The model files are the same as after\n"
    "                  --overwrite; without a usable manifest every entry is analysed\n"
    "  --jobs N        analyse N entries at once, N from 1 to 256 (default: the number of\n"
    "                  processors); the files and the text are the same for every N\n"
    "  --log LOG       write the build text to LOG as well\n"
    "\n"
    "stdout gets the build text as the progress dialog shows it (CR LF line ends); a progress bar\n"
    "runs on stderr when it is a terminal. Before building, the build panel's checks run: empty\n"
    "symbol, vowel or consonant lists, then the dictionary check (lvtb check-dict). Relative folders\n"
    "of the project are taken from the folder that holds FILE.\n"
    "Exit status: 0 every entry built; 1 a check failed or an entry was reported with an error;\n"
    "2 bad usage or a project that cannot be read.\n";

constexpr std::string_view kBuildBankUsage =
    "usage: lvtb build-bank FILE [--log LOG]\n"
    "\n"
    "\"Build voice bank\" with the project's settings: for every pitch of the pitch list, every unit\n"
    "the dictionary implies is read back from its model file, checked again, and written into TSI\n"
    "(the index) and TSC (the content, continued in TSC_1, TSC_2, ... past 1700 MiB) in the voice bank\n"
    "folder (created when missing), with voice.tssd. Units without a model are listed at the end\n"
    "(\"Model file not exists.\"); lvtb coverage shows what is missing before you build.\n"
    "  --log LOG   write the build text to LOG as well\n"
    "Exit status: 0 the bank is complete; 1 a check failed or a unit is missing or failing; 2 bad\n"
    "usage or a project that cannot be read.\n";

constexpr std::string_view kBuildUsage =
    "usage: lvtb build FILE [--symbols LIST] [--overwrite | --incremental] [--jobs N] [--log LOG]\n"
    "\n"
    "build-models, then build-bank, with the options of both (lvtb build-models --help): the two\n"
    "texts go to stdout and LOG one after the other, separated by a line end.\n"
    "  --jobs N   analyse N entries at once, N from 1 to 256 (default: the number of processors)\n"
    "Exit 1 when either build reports an error.\n";

constexpr std::string_view kDemoUsage =
    "usage: lvtb demo [--out DIR] [--jobs N] [--force]\n"
    "\n"
    "Writes a demo project of synthetic sung samples into DIR (default ./lvtb-demo): recordings in\n"
    "DIR/wav/<pitch>/ with their voice.lvcfg, and DIR/demo.lvtb, whose folders are stored relative to\n"
    "DIR (wav/C4, models, bank), so the folder can be moved or copied. Then builds its models and\n"
    "its voice bank (logs build-models.log and build-bank.log), writes DIR/listen/ with the recording\n"
    "of one unit and its model re-synthesised, and prints a summary.\n"
    "  --jobs N   analyse N entries at once, N from 1 to 256 (default: the number of processors)\n"
    "  --force    write over the demo's files in a DIR that is not empty (refused otherwise)\n"
    "Exit 0 only when both builds ran clean.\n";

// Where the build text goes: stdout, flushed at every piece, and the log file, written whole and
// atomically when the build ends (a log is never left half written, and a failed write is reported).
class TextOutput {
public:
    TextOutput(std::ostream& out, std::optional<std::string> logPath) : m_out(out), m_logPath(std::move(logPath)) {}
    void operator()(std::string_view piece)
    {
        m_out << piece;
        m_out.flush();
        if (!piece.empty()) {
            m_endsLine = piece.back() == '\n';
        }
        if (m_logPath) {
            m_log += piece;
        }
    }
    // Writes the log; a log that cannot be written is a usage error (exit 2).
    void finish()
    {
        if (!m_logPath) {
            return;
        }
        std::error_code error;
        const bool written = isStream(*m_logPath) ? writeInPlace(*m_logPath, m_log, error)
                                                  : Tessarin::writeFileAtomically(*m_logPath, m_log, &error);
        if (!written) {
            throw UsageError{*m_logPath + ": cannot write the log file (" + error.message() + ")"};
        }
    }
    // The build text ends without a line end; a shell prompt should not follow it on its line.
    void closeLineOnTerminal(bool terminal)
    {
        if (terminal && !m_endsLine) {
            m_out << "\r\n";
            m_out.flush();
        }
    }

private:
    // A device or a FIFO named as the log (/dev/null, /dev/stderr, a pipe) is written into, not
    // replaced.
    static bool isStream(const std::string& path)
    {
        struct stat st {};
        return ::stat(path.c_str(), &st) == 0 && (S_ISCHR(st.st_mode) || S_ISFIFO(st.st_mode));
    }
    static bool writeInPlace(const std::string& path, std::string_view bytes, std::error_code& error)
    {
        // Non-blocking open: a FIFO nobody reads fails at once instead of waiting.
        const int fd = ::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
        if (fd < 0) {
            error = std::error_code(errno, std::generic_category());
            return false;
        }
        const int flags = ::fcntl(fd, F_GETFL);
        ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
        while (!bytes.empty()) {
            const ssize_t n = ::write(fd, bytes.data(), bytes.size());
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n <= 0) {
                error = std::error_code(n < 0 ? errno : EIO, std::generic_category());
                ::close(fd);
                return false;
            }
            bytes.remove_prefix(std::size_t(n));
        }
        if (::close(fd) != 0) {
            error = std::error_code(errno, std::generic_category());
            return false;
        }
        return true;
    }

    std::ostream& m_out;
    std::optional<std::string> m_logPath;
    std::string m_log;
    bool m_endsLine = true;
};

// A log written over the project, a voice.lvcfg, a recording, a model or a bank file would destroy
// what the build reads or writes: such a LOG is refused before anything happens.
void refuseLogOverInputs(const std::string& log, const std::string& projectFile,
                         const TSTBCurrentModel::CTsToolBoxProjModel& project)
{
    if (const auto what = buildFileAt(log, projectFile, project)) {
        throw UsageError{log + ": is " + *what + "; the log must not replace a file the build reads or writes"};
    }
}

// Passes reports on to the renderer and keeps a progress bar on stderr when it is a terminal.
class ProgressReporter : public CTSVoiceBankUtilDelegate {
public:
    // bar: where the progress bar goes (a terminal), or null for none.
    ProgressReporter(BuildTextRenderer& text, BuildContext& context, Io& io, std::ostream* bar)
        : m_text(text), m_context(context), m_bar(bar), m_truncated(io)
    {
    }
    ~ProgressReporter() override
    {
        if (m_drawn) {
            *m_bar << '\n';
            m_bar->flush();
        }
    }
    void onProgress(const std::string& line) override
    {
        m_text.onProgress(line);
        if (m_bar != nullptr && m_context.total > 0) {
            const int width = 30;
            const int filled = int(double(m_context.done) / m_context.total * width);
            char text[96];
            std::snprintf(text, sizeof text, "\r[%.*s%*s] %d/%d", filled, "##############################",
                          width - filled, "", m_context.done + 1, m_context.total);
            *m_bar << text;
            m_bar->flush();
            m_drawn = true;
        }
    }
    void onEntryResult(const TSSrcCheckResult& result, const std::string& line) override
    {
        m_text.onEntryResult(result, line);
        if (!line.empty()) {
            (result.ok ? m_built : m_failed) += 1;
        }
    }
    void onEntryDone(const CTsVoiceCfg& entry, const std::string& location, const TSSrcCheckResult&) override
    {
        m_truncated.recordingOf(location, entry.wavName);
    }
    void onFinished(const TSSrcCheckResult& result) override { m_text.onFinished(result); }
    void onLocationProblem(const TSSrcCheckResult& result) override { m_text.onLocationProblem(result); }

    int built() const { return m_built; }
    int failed() const { return m_failed; }

private:
    BuildTextRenderer& m_text;
    BuildContext& m_context;
    std::ostream* m_bar;
    TruncatedDataNotes m_truncated;
    bool m_drawn = false;
    int m_built = 0;
    int m_failed = 0;
};

} // namespace

int jobsOption(const Args& args)
{
    const auto text = args.option("--jobs");
    if (!text) {
        return std::max(1u, std::thread::hardware_concurrency());
    }
    try {
        std::size_t used = 0;
        const int jobs = std::stoi(*text, &used);
        if (used == text->size() && jobs >= 1 && jobs <= 256) {
            return jobs;
        }
    } catch (const std::exception&) {
    }
    throw UsageError{"--jobs needs a number from 1 to 256, not \"" + *text + "\""};
}

namespace {

// The checks the build panel makes before either command; false (message printed) when one fails.
bool dictionaryReady(const TSTBCurrentModel::CTsToolBoxProjModel& project, std::ostream& out)
{
    std::string message;
    if (!checkProjectDictionary(project, message)) {
        out << message << '\n';
        return false;
    }
    return true;
}

void makeFolder(const std::string& folder)
{
    if (folder.empty()) {
        return;
    }
    std::error_code ec;
    std::filesystem::create_directories(folder, ec); // a folder that cannot be made shows in the build itself
}

struct ModelsOutcome {
    bool clean = true;
    int built = 0;
    int failed = 0;
    std::optional<std::string> unsavedManifest; // the manifest that could not be written
};

ModelsOutcome runBuildModels(const TSTBCurrentModel::CTsToolBoxProjModel& project, const Args& args, BuildTextRenderer& text,
                             Io& io)
{
    std::optional<std::vector<std::string>> symbols;
    if (const auto list = args.option("--symbols")) {
        if (!list->empty()) {
            symbols = panelList(*list);
        }
    } else if (project.allSymbols == 0 && !project.modelSymbols.empty()) {
        symbols = panelList(project.modelSymbols);
    }
    makeFolder(project.modelFolder);
    BuildContext context;
    context.jobs = jobsOption(args);
    const bool incremental = args.flag("--incremental");
    context.skipUpToDate = incremental;
    ProgressReporter reporter(text, context, io, io.errIsTerminal ? &io.err : nullptr);
    context.delegate = &reporter;
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(project);
    text.beginModels();
    // Full builds (--overwrite, a first build) record what they wrote too.
    const bool recorded = buildModelsRecorded(context, dictionary, project.wavLocations, project.modelFolder,
                                              symbols, !args.flag("--overwrite") && !incremental);
    text.end();
    ModelsOutcome outcome{reporter.failed() == 0 && !text.sawError(), reporter.built(), reporter.failed(), {}};
    if (!recorded) {
        outcome.unsavedManifest = (std::filesystem::path(project.modelFolder) / kModelManifestName).string();
    }
    return outcome;
}

bool runBuildBank(const TSTBCurrentModel::CTsToolBoxProjModel& project, BuildTextRenderer& text, std::ostream& err)
{
    makeFolder(project.voiceBankFolder);
    BuildContext context;
    context.delegate = &text;
    context.onWaitingForBankFolder = [&err](const std::string& folder) {
        err << "lvtb: " << folder << ": another build is writing a voice bank there; waiting for it to finish\n";
        err.flush();
    };
    const PhoneticDictionary dictionary = PhoneticDictionary::fromProject(project);
    text.beginVoiceBank();
    buildVoiceBank(context, dictionary, panelList(project.pitchList), project.voiceBankName, project.modelFolder,
                   project.voiceBankFolder);
    text.end();
    return !text.sawError();
}

int runBuild(const std::vector<std::string>& argv, Io& io, bool models, bool bank)
{
    const std::set<std::string> options = models ? std::set<std::string>{"--symbols", "--jobs", "--log"}
                                                 : std::set<std::string>{"--log"};
    const Args args(argv, models ? std::set<std::string>{"--overwrite", "--incremental"} : std::set<std::string>{},
                    options);
    args.expectPositional(1, "FILE");
    if (models) {
        jobsOption(args); // a bad --jobs is a usage error before anything is read
        if (args.flag("--overwrite") && args.flag("--incremental")) {
            throw UsageError{"--overwrite and --incremental exclude each other"};
        }
    }
    const LoadedProject loaded = loadResolvedOrFail(args.positional(0));
    const std::optional<std::string> log = args.option("--log");
    if (log) {
        refuseLogOverInputs(*log, args.positional(0), *loaded.model);
    }
    if (!dictionaryReady(*loaded.model, io.out)) {
        return kExitProblems;
    }
    TextOutput output(io.out, log);
    bool clean = true;
    std::optional<std::string> unsavedManifest;
    if (models) {
        BuildTextRenderer text(BuildTextRenderer::localTimeText, std::ref(output));
        const ModelsOutcome outcome = runBuildModels(*loaded.model, args, text, io);
        clean = outcome.clean && clean;
        unsavedManifest = outcome.unsavedManifest;
    }
    if (models && bank) {
        output("\r\n");
    }
    if (bank) {
        BuildTextRenderer text(BuildTextRenderer::localTimeText, std::ref(output));
        clean = runBuildBank(*loaded.model, text, io.err) && clean;
    }
    output.finish();
    output.closeLineOnTerminal(io.outIsTerminal);
    if (unsavedManifest) {
        io.err << "lvtb: " << *unsavedManifest << ": cannot be written; the next --incremental build analyses every entry\n";
        return kExitUsage;
    }
    return clean ? kExitOk : kExitProblems;
}

std::string fileSize(const std::filesystem::path& p)
{
    std::error_code ec;
    const auto size = std::filesystem::file_size(p, ec);
    return ec ? std::string("missing") : std::to_string(size) + " bytes";
}

int runDemo(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--force"}, {"--out", "--jobs"});
    args.expectPositional(0, "no positional arguments");
    const std::filesystem::path dir = args.option("--out").value_or("lvtb-demo");
    std::error_code ec;
    if (std::filesystem::exists(dir, ec) && !std::filesystem::is_empty(dir, ec) && !args.flag("--force")) {
        throw UsageError{dir.string() + ": exists and is not empty (use --force to write over the demo there)"};
    }
    const auto started = std::chrono::steady_clock::now();
    std::string error;
    const auto demo = lvdemo::writeDemoProject(dir, error);
    if (!demo) {
        throw UsageError{error};
    }
    const LoadedProject loaded = loadResolvedOrFail(demo->projectFile.string());
    std::ostream& out = io.out;
    out << "Lirvane ToolBox demo in " << std::filesystem::absolute(dir).string() << '\n'
        << "  " << demo->recordings << " recordings in " << demo->wavLocations.size() << " wav locations, project "
        << demo->projectFile.filename().string() << '\n';

    std::vector<std::string> modelArgs{demo->projectFile.string(), "--overwrite"};
    if (const auto jobs = args.option("--jobs")) {
        modelArgs.insert(modelArgs.end(), {"--jobs", *jobs});
    }
    const Args parsed(modelArgs, {"--overwrite"}, {"--jobs"});
    std::ostringstream discard;
    ModelsOutcome models;
    {
        TextOutput log(discard, (dir / "build-models.log").string());
        BuildTextRenderer text(BuildTextRenderer::localTimeText, std::ref(log));
        models = runBuildModels(*loaded.model, parsed, text, io);
        log.finish();
    }
    bool bankClean = false;
    {
        TextOutput log(discard, (dir / "build-bank.log").string());
        BuildTextRenderer text(BuildTextRenderer::localTimeText, std::ref(log));
        bankClean = runBuildBank(*loaded.model, text, io.err);
        log.finish();
    }
    out << "  units built: " << models.built << ", failed: " << models.failed << " (build-models.log)\n"
        << "  voice bank: " << (bankClean ? "complete" : "with errors") << " (build-bank.log)\n";
    for (const char* name : {"TSI", "TSC", "voice.tssd"}) {
        out << "    " << name << "  " << fileSize(demo->bankFolder / name) << '\n';
    }
    for (int n = 1; std::filesystem::exists(demo->bankFolder / ("TSC_" + std::to_string(n))); ++n) {
        out << "    TSC_" << n << "  " << fileSize(demo->bankFolder / ("TSC_" + std::to_string(n))) << '\n';
    }
    // One unit to listen to: its recording and its model re-synthesised, side by side.
    const std::filesystem::path listen = dir / "listen";
    const std::filesystem::path recording = dir / "wav" / "C4" / "C4_ka.wav";
    auto model = TSVM_V0::readModelFile(demo->modelFolder / "C4.ka.LVModel", TSVM_V0::kVoiceMarkerCount);
    std::filesystem::create_directories(listen, ec);
    if (model && model->model.f0.size() > 0 &&
        std::filesystem::copy_file(recording, listen / "C4_ka-recording.wav",
                                   std::filesystem::copy_options::overwrite_existing, ec)) {
        const std::vector<std::int16_t> rendered = renderModel(model->model, "ka", "C4");
        std::vector<float> scaled(rendered.begin(), rendered.end());
        for (float& v : scaled) {
            v /= 32767.0f;
        }
        if (TessarinEditor::writeWav16(listen / "C4_ka-model.wav", scaled)) {
            out << "  listen: listen/C4_ka-recording.wav (the recording of ka at C4) and listen/C4_ka-model.wav\n"
                << "          (its model re-synthesised: lvtb render)\n";
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    char took[32];
    std::snprintf(took, sizeof took, "%.1f", seconds);
    out << "  time: " << took << " s\n";
    return models.clean && bankClean ? kExitOk : kExitProblems;
}

} // namespace

Command buildModelsCommand()
{
    return {"build-models", "builds the model files of a project", std::string(kBuildModelsUsage),
            [](const std::vector<std::string>& argv, Io& io) { return runBuild(argv, io, true, false); }};
}

Command buildBankCommand()
{
    return {"build-bank", "builds the voice bank of a project from its model files", std::string(kBuildBankUsage),
            [](const std::vector<std::string>& argv, Io& io) { return runBuild(argv, io, false, true); }};
}

Command buildCommand()
{
    return {"build", "build-models, then build-bank", std::string(kBuildUsage),
            [](const std::vector<std::string>& argv, Io& io) { return runBuild(argv, io, true, true); }};
}

Command demoCommand()
{
    return {"demo", "writes and builds a demo project of synthetic sung samples", std::string(kDemoUsage), runDemo};
}

} // namespace lvtb
