// lvtb estimate: the markers the estimator proposes for the one unit recorded in a WAV file.

#include "cli/Cli.h"

#include "audio/AudioReader.h"
#include "engine/MarkerEstimator.h"

#include <cstdint>
#include <cstdio>
#include <limits>
#include <ostream>
#include <string>
#include <vector>

namespace lvtb {

namespace {

constexpr int kSampleRate = 44100; // every file that passes the format gate
// One unit is a few seconds of singing; the estimator keeps about 12 bytes per sample, so ten
// minutes (70 MB) is far beyond any unit and still harmless.
constexpr std::uint32_t kLongestSamples = 10 * 60 * 44100;

const char* const kUsage =
    "usage: lvtb estimate WAV --kind CV|VX|INDIE [--json]\n"
    "\n"
    "Proposes the markers of the one unit recorded in WAV from its audio (the level against the\n"
    "background, the voicing, the change of the spectrum), in seconds from the start of the file,\n"
    "in the kind's order, one per line with its entry field's name:\n"
    "  CV     connectPoint (the consonant begins), preutterance (the vowel begins),\n"
    "         vowelStart (the vowel is steady), vowelEnd (its fade or release begins)\n"
    "  VX     connectPoint (the vowel's onset is over), tailPoint (the unit ends)\n"
    "  INDIE  startPoint, endPoint (the sound rises above the background and falls back to it)\n"
    "--json prints one object: {\"kind\": K, \"markers\": [...]}.\n"
    "WAV must pass the format gate (44100 Hz, 16 bit, mono, extension wav).\n"
    "\n"
    "Exit status: 0 markers proposed; 1 the recording holds no unit (silence or a click): a line says\n"
    "so (with --json, on stderr, and the object has no markers); 2 bad usage or a file that cannot be\n"
    "read or fails the format gate.\n";

const std::vector<const char*>& markerNames(const std::string& kind)
{
    static const std::vector<const char*> cv{"connectPoint", "preutterance", "vowelStart", "vowelEnd"};
    static const std::vector<const char*> vx{"connectPoint", "tailPoint"};
    static const std::vector<const char*> indie{"startPoint", "endPoint"};
    return kind == "CV" ? cv : kind == "VX" ? vx : indie;
}

int runEstimate(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--json"}, {"--kind"});
    args.expectPositional(1, "WAV");
    const std::string& path = args.positional(0);
    const std::optional<std::string> kindOption = args.option("--kind");
    if (!kindOption) {
        throw UsageError{"estimate needs --kind CV, VX or INDIE"};
    }
    const std::string& kind = *kindOption;
    if (kind != "CV" && kind != "VX" && kind != "INDIE") {
        throw UsageError{"--kind is CV, VX or INDIE, not \"" + kind + "\""};
    }

    Tessarin::FastVector<float> samples;
    Tessarin::ReadError why;
    std::uint32_t sampleCount = 0;
    TessarinEditor::AudioFileInfo info;
    const auto read = TessarinEditor::readGatedRegion(path, 0.0, std::numeric_limits<double>::infinity(), samples, &why,
                                                      kLongestSamples, &sampleCount, &info);
    if (read != TessarinEditor::RegionRead::readFailed) {
        noteTruncatedData(path, info, io);
    }
    switch (read) {
    case TessarinEditor::RegionRead::readFailed:
        throw UsageError{path + ": " + (why.failure == Tessarin::ReadFailure::none ? std::string("cannot be read as audio") : why.text())};
    case TessarinEditor::RegionRead::formatError:
        throw UsageError{path + ": " + std::string(TessarinEditor::kWavFormatErrorMessage)};
    case TessarinEditor::RegionRead::tooLong: {
        char text[160];
        std::snprintf(text, sizeof text, "%.1f s of audio; one unit's recording is expected, at most %.0f s",
                      double(sampleCount) / kSampleRate, double(kLongestSamples) / kSampleRate);
        throw UsageError{path + ": " + text};
    }
    case TessarinEditor::RegionRead::ok:
        break;
    }

    const std::optional<std::vector<double>> markers =
        TessarinEngineV6::estimateMarkers(samples.data(), samples.size(), kSampleRate, kind);
    const char* const nothing = "No unit found: the recording holds only silence or a click.";
    if (args.flag("--json")) {
        std::string text = "{\"kind\": \"" + kind + "\", \"markers\": [";
        if (markers) {
            char number[32];
            for (std::size_t i = 0; i < markers->size(); ++i) {
                std::snprintf(number, sizeof number, "%s%.6f", i == 0 ? "" : ", ", (*markers)[i]);
                text += number;
            }
        }
        io.out << text << "]}\n";
        if (!markers) {
            io.err << nothing << '\n';
            return kExitProblems;
        }
        return kExitOk;
    }
    if (!markers) {
        io.out << nothing << '\n';
        return kExitProblems;
    }
    const std::vector<const char*>& names = markerNames(kind);
    char line[64];
    for (std::size_t i = 0; i < markers->size(); ++i) {
        std::snprintf(line, sizeof line, "%s %.6f\n", names[i], (*markers)[i]);
        io.out << line;
    }
    return kExitOk;
}

} // namespace

Command estimateCommand()
{
    return Command{"estimate", "proposes the markers of the unit recorded in a WAV file", kUsage, runEstimate};
}

} // namespace lvtb
