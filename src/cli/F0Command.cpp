// lvtb f0: the f0 track of a recording, or of a region of it, as the analysis pipeline computes it.

#include "audio/AudioReader.h"
#include "audio/CWavBuf.h"
#include "cli/Cli.h"
#include "dsp/Harvest.h"
#include "engine/AnalysisPipeline.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace lvtb {

namespace {

constexpr double kSampleRate = 44100.0; // [Hz] every file that passes the format gate
constexpr double kHop = 128.0;          // [samples] between frames
// The longest region analysed at once: the analysis takes about 1.6 MB per second of audio, so half
// an hour stays under 3 GB instead of ending in an out-of-memory kill.
constexpr std::uint32_t kLongestRegionSamples = 30 * 60 * 44100;

const char* const kUsage =
    "usage: lvtb f0 FILE [--from S] [--to S] [--method harvest|tracker]\n"
    "\n"
    "Prints the f0 track of the samples of FILE between the times S (seconds from the start of the\n"
    "file; the whole file by default), one line per 128-sample frame: index, time in seconds from the\n"
    "start of the file (six decimals), f0 in Hz (six decimals, 0 for unvoiced).\n"
    "  --method harvest   the first estimate (Harvest, 55 ... 1000 Hz)\n"
    "  --method tracker   the final track the pipeline stores: the pitch tracker with Harvest's\n"
    "                     track as its hint (the default)\n"
    "FILE must pass the format gate (44100 Hz, 16 bit, mono, extension wav); otherwise the gate's\n"
    "message is printed and the exit status is 1. On a terminal, an analysis that runs longer than a\n"
    "second shows on stderr how long it has been running.\n";

// On a terminal, an analysis that takes longer than a second says on stderr what it is doing and
// for how long, so a long recording does not look like a hang. The line is cleared at the end.
class ProgressNote {
public:
    ProgressNote(Io& io, double audioSeconds, const std::string& method)
    {
        if (!io.errIsTerminal) {
            return;
        }
        char what[96];
        std::snprintf(what, sizeof what, "lvtb f0: %s over %.1f s of audio", method.c_str(), audioSeconds);
        m_thread = std::thread([this, &err = io.err, text = std::string(what)] {
            const auto started = std::chrono::steady_clock::now();
            std::unique_lock<std::mutex> guard(m_lock);
            bool shown = false;
            while (!m_cv.wait_for(guard, shown ? std::chrono::milliseconds(250) : std::chrono::seconds(1),
                                  [this] { return m_done; })) {
                const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
                char line[160];
                std::snprintf(line, sizeof line, "\r%s ... %.0f s", text.c_str(), elapsed);
                err << line;
                err.flush();
                shown = true;
            }
            if (shown) {
                err << '\r' << std::string(text.size() + 16, ' ') << '\r';
                err.flush();
            }
        });
    }
    ~ProgressNote()
    {
        if (m_thread.joinable()) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                m_done = true;
            }
            m_cv.notify_all();
            m_thread.join();
        }
    }
    ProgressNote(const ProgressNote&) = delete;
    ProgressNote& operator=(const ProgressNote&) = delete;

private:
    std::mutex m_lock;
    std::condition_variable m_cv;
    bool m_done = false;
    std::thread m_thread;
};

double secondsOption(const Args& args, const std::string& name, double fallback)
{
    const std::optional<std::string> text = args.option(name);
    if (!text) {
        return fallback;
    }
    char* end = nullptr;
    errno = 0;
    const double value = std::strtod(text->c_str(), &end);
    if (text->empty() || end != text->c_str() + text->size() || errno == ERANGE || !std::isfinite(value)) {
        throw UsageError{name + " needs a time in seconds, not \"" + *text + "\""};
    }
    return value;
}

// Frame i lies on sample 128 · i of the region.
void printTrack(std::ostream& out, double startSec, std::span<const double> f0)
{
    char line[96];
    for (std::size_t i = 0; i < f0.size(); ++i) {
        const double time = startSec + double(i) * kHop / kSampleRate;
        if (f0[i] > 0.0) {
            std::snprintf(line, sizeof line, "%zu %.6f %.6f\n", i, time, f0[i]);
        } else {
            std::snprintf(line, sizeof line, "%zu %.6f 0\n", i, time);
        }
        out << line;
    }
}

int runF0(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {}, {"--from", "--to", "--method"});
    args.expectPositional(1, "FILE");
    const std::string& path = args.positional(0);
    const std::string method = args.option("--method").value_or("tracker");
    if (method != "harvest" && method != "tracker") {
        throw UsageError{"--method is harvest or tracker, not \"" + method + "\""};
    }
    const double from = secondsOption(args, "--from", 0.0);
    const double to = secondsOption(args, "--to", std::numeric_limits<double>::infinity());

    // Only the region is read: the rest of a long recording never enters memory.
    Tessarin::FastVector<float> region;
    Tessarin::ReadError why;
    std::uint32_t regionSamples = 0;
    TessarinEditor::AudioFileInfo info;
    const auto read = TessarinEditor::readGatedRegion(path, from, to, region, &why, kLongestRegionSamples, &regionSamples, &info);
    if (read != TessarinEditor::RegionRead::readFailed) {
        noteTruncatedData(path, info, io);
    }
    switch (read) {
    case TessarinEditor::RegionRead::readFailed:
        io.err << "lvtb: " << path << ": "
               << (why.failure == Tessarin::ReadFailure::none ? std::string("cannot be read as audio") : why.text()) << '\n';
        return kExitUsage;
    case TessarinEditor::RegionRead::formatError:
        io.out << TessarinEditor::kWavFormatErrorMessage << '\n';
        return kExitProblems;
    case TessarinEditor::RegionRead::tooLong: {
        char text[160];
        std::snprintf(text, sizeof text, "the region is %.1f s long; lvtb f0 analyses at most %.0f s at once (choose a part "
                      "with --from and --to)", double(regionSamples) / kSampleRate, double(kLongestRegionSamples) / kSampleRate);
        io.err << "lvtb: " << path << ": " << text << '\n';
        return kExitUsage;
    }
    case TessarinEditor::RegionRead::ok:
        break;
    }
    if (region.size() == 0) {
        io.err << "lvtb: " << path << ": no samples between the given times\n";
        return kExitUsage;
    }
    std::vector<double> f0;
    {
        const ProgressNote note(io, double(region.size()) / kSampleRate, method);
        if (method == "tracker") {
            // Exactly what the analysis stores: the tracker with Harvest's track as its hint (Harvest
            // runs once, inside).
            Tessarin::FastVector<float> tracked;
            TessarinEngineV6::estimateF0(region.span(), false, tracked);
            f0.assign(tracked.data(), tracked.end());
        } else {
            // As the pipeline runs it: on the unit's float samples, widened to double inside.
            const Tessarin::HarvestOptions options; // the pipeline's: 55 ... 1000 Hz, one frame per 128 samples
            f0 = Tessarin::harvest(region.span(), int(kSampleRate), options).f0;
        }
    }
    // The region starts at sample trunc(max(from, 0) · 44100) of the file.
    const double startSec = double(std::int64_t(std::max(from * kSampleRate, 0.0))) / kSampleRate;
    printTrack(io.out, startSec, f0);
    return kExitOk;
}

} // namespace

Command f0Command()
{
    return Command{"f0", "the f0 track of a recording or of a region of it", kUsage, runF0};
}

} // namespace lvtb
