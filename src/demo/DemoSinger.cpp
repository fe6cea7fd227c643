#include "demo/DemoSinger.h"

#include "audio/WavWriter.h"
#include "core/AnalysisConstants.h"
#include "core/AnalysisRandom.h"
#include "core/PitchName.h"
#include "dsp/LfModel.h"
#include "model/CTsToolBoxProjModel.h"
#include "model/CTsVoiceCfg.h"
#include "model/CTsVoiceCfgMgr.h"
#include "model/ProjectFile.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <map>
#include <stdexcept>

namespace lvdemo {

namespace {

constexpr double kRate = 44100.0;
using Tessarin::kPi;
constexpr std::int64_t kEntryTime = 1767225600; // the entries' update time: fixed, so demos are identical

struct Formants {
    std::array<double, 3> hz;
    std::array<double, 3> bandwidth;
};

const std::map<std::string, Formants>& formantTable()
{
    static const std::map<std::string, Formants> table{
        {"a", {{750, 1200, 2600}, {80, 90, 120}}},
        {"i", {{300, 2250, 3000}, {60, 100, 130}}},
        {"n", {{250, 1700, 2600}, {60, 200, 200}}},
        {"m", {{250, 1100, 2400}, {60, 200, 200}}},
        {"e", {{450, 1900, 2600}, {70, 100, 120}}},
        {"o", {{500, 850, 2500}, {70, 90, 120}}},
        {"u", {{330, 800, 2300}, {60, 90, 120}}},
        {"w", {{300, 650, 2200}, {70, 100, 150}}},
        {"j", {{270, 2150, 2900}, {70, 120, 150}}},
        {"r", {{350, 1250, 1650}, {70, 120, 150}}},
    };
    return table;
}

// Where the formants point during an unvoiced consonant, for voices that move them there.
const std::map<std::string, Formants>& locusTable()
{
    static const std::map<std::string, Formants> table{
        {"k", {{350, 1900, 2500}, {80, 120, 150}}}, {"t", {{350, 1750, 2700}, {80, 120, 150}}},
        {"p", {{350, 900, 2200}, {80, 120, 150}}},  {"s", {{350, 1650, 2700}, {80, 120, 150}}},
        {"sh", {{350, 1850, 2500}, {80, 120, 150}}}, {"f", {{350, 1000, 2300}, {80, 120, 150}}},
    };
    return table;
}

// Centre and bandwidth of the noise of unvoiced sounds [Hz].
std::array<double, 2> noiseBand(const Segment& s)
{
    if (s.kind == Segment::Breath) {
        return {1500, 2000};
    }
    if (s.phone == "k") {
        return {2000, 800};
    }
    if (s.phone == "t") {
        return {4000, 1500};
    }
    if (s.phone == "p") {
        return {1200, 1500};
    }
    if (s.phone == "sh") {
        return {3000, 1500};
    }
    if (s.phone == "f") {
        return {5000, 6000};
    }
    if (s.phone == "h") {
        return {1500, 2500};
    }
    return {6000, 3000}; // s
}

// A two-pole resonator normalised to unit gain at its centre.
struct Resonator {
    double y1 = 0, y2 = 0;
    double process(double x, double hz, double bandwidth)
    {
        const double r = std::exp(-kPi * bandwidth / kRate);
        const double c = 2.0 * r * std::cos(2.0 * kPi * hz / kRate);
        const double y = (1.0 - r) * x + c * y1 - r * r * y2;
        y2 = y1;
        y1 = y;
        return y;
    }
};

double smoothStep(double x)
{
    x = std::clamp(x, 0.0, 1.0);
    return x * x * (3.0 - 2.0 * x);
}

} // namespace

double pitchFrequency(const std::string& pitch)
{
    const std::optional<Tessarin::PitchName> name = Tessarin::parsePitchName(pitch);
    if (!name) {
        throw std::invalid_argument("not a pitch name: " + pitch);
    }
    const int semitones = name->letter - 9 + name->accidental; // from A
    return 440.0 * std::pow(2.0, (semitones + 12 * (name->octave - 4)) / 12.0);
}

DemoOptions smallDemoOptions()
{
    DemoOptions o;
    o.pitches = {"C4"};
    o.vowels = {"a"};
    o.voiced = {"n"};
    o.unvoiced = {"k"};
    return o;
}

std::vector<UnitPlan> demoUnits(const DemoOptions& o)
{
    std::vector<UnitPlan> units;
    auto consonantPart = [](const std::string& c) {
        if (c == "k" || c == "t") {
            return std::vector<Segment>{{Segment::Silence, "", 0.04}, {Segment::Burst, c, c == "k" ? 0.04 : 0.03}};
        }
        if (c == "s") {
            return std::vector<Segment>{{Segment::Frication, c, 0.12}};
        }
        return std::vector<Segment>{{Segment::Nasal, c, 0.14}};
    };
    auto duration = [](const std::vector<Segment>& part) {
        double d = 0;
        for (const Segment& s : part) {
            d += s.seconds;
        }
        return d;
    };
    std::vector<std::string> consonants = o.voiced;
    consonants.insert(consonants.end(), o.unvoiced.begin(), o.unvoiced.end());

    // CV units and their phrase-initial forms: silence, consonant, vowel, silence.
    for (const std::string& prefix : {std::string(), std::string("-")}) {
        for (const std::string& c : consonants) {
            for (const std::string& v : o.vowels) {
                UnitPlan u{prefix + c + v, "CV", {{Segment::Silence, "", 0.15}}, {}};
                const auto part = consonantPart(c);
                u.timeline.insert(u.timeline.end(), part.begin(), part.end());
                u.timeline.push_back({Segment::Vowel, v, 0.65});
                u.timeline.push_back({Segment::Silence, "", 0.15});
                const double consonantStart = 0.15;
                const double vowelOnset = consonantStart + duration(part);
                const bool nasal = c == "n" || c == "m";
                u.markers = {consonantStart + (nasal ? 0.05 : 0.0), vowelOnset, vowelOnset + 0.07, vowelOnset + 0.65 - 0.15};
                units.push_back(u);
            }
        }
    }
    // Vowel to silence.
    for (const std::string& v : o.vowels) {
        units.push_back({v + "_-", "VX", {{Segment::Silence, "", 0.1}, {Segment::Vowel, v, 0.5}, {Segment::Silence, "", 0.3}},
                         {0.1 + 0.25, 0.1 + 0.5 + 0.1}});
    }
    // Vowel to consonant: voiced consonants first, then unvoiced, as the unit list orders them.
    for (const std::string& v : o.vowels) {
        for (const std::string& c : consonants) {
            UnitPlan u{v + "_" + c, "VX", {{Segment::Silence, "", 0.1}, {Segment::Vowel, v, 0.5}}, {}};
            const auto part = consonantPart(c);
            u.timeline.insert(u.timeline.end(), part.begin(), part.end());
            u.timeline.push_back({Segment::Silence, "", 0.15});
            const double partEnd = 0.6 + duration(part);
            const bool nasal = c == "n" || c == "m";
            u.markers = {0.1 + 0.2, nasal ? partEnd - 0.05 : partEnd};
            units.push_back(u);
        }
    }
    // Vowel to vowel.
    for (const std::string& v : o.vowels) {
        for (const std::string& w : o.vowels) {
            if (w == v) {
                continue;
            }
            units.push_back({v + "_" + w, "VX",
                             {{Segment::Silence, "", 0.1}, {Segment::Vowel, v, 0.4}, {Segment::Vowel, w, 0.45},
                              {Segment::Silence, "", 0.15}},
                             {0.1 + 0.2, 0.1 + 0.85 - 0.12}});
        }
    }
    // One breath.
    units.push_back({o.breath, "INDIE", {{Segment::Silence, "", 0.1}, {Segment::Breath, "", 0.45}, {Segment::Silence, "", 0.15}},
                     {0.1, 0.55}});
    return units;
}

std::vector<float> singUnit(const UnitPlan& unit, double f0Hz, const std::string& pitchName, const SingerVoice& voice)
{
    Tessarin::AnalysisRandom random = Tessarin::AnalysisRandom::forUnit(unit.symbol, pitchName);
    const Tessarin::LfWaveform pulse = Tessarin::LfWaveform::fromShape(Tessarin::LfShape::fromRd(voice.rd, 1.0f, 1.0f));

    double total = 0;
    for (const Segment& s : unit.timeline) {
        total += s.seconds;
    }
    const auto n = std::size_t(total * kRate);
    std::vector<double> out(n, 0.0);
    std::array<Resonator, 3> formants{};
    Resonator noiseFilter;
    Formants current = formantTable().at("a");
    if (voice.startOnFirstFormants) {
        for (const Segment& seg : unit.timeline) {
            if (seg.kind == Segment::Vowel || seg.kind == Segment::Nasal || seg.kind == Segment::Glide) {
                current = formantTable().at(seg.phone);
                for (std::size_t f = 0; f < 3; ++f) {
                    current.hz[f] *= voice.formantScale;
                    current.bandwidth[f] *= voice.bandwidthScale;
                }
                if (voice.tuneFirstFormant) {
                    current.hz[0] = std::max(current.hz[0], 1.1 * f0Hz);
                }
                break;
            }
        }
    }
    double phase = 0.0;
    double jitter = 1.0;
    double shimmer = 1.0;
    double voicedLevel = 0.0;
    double noiseLevel = 0.0;

    double segmentStart = 0.0;
    std::size_t index = 0;
    for (std::size_t si = 0; si < unit.timeline.size(); ++si) {
        const Segment& seg = unit.timeline[si];
        const bool voicedSegment = seg.kind == Segment::Vowel || seg.kind == Segment::Nasal || seg.kind == Segment::Glide;
        Formants target = voicedSegment ? formantTable().at(seg.phone) : current;
        const bool locus = !voicedSegment && voice.consonantLoci && locusTable().count(seg.phone) != 0;
        if (locus) {
            target = locusTable().at(seg.phone);
        }
        if (voicedSegment || locus) {
            for (std::size_t f = 0; f < 3; ++f) {
                target.hz[f] *= voice.formantScale;
                target.bandwidth[f] *= voice.bandwidthScale;
            }
            if (voice.tuneFirstFormant) {
                target.hz[0] = std::max(target.hz[0], 1.1 * f0Hz);
            }
        }
        const Formants from = current;
        const double targetVoiced = seg.kind == Segment::Vowel   ? 1.0
                                    : seg.kind == Segment::Nasal ? 0.35
                                    : seg.kind == Segment::Glide ? 0.6
                                                                 : 0.0;
        const double targetNoise = seg.kind == Segment::Burst       ? 0.9 * voice.consonantGain
                                   : seg.kind == Segment::Frication ? 0.5 * voice.consonantGain
                                   : seg.kind == Segment::Breath    ? 0.25
                                                                    : 0.0;
        const auto band = noiseBand(seg);
        const double startVoiced = voicedLevel;
        const double startNoise = noiseLevel;
        const std::size_t end = std::min(n, std::size_t((segmentStart + seg.seconds) * kRate));
        const double length = seg.seconds;
        for (; index < end; ++index) {
            const double t = double(index) / kRate - segmentStart;
            // Levels and formants glide into the segment over 25 ms and 60 ms.
            const double glide = smoothStep(t / 0.025);
            voicedLevel = startVoiced + (targetVoiced - startVoiced) * glide;
            double noiseShape = 1.0;
            if (seg.kind == Segment::Breath) {
                noiseShape = std::sin(kPi * std::clamp(t / length, 0.0, 1.0)); // breathe in and out
            } else if (seg.kind == Segment::Burst) {
                noiseShape = std::exp(-t / 0.015);
            }
            noiseLevel = (startNoise + (targetNoise - startNoise) * smoothStep(t / 0.005)) * noiseShape;
            const double move = smoothStep(t / 0.06);
            for (int f = 0; f < 3; ++f) {
                current.hz[std::size_t(f)] = from.hz[std::size_t(f)] + (target.hz[std::size_t(f)] - from.hz[std::size_t(f)]) * move;
                current.bandwidth[std::size_t(f)] =
                    from.bandwidth[std::size_t(f)] + (target.bandwidth[std::size_t(f)] - from.bandwidth[std::size_t(f)]) * move;
            }

            // The glottal source: vibrato after the first 0.2 s, jitter and shimmer per period.
            const double clock = double(index) / kRate;
            const double vibrato = voice.vibratoCents * smoothStep((clock - 0.2) / 0.2) * std::sin(2.0 * kPi * voice.vibratoHz * clock);
            const double f0 = f0Hz * std::pow(2.0, vibrato / 1200.0) * jitter;
            phase += f0 / kRate;
            if (phase >= 1.0) {
                phase -= 1.0;
                jitter = 1.0 + 0.003 * double(random.gaussian());
                shimmer = 1.0 + 0.03 * double(random.gaussian());
            }
            const double aspiration = voice.aspiration * double(random.gaussian());
            double voiced = (double(pulse.flowDerivative(float(phase))) * shimmer + aspiration) * voicedLevel;
            for (int f = 0; f < 3; ++f) {
                voiced = formants[std::size_t(f)].process(voiced, current.hz[std::size_t(f)], current.bandwidth[std::size_t(f)]);
            }
            const double noise = noiseFilter.process(double(random.gaussian()), band[0], band[1]) * noiseLevel;
            out[index] = voiced * 6.0 + noise;
        }
        segmentStart += seg.seconds;
    }
    // The end fades out over 30 ms, so no recording stops on a click.
    const std::size_t fade = std::min<std::size_t>(n, std::size_t(0.03 * kRate));
    for (std::size_t i = 0; i < fade; ++i) {
        out[n - 1 - i] *= double(i) / double(fade);
    }
    double peak = 1e-9;
    for (const double v : out) {
        peak = std::max(peak, std::fabs(v));
    }
    std::vector<float> samples(n);
    for (std::size_t i = 0; i < n; ++i) {
        samples[i] = float(out[i] / peak * 0.5);
    }
    return samples;
}

namespace {

std::unique_ptr<CTsVoiceCfg> entryFor(const UnitPlan& unit, const std::string& pitch, const std::string& wavName)
{
    std::unique_ptr<CTsVoiceCfg> entry;
    if (unit.kind == "CV") {
        auto cv = std::make_unique<CTsVoiceCfg_CV>();
        cv->connectPoint = unit.markers[0];
        cv->preutterance = unit.markers[1];
        cv->vowelStart = unit.markers[2];
        cv->vowelEnd = unit.markers[3];
        entry = std::move(cv);
    } else if (unit.kind == "VX") {
        auto vc = std::make_unique<CTsVoiceCfg_VC>();
        vc->connectPoint = unit.markers[0];
        vc->tailPoint = unit.markers[1];
        entry = std::move(vc);
    } else {
        auto indie = std::make_unique<CTsVoiceCfg_INDIE>();
        indie->startPoint = unit.markers[0];
        indie->endPoint = unit.markers[1];
        entry = std::move(indie);
    }
    entry->symbol = unit.symbol;
    entry->pitch = pitch;
    entry->wavName = wavName;
    entry->updateTime = kEntryTime;
    return entry;
}

std::string lines(const std::vector<std::string>& items)
{
    std::string text;
    for (const std::string& item : items) {
        if (!text.empty()) {
            text += "\r\n";
        }
        text += item;
    }
    return text;
}

} // namespace

std::optional<DemoProject> writeDemoProject(const std::filesystem::path& dir, std::string& error, const DemoOptions& o)
{
    std::error_code ec;
    const std::filesystem::path root = std::filesystem::absolute(dir, ec);
    DemoProject demo;
    demo.projectFile = root / "demo.lvtb";
    demo.modelFolder = root / "models";
    demo.bankFolder = root / "bank";
    const std::vector<UnitPlan> units = demoUnits(o);

    for (const std::string& pitch : o.pitches) {
        const std::filesystem::path folder = root / "wav" / pitch;
        std::filesystem::create_directories(folder, ec);
        if (ec) {
            error = folder.string() + ": " + ec.message();
            return std::nullopt;
        }
        CTsVoiceCfgMgr manager;
        manager.loadFolder(folder);
        manager.clear();
        const double f0 = pitchFrequency(pitch);
        for (const UnitPlan& unit : units) {
            const std::string wavName = pitch + "_" + unit.symbol + ".wav";
            if (!TessarinEditor::writeWav16(folder / wavName, singUnit(unit, f0, pitch))) {
                error = (folder / wavName).string() + ": cannot be written";
                return std::nullopt;
            }
            auto entry = entryFor(unit, pitch, wavName);
            const std::string key = entry->entryKey();
            manager.put(key, std::move(entry));
            ++demo.recordings;
        }
        if (!manager.save()) {
            error = (folder / "voice.lvcfg").string() + ": cannot be written";
            return std::nullopt;
        }
        demo.wavLocations.push_back(folder);
    }

    TSTBCurrentModel::CTsToolBoxProjModel project;
    std::vector<std::string> symbols;
    for (const std::string& c : o.voiced) {
        for (const std::string& v : o.vowels) {
            symbols.push_back(c + v + "," + c + "," + v);
        }
    }
    for (const std::string& c : o.unvoiced) {
        for (const std::string& v : o.vowels) {
            symbols.push_back(c + v + "," + c + "," + v);
        }
    }
    std::vector<std::string> vowels;
    for (const std::string& v : o.vowels) {
        vowels.push_back(v + "," + v);
    }
    project.symbolList = lines(symbols);
    project.vowelList = lines(vowels);
    project.voicedConsonantList = lines(o.voiced);
    project.unvoicedConsonantList = lines(o.unvoiced);
    project.independentList = o.breath;
    project.tailList = "";
    // Stored relative to the project file, so the demo folder can be moved or copied whole.
    for (const std::string& pitch : o.pitches) {
        project.wavLocations.push_back("wav/" + pitch);
    }
    project.allSymbols = 1;
    project.modelFolder = "models";
    project.voiceBankFolder = "bank";
    std::string pitches;
    for (const std::string& p : o.pitches) {
        if (!pitches.empty()) {
            pitches += ',';
        }
        pitches += p;
    }
    project.pitchList = pitches;
    project.voiceBankName = "Lirvane Demo";
    project.browseFolder = "wav";
    if (saveProject(project, demo.projectFile) != 0) {
        error = demo.projectFile.string() + ": cannot be written";
        return std::nullopt;
    }
    return demo;
}

} // namespace lvdemo
