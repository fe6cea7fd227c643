// lvtb wav-info: what the audio reader makes of a file, and whether the editor's format gate
// lets it through.

#include "cli/Cli.h"

#include "audio/AudioReader.h"
#include "audio/CWavData.h"

#include <json/json.h>

#include <cstdio>
#include <ostream>

namespace lvtb {

namespace {

constexpr const char* kWavInfoUsage =
    "usage: lvtb wav-info FILE [--json]\n"
    "\n"
    "Reads a WAV (or MP3) file as the wave editor does and prints its format:\n"
    "  channels, sample rate, bits per sample, float, samples (all channels counted),\n"
    "  duration in seconds (the editor's: 0 for a file under 5 ms or one that fails the gate),\n"
    "  gate: \"pass\" or the editor's format message.\n"
    "--json prints one object with the keys channels, sampleRate, bitsPerSample, isFloat,\n"
    "sampleCount, duration, gate (true when it passes) and message.\n"
    "\n"
    "Exit status: 0 the gate passes; 1 the file reads but fails the gate; 2 it cannot be read.\n";

int runWavInfo(const std::vector<std::string>& argv, Io& io)
{
    const Args args(argv, {"--json"}, {});
    args.expectPositional(1, "FILE");
    const std::string& file = args.positional(0);

    // Only the header and the size are needed: a recording of any length is shown in the same memory.
    TessarinEditor::EditorProbe wav;
    Tessarin::ReadError why;
    const auto status = TessarinEditor::probeForEditor(file, wav, &why);
    if (status == TessarinEditor::WavLoadStatus::ReadFailed) {
        throw UsageError{file + ": " + (why.failure == Tessarin::ReadFailure::none
                                            ? std::string("cannot be read as a WAV or MP3 file")
                                            : why.text())};
    }
    const bool gatePasses = status != TessarinEditor::WavLoadStatus::FormatError;
    const std::string message = gatePasses ? std::string() : std::string(TessarinEditor::kWavFormatErrorMessage);
    const TessarinEditor::AudioFileInfo& raw = wav.info;
    noteTruncatedData(file, raw, io);

    if (args.flag("--json")) {
        Json::Value v(Json::objectValue);
        v["channels"] = raw.channels;
        v["sampleRate"] = raw.sampleRate;
        v["bitsPerSample"] = raw.bytesPerSample * 8;
        v["isFloat"] = raw.isFloat;
        v["sampleCount"] = Json::UInt(raw.sampleCount());
        v["duration"] = double(wav.duration);
        v["gate"] = gatePasses;
        v["message"] = message;
        io.out << Json::StyledWriter().write(v);
    } else {
        char duration[64];
        std::snprintf(duration, sizeof duration, "%.6f", double(wav.duration));
        io.out << "channels: " << raw.channels << '\n'
               << "sample rate: " << raw.sampleRate << '\n'
               << "bits per sample: " << raw.bytesPerSample * 8 << '\n'
               << "float: " << (raw.isFloat ? "yes" : "no") << '\n'
               << "samples: " << raw.sampleCount() << '\n'
               << "duration: " << duration << '\n'
               << "gate: " << (gatePasses ? std::string("pass") : message) << '\n';
    }
    return gatePasses ? kExitOk : kExitProblems;
}

} // namespace

Command wavInfoCommand()
{
    return {"wav-info", "the format of a WAV file and whether the editor accepts it", kWavInfoUsage, &runWavInfo};
}

} // namespace lvtb
