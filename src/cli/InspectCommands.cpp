#include "cli/InspectCommands.h"

#include "cli/JsonText.h"
#include "core/FrameSeries.h"
#include "engine/ModelFile.h"
#include "engine/VoiceBankFiles.h"

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <span>
#include <sstream>
#include <type_traits>
#include <vector>

namespace lvtb {

namespace {

constexpr std::string_view kUsage =
    "usage: lvtb inspect model FILE [--json] [--full]\n"
    "       lvtb inspect bank DIR [--json]\n"
    "\n"
    "  model  a unit's model file: its symbol and pitch (from the file name: PITCH.SYMBOL.LVModel,\n"
    "         \"uppercase\" before each capital letter), its kind (a symbol with \"_\" is a VX\n"
    "         continuant, any other a CV or INDIE voice unit), each marker by name in analysis\n"
    "         frames (128 samples, 2.9 ms), the sizes and the number of voiced frames.\n"
    "         --json gives the same with the f0 track and each frame's field sizes; --full adds\n"
    "         every per-frame field\n"
    "  bank   a voice bank folder: the index header (TSI), then one line per unit record with\n"
    "         the columns unit, pitch, file (the content file: 0 is TSC, n is TSC_n), offset (bytes\n"
    "         into that file) and length (bytes of the block, without its 4-byte length)\n";

std::string number(double v)
{
    if (!std::isfinite(v)) {
        return "null"; // JSON has no infinities
    }
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    return text;
}

// Integers (markers, template indexes) as integers: 2101978065 must not become 2.10197806e+09.
template <class T>
std::string value(T v)
{
    if constexpr (std::is_integral_v<T>) {
        return std::to_string(v);
    } else {
        return number(double(v));
    }
}

template <class Range>
std::string array(const Range& values)
{
    std::string out = "[";
    bool first = true;
    for (const auto& v : values) {
        if (!first) {
            out += ',';
        }
        out += value(v);
        first = false;
    }
    return out + "]";
}

template <class T>
std::string array(const Tessarin::FastVector<T>& v)
{
    return array(v.span());
}

std::string frames(const Tessarin::FrameSeries& s)
{
    std::string out = "[";
    Tessarin::FrameMags frame;
    for (std::int32_t i = 0; i < std::int32_t(s.lengths.size()); ++i) {
        s.getFrame(i, frame);
        if (i > 0) {
            out += ',';
        }
        out += array(frame.span());
    }
    return out + "]";
}

std::string frameSizes(const Tessarin::FrameSeries& s)
{
    std::string out = "[";
    for (std::uint32_t i = 0; i < s.lengths.size(); ++i) {
        if (i > 0) {
            out += ',';
        }
        out += std::to_string(s.lengths[i]);
    }
    return out + "]";
}

// What each marker of a model file holds, in the file's order.
struct MarkerLabel {
    enum Kind { Frame, Length, Unused };
    const char* name;
    Kind kind;
};
constexpr MarkerLabel kVoiceMarkers[] = {
    {"p0 connect point (INDIE: start point)", MarkerLabel::Frame},
    {"p1 preutterance (INDIE: end point)", MarkerLabel::Frame},
    {"p2 vowel start (INDIE: end point)", MarkerLabel::Frame},
    {"p3 vowel end (INDIE: end point)", MarkerLabel::Frame},
    {"p4 tail length (INDIE: 0)", MarkerLabel::Length},
    {"p5 (not used, 0)", MarkerLabel::Unused},
    {"p6 (not used, -1)", MarkerLabel::Unused},
    {"p7 (not used, -1)", MarkerLabel::Unused},
};
constexpr MarkerLabel kContinuantMarkers[] = {
    {"q0 connect point", MarkerLabel::Frame},
    {"q1 connect point to tail point", MarkerLabel::Length},
    {"q2 (not used, -1)", MarkerLabel::Unused},
    {"q3 (not used, -1)", MarkerLabel::Unused},
    {"q4 (not used, -2)", MarkerLabel::Unused},
    {"q5 (not used, -3)", MarkerLabel::Unused},
    {"q6 (not used, -4)", MarkerLabel::Unused},
};

void printModelText(std::ostream& out, const std::string& symbol, const std::string& pitch, bool continuant,
                    const TSVM_V0::ModelFileContents& contents, std::uint32_t voiced)
{
    const TSVM_V0::TsVoiceModel& m = contents.model;
    out << "symbol: " << symbol << "\npitch: " << pitch << "\nkind: "
        << (continuant ? "continuant (a VX unit, 7 markers)" : "voice (a CV or INDIE unit, 8 markers)")
        << "\nmarkers, in analysis frames of " << m.hop << " samples from the start of the analysed region:\n";
    const std::span<const MarkerLabel> labels = continuant ? std::span<const MarkerLabel>(kContinuantMarkers)
                                                           : std::span<const MarkerLabel>(kVoiceMarkers);
    for (std::size_t i = 0; i < labels.size(); ++i) {
        out << "  " << labels[i].name << ": ";
        if (i < contents.markers.size()) {
            const std::int32_t v = contents.markers[i];
            switch (labels[i].kind) {
            case MarkerLabel::Frame:
                out << "frame " << v << '\n';
                break;
            case MarkerLabel::Length:
                out << v << " frames\n";
                break;
            case MarkerLabel::Unused:
                out << v << '\n';
                break;
            }
        } else {
            out << "(not in the file)\n";
        }
    }
    const double frameSeconds = m.sampleRate > 0.0f ? double(m.hop) / double(m.sampleRate) : 0.0;
    char duration[64];
    std::snprintf(duration, sizeof duration, "%.3f", double(m.f0.size()) * frameSeconds);
    out << "fft size: " << m.fftSize << " samples\nsample rate: " << number(m.sampleRate) << " Hz\nhop: " << m.hop
        << " samples\nstored samples: " << m.samples.size() << "\nframes: " << m.f0.size() << " (" << duration
        << " s)\nvoiced frames: " << voiced << "\ncomplete: "
        << (contents.complete ? "yes" : "no (missing: " + contents.missing + "; what the file holds is shown)") << '\n';
}

int inspectModel(const Args& args, Io& io)
{
    args.expectPositional(2, "model FILE");
    const std::filesystem::path path = args.positional(1);
    const std::string name = path.filename().string();
    constexpr std::string_view kSuffix = ".LVModel";
    const std::size_t dot = name.find('.');
    if (name.size() <= kSuffix.size() || name.compare(name.size() - kSuffix.size(), kSuffix.size(), kSuffix) != 0 ||
        dot == std::string::npos || dot + kSuffix.size() >= name.size()) {
        throw UsageError{args.positional(1) + ": not a model file name (PITCH.SYMBOL.LVModel)"};
    }
    const std::string pitch = name.substr(0, dot);
    const std::string symbol = TSVM_V0::unescapeSymbol(name.substr(dot + 1, name.size() - kSuffix.size() - dot - 1));
    // As the bank assembly does: a symbol with an underscore is a continuant.
    const bool continuant = symbol.find('_') != std::string::npos;
    Tessarin::ReadError why;
    const auto contents = TSVM_V0::readModelFile(
        path, continuant ? TSVM_V0::kContinuantMarkerCount : TSVM_V0::kVoiceMarkerCount, &why);
    if (!contents) {
        throw UsageError{args.positional(1) + ": " +
                         (why.failure == Tessarin::ReadFailure::none ? std::string("not a model file (shorter than its length)")
                                                                     : why.text())};
    }
    const TSVM_V0::TsVoiceModel& m = contents->model;
    // Every model file this program writes has these; other bytes under a model file's name are not one.
    if (!contents->headerRead) {
        throw UsageError{args.positional(1) + ": not a model file (it ends inside " + contents->missing + ")"};
    }
    if (m.fftSize != 512 || m.sampleRate != 44100.0f || m.hop != 128 || contents->declaredFrames < 0) {
        throw UsageError{args.positional(1) + ": not a model file (its header reads fft size " + std::to_string(m.fftSize) +
                         ", sample rate " + number(m.sampleRate) + ", hop " + std::to_string(m.hop) + ")"};
    }
    const int status = contents->complete ? kExitOk : kExitProblems;
    std::uint32_t voiced = 0;
    for (std::uint32_t i = 0; i < m.f0.size(); ++i) {
        voiced += m.f0[i] > 0.0f ? 1 : 0;
    }
    std::ostream& out = io.out;
    if (!args.flag("--json")) {
        printModelText(out, symbol, pitch, continuant, *contents, voiced);
        return status;
    }
    out << "{\"symbol\":" << jsonString(symbol) << ",\"pitch\":" << jsonString(pitch) << ",\"kind\":\""
        << (continuant ? "continuant" : "voice") << "\",\"markers\":" << array(contents->markers)
        << ",\"fftSize\":" << m.fftSize << ",\"sampleRate\":" << number(m.sampleRate) << ",\"hop\":" << m.hop
        << ",\"sampleCount\":" << m.samples.size() << ",\"frameCount\":" << m.f0.size() << ",\"f0\":" << array(m.f0)
        << ",\"frameSizes\":{\"harmonicPhase\":" << frameSizes(m.harmonicPhase)
        << ",\"spectralEnvelope\":" << frameSizes(m.spectralEnvelope) << "}"
        << ",\"complete\":" << (contents->complete ? "true" : "false");
    if (!contents->complete) {
        out << ",\"missing\":" << jsonString(contents->missing);
    }
    if (args.flag("--full")) {
        out << ",\"glottalIndex\":" << array(m.glottalIndex) << ",\"glottalGain\":" << array(m.glottalGain)
            << ",\"pulseRatio\":" << array(m.pulseRatio) << ",\"bandLevels\":" << frames(m.bandLevels)
            << ",\"noiseEnvelope\":" << frames(m.noiseEnvelope) << ",\"spectralEnvelope\":" << frames(m.spectralEnvelope)
            << ",\"harmonicPhase\":" << frames(m.harmonicPhase);
    }
    out << "}\n";
    return status;
}

// What an index read to its end found missing: where it was cut, and the content files its records
// point into that are missing or too short.
std::vector<std::string> bankProblems(const TessarinEngineV6::BankIndexReader& reader)
{
    std::vector<std::string> problems;
    if (!reader.complete()) {
        problems.push_back("TSI: ends inside record " + std::to_string(reader.recordsRead() + 1) + " (after byte " +
                           std::to_string(reader.bytesRead()) + ")");
    }
    for (const auto& [file, problem] : reader.contentProblems()) {
        const std::string name = file == 0 ? std::string("TSC") : "TSC_" + std::to_string(file);
        if (problem.missingFile > 0) {
            problems.push_back(name + ": missing (" + std::to_string(problem.missingFile) + " records point into it)");
        }
        if (problem.pastEnd > 0) {
            problems.push_back(name + ": too short (" + std::to_string(problem.pastEnd) +
                               " records point past its end)");
        }
        if (problem.misfit > 0) {
            problems.push_back(name + ": does not fit the index (" + std::to_string(problem.misfit) +
                               " records point to no block of it)");
        }
        if (problem.bytesAfterLastBlock > 0) {
            problems.push_back(name + ": does not fit the index (" + std::to_string(problem.bytesAfterLastBlock) +
                               " bytes after the last block it points to)");
        }
    }
    return problems;
}

int inspectBank(const Args& args, Io& io)
{
    args.expectPositional(2, "bank DIR");
    const std::string& dir = args.positional(1);
    // Read record by record: an index of any size is shown in the same memory.
    TessarinEngineV6::BankIndexReader reader;
    Tessarin::ReadError why;
    if (!reader.open(dir, &why)) {
        if (reader.headerCut()) {
            throw UsageError{dir + "/TSI: not a voice bank index (its header is cut short)"};
        }
        throw UsageError{dir + "/TSI: " + why.text()};
    }
    const auto& s = reader.settings();
    std::ostream& out = io.out;
    TessarinEngineV6::BankIndex::Record r;
    if (!args.flag("--json")) {
        // The count comes first: one pass to count, one to print.
        TessarinEngineV6::BankIndexReader counter;
        counter.open(dir);
        while (counter.next(r, false)) {
        }
        out << "hop: " << s.hop << " samples\nsample rate: " << number(s.sampleRate) << " Hz\npitch range: "
            << s.lowestPitch << " - " << s.highestPitch << "\npitch table (low/high/pitch, ...): " << s.pitchTable
            << "\nnoise band edges [Hz]:";
        for (const float e : s.bandEdges) {
            out << ' ' << number(e);
        }
        out << "\ndictionary: " << s.dictionaryText << "\nrecords: " << counter.recordsRead() << '\n';
        if (counter.recordsRead() > 0) {
            out << "unit\tpitch\tfile\toffset\tlength\n";
        }
        while (reader.next(r)) {
            out << r.unit << '\t' << r.pitch << '\t' << r.file << '\t' << r.offset << '\t' << r.length << '\n';
        }
        const std::vector<std::string> problems = bankProblems(reader);
        for (const std::string& p : problems) {
            out << "problem: " << p << '\n';
        }
        return problems.empty() ? kExitOk : kExitProblems;
    }
    out << "{\"header\":{\"hop\":" << s.hop << ",\"sampleRate\":" << number(s.sampleRate)
        << ",\"setting2\":" << number(s.setting2) << ",\"setting3\":" << number(s.setting3)
        << ",\"setting4\":" << number(s.setting4) << ",\"setting5\":" << number(s.setting5)
        << ",\"setting6\":" << s.setting6 << ",\"setting7\":" << s.setting7 << ",\"setting8\":" << number(s.setting8)
        << ",\"setting9\":" << number(s.setting9) << ",\"setting10\":" << number(s.setting10)
        << ",\"lowestPitch\":" << jsonString(s.lowestPitch) << ",\"highestPitch\":" << jsonString(s.highestPitch)
        << ",\"dictionaryText\":" << jsonString(s.dictionaryText) << ",\"pitchTable\":" << jsonString(s.pitchTable)
        << ",\"setting14\":" << s.setting14 << ",\"setting15\":" << s.setting15 << ",\"setting16\":" << s.setting16
        << ",\"setting17\":" << number(s.setting17) << ",\"setting18\":" << number(s.setting18)
        << ",\"setting19\":" << number(s.setting19) << ",\"setting20\":" << s.setting20
        << ",\"bandEdges\":" << array(s.bandEdges) << ",\"setting22\":" << s.setting22 << "},\"records\":[";
    bool first = true;
    while (reader.next(r)) {
        out << (first ? "" : ",") << "{\"unit\":" << jsonString(r.unit) << ",\"pitch\":" << jsonString(r.pitch)
            << ",\"file\":" << r.file << ",\"offset\":" << r.offset << ",\"length\":" << r.length << "}";
        first = false;
    }
    const std::vector<std::string> problems = bankProblems(reader);
    out << "],\"problems\":[";
    for (std::size_t i = 0; i < problems.size(); ++i) {
        out << (i == 0 ? "" : ",") << jsonString(problems[i]);
    }
    out << "]}\n";
    return problems.empty() ? kExitOk : kExitProblems;
}

} // namespace

Command inspectCommand()
{
    return {"inspect", "shows a model file or a voice bank's index", std::string(kUsage),
            [](const std::vector<std::string>& argv, Io& io) {
                const Args args(argv, {"--json", "--full"}, {});
                if (args.positionalCount() == 0) {
                    throw UsageError{"inspect needs model FILE or bank DIR"};
                }
                if (args.positional(0) == "model") {
                    return inspectModel(args, io);
                }
                if (args.positional(0) == "bank") {
                    if (args.flag("--full")) {
                        throw UsageError{"--full belongs to inspect model"};
                    }
                    return inspectBank(args, io);
                }
                throw UsageError{"inspect " + args.positional(0) + ": expected model or bank"};
            }};
}

} // namespace lvtb
