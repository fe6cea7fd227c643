#pragma once

// Sung units with known boundaries for measuring the marker estimator: the demo singer's units and
// those of a second singer (another timbre, f0 110 … 880 Hz, a wider vibrato, plosives, fricatives,
// nasals, glides and vowels alone, with durations that vary from unit to unit), each recorded clean
// (a background at −60 dBFS) or hard (a breathy voice with weaker consonants, noise at −45 dBFS and
// a small room's reverberation). Deterministic.
//
// The true markers come from the synthesis timeline, read with the meanings the estimator is built
// for, which differ in places from the markers the demo writes into its voice.lvcfg:
//   CV  connect point: the first sound after the leading silence (for a plosive after silence, its
//       burst: the closure before it is silent); preutterance: the vowel's segment start; vowel
//       start: when the formants have arrived (60 ms after the vowel begins when they move, else
//       25 ms, the voicing's rise); vowel end: the vowel's segment end, where its fade begins.
//   VX  connect point: the first vowel's onset transition over, as for the CV vowel start; tail
//       point: the end of the last sound with its fade (25 ms for a voiced sound, 5 ms for noise):
//       a consonant's end, or the end of the vowel's fade for a tail; for vowel to vowel, the
//       second vowel's transition over.
//   INDIE the breath's segment start and end.

#include "demo/DemoSinger.h"
#include "support/SungUnits.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

namespace lvbench {

struct TestUnit {
    std::string voice;  // "demo" or "second"
    std::string symbol;
    std::string kind;
    std::string pitch;
    std::string consonantClass; // plosive, fricative, nasal, glide, vowel, tail, vc, vv, breath
    lvdemo::UnitPlan plan;
    lvdemo::SingerVoice singer;
    double f0Hz = 0.0;
    std::vector<double> truth;
};

inline constexpr double kVoicingRiseSec = 0.025;  // the singer's level glide into a segment
inline constexpr double kFormantMoveSec = 0.06;   // and its formant glide
inline constexpr double kNoiseRiseSec = 0.005;    // and its noise level's glide

inline std::string consonantClassOf(const lvdemo::Segment& s)
{
    switch (s.kind) {
    case lvdemo::Segment::Burst: return "plosive";
    case lvdemo::Segment::Frication: return "fricative";
    case lvdemo::Segment::Nasal: return "nasal";
    case lvdemo::Segment::Glide: return "glide";
    default: return "vowel";
    }
}

// The true markers of a plan, as the header describes them.
inline std::vector<double> trueMarkers(const lvdemo::UnitPlan& plan, const lvdemo::SingerVoice& voice)
{
    using lvdemo::Segment;
    std::vector<double> starts;
    double t = 0;
    for (const Segment& s : plan.timeline) {
        starts.push_back(t);
        t += s.seconds;
    }
    // Which phone the formants point at when each segment begins (the singer starts on a's).
    std::vector<std::string> formantsBefore;
    std::string current = "a";
    for (const Segment& s : plan.timeline) {
        if (voice.startOnFirstFormants && (s.kind == Segment::Vowel || s.kind == Segment::Nasal || s.kind == Segment::Glide)) {
            current = s.phone;
            break;
        }
    }
    for (const Segment& s : plan.timeline) {
        formantsBefore.push_back(current);
        if (s.kind == Segment::Vowel || s.kind == Segment::Nasal || s.kind == Segment::Glide) {
            current = s.phone;
        } else if (voice.consonantLoci && (s.kind == Segment::Burst || s.kind == Segment::Frication) && s.phone != "h") {
            current = "locus " + s.phone;
        }
    }
    auto settle = [&](std::size_t i) {
        return starts[i] + (formantsBefore[i] != plan.timeline[i].phone ? kFormantMoveSec : kVoicingRiseSec);
    };
    std::size_t firstSound = 0, firstVowel = plan.timeline.size(), lastSound = 0;
    for (std::size_t i = 0; i < plan.timeline.size(); ++i) {
        const Segment::Kind k = plan.timeline[i].kind;
        if (k != Segment::Silence) {
            if (firstSound == 0 && starts[i] > 0) {
                firstSound = i;
            }
            lastSound = i;
        }
        if (k == Segment::Vowel && firstVowel == plan.timeline.size()) {
            firstVowel = i;
        }
    }
    const double end = starts[lastSound] + plan.timeline[lastSound].seconds;
    if (plan.kind == "CV") {
        return {starts[firstSound], starts[firstVowel], settle(firstVowel), starts[firstVowel] + plan.timeline[firstVowel].seconds};
    }
    if (plan.kind == "VX") {
        const bool toVowel = lastSound > firstVowel && plan.timeline[lastSound].kind == Segment::Vowel;
        // A voiced sound fades over the level glide; noise stops within 5 ms.
        const lvdemo::Segment::Kind lastKind = plan.timeline[lastSound].kind;
        const bool voicedEnd = lastKind == Segment::Vowel || lastKind == Segment::Nasal || lastKind == Segment::Glide;
        return {settle(firstVowel), toVowel ? settle(lastSound) : end + (voicedEnd ? kVoicingRiseSec : kNoiseRiseSec)};
    }
    return {starts[firstSound], end};
}

inline TestUnit testUnit(std::string voice, lvdemo::UnitPlan plan, const std::string& pitch, std::string consonantClass,
                         const lvdemo::SingerVoice& singer)
{
    TestUnit u;
    u.voice = std::move(voice);
    u.symbol = plan.symbol;
    u.kind = plan.kind;
    u.pitch = pitch;
    u.consonantClass = std::move(consonantClass);
    u.singer = singer;
    u.f0Hz = lvdemo::pitchFrequency(pitch);
    u.truth = trueMarkers(plan, singer);
    u.plan = std::move(plan);
    return u;
}

inline std::vector<TestUnit> demoVoiceUnits()
{
    std::vector<TestUnit> units;
    for (const std::string pitch : {"C4", "E4", "G4"}) {
        for (const lvdemo::UnitPlan& plan : lvdemo::demoUnits()) {
            std::string cls = "breath";
            if (plan.kind == "CV") {
                cls = consonantClassOf(plan.timeline[plan.timeline[1].kind == lvdemo::Segment::Silence ? 2 : 1]);
            } else if (plan.kind == "VX") {
                const std::size_t last = plan.timeline.size() - 2;
                cls = plan.timeline[last].kind == lvdemo::Segment::Vowel ? (last == 1 ? "tail" : "vv") : "vc";
            }
            units.push_back(testUnit("demo", plan, pitch, cls, lvdemo::SingerVoice{}));
        }
    }
    return units;
}

// A second singer: a shorter vocal tract, a wider and faster vibrato, consonants with places of
// articulation, and durations drawn per unit.
inline std::vector<TestUnit> secondVoiceUnits()
{
    using lvdemo::Segment;
    const lvdemo::SingerVoice singer = lvtest::secondSinger();

    std::uint64_t state = 0x2545F4914F6CDD1Dull;
    auto draw = [&state](double lo, double hi) { // a linear congruential generator, top 53 bits
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        return lo + (hi - lo) * double(state >> 11) / 9007199254740992.0;
    };
    const std::vector<std::string> vowels{"a", "e", "i", "o", "u"};
    const std::vector<std::pair<std::string, Segment::Kind>> consonants{
        {"p", Segment::Burst}, {"t", Segment::Burst},     {"k", Segment::Burst},     {"s", Segment::Frication},
        {"sh", Segment::Frication}, {"f", Segment::Frication}, {"h", Segment::Frication}, {"m", Segment::Nasal},
        {"n", Segment::Nasal}, {"w", Segment::Glide},     {"j", Segment::Glide},     {"r", Segment::Glide},
        {"", Segment::Vowel}};
    auto consonantPart = [&](const std::string& c, Segment::Kind k) {
        std::vector<Segment> part;
        if (k == Segment::Burst) {
            part.push_back({Segment::Silence, "", draw(0.03, 0.07)});
            part.push_back({Segment::Burst, c, draw(0.012, 0.045)});
        } else if (k == Segment::Frication) {
            part.push_back({Segment::Frication, c, draw(0.08, 0.16)});
        } else if (k == Segment::Nasal || k == Segment::Glide) {
            part.push_back({k, c, draw(0.07, 0.16)});
        }
        return part;
    };
    std::vector<TestUnit> units;
    std::size_t turn = 0;
    for (const std::string pitch : {"A2", "A3", "E4", "A4", "E5", "A5"}) {
        auto add = [&](lvdemo::UnitPlan plan, const std::string& cls) {
            units.push_back(testUnit("second", std::move(plan), pitch, cls, singer));
        };
        for (const auto& [c, k] : consonants) {
            for (int twice = 0; twice < 2; ++twice) {
                const std::string& v = vowels[turn++ % vowels.size()];
                lvdemo::UnitPlan plan{c + v, "CV", {{Segment::Silence, "", draw(0.12, 0.3)}}, {}};
                const auto part = consonantPart(c, k);
                plan.timeline.insert(plan.timeline.end(), part.begin(), part.end());
                plan.timeline.push_back({Segment::Vowel, v, draw(0.35, 0.9)});
                plan.timeline.push_back({Segment::Silence, "", draw(0.12, 0.25)});
                add(plan, k == Segment::Vowel ? "vowel" : consonantClassOf(part.back()));
            }
        }
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string& v = vowels[turn++ % vowels.size()];
            add({v + "_-", "VX", {{Segment::Silence, "", draw(0.1, 0.25)}, {Segment::Vowel, v, draw(0.3, 0.7)}, {Segment::Silence, "", 0.3}}, {}},
                "tail");
        }
        for (const auto& [c, k] : consonants) {
            if (k == Segment::Vowel || c == "h") {
                continue;
            }
            const std::string& v = vowels[turn++ % vowels.size()];
            lvdemo::UnitPlan plan{v + "_" + c, "VX", {{Segment::Silence, "", draw(0.1, 0.25)}, {Segment::Vowel, v, draw(0.3, 0.6)}}, {}};
            const auto part = consonantPart(c, k);
            plan.timeline.insert(plan.timeline.end(), part.begin(), part.end());
            plan.timeline.push_back({Segment::Silence, "", draw(0.15, 0.3)});
            add(plan, "vc");
        }
        {
            const std::string& v = vowels[turn++ % vowels.size()];
            const std::string& w = vowels[(turn + 2) % vowels.size()];
            add({v + "_" + w, "VX",
                 {{Segment::Silence, "", draw(0.1, 0.2)}, {Segment::Vowel, v, draw(0.3, 0.5)}, {Segment::Vowel, w, draw(0.35, 0.5)},
                  {Segment::Silence, "", 0.15}},
                 {}},
                "vv");
        }
        add({"br", "INDIE", {{Segment::Silence, "", draw(0.1, 0.25)}, {Segment::Breath, "", draw(0.3, 0.6)}, {Segment::Silence, "", 0.25}}, {}},
            "breath");
    }
    return units;
}

// The recording of a unit: clean (white noise at −60 dBFS) or hard (the voice breathier, its
// consonants 6 dB weaker, a small room's reverberation, noise at −45 dBFS); 16-bit samples.
inline std::vector<float> recordUnit(const TestUnit& unit, bool hard)
{
    lvdemo::SingerVoice singer = unit.singer;
    if (hard) {
        singer.rd = std::min(2.4f, singer.rd + 0.9f);
        singer.aspiration = 0.08;
        singer.consonantGain = 0.5;
    }
    std::vector<float> x = lvdemo::singUnit(unit.plan, unit.f0Hz, unit.pitch, singer);
    if (hard) {
        lvtest::reverberate(x);
    }
    const std::uint64_t seed = 0x9E3779B97F4A7C15ull ^ std::hash<std::string>{}(unit.voice + unit.symbol + unit.pitch);
    return lvtest::toFloat(lvtest::recordOverNoise(x, hard ? -45.0 : -60.0, seed));
}

} // namespace lvbench
