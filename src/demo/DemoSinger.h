#pragma once

// A synthetic singer for the demo and the end-to-end tests: an LF glottal source with vibrato,
// jitter and shimmer through formant resonators, aspiration noise, noise bursts and frication for
// unvoiced consonants, a voiced murmur for nasals, and a filtered-noise breath. It writes a complete
// project: one recording per unit and pitch, a voice.lvcfg per wav location with the markers taken
// from the synthesis timeline, and a project file whose dictionary implies exactly the units
// recorded. Everything is deterministic: the same folder gets the same bytes every time.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace lvdemo {

// One sound of a recording's timeline.
struct Segment {
    enum Kind { Silence, Vowel, Nasal, Burst, Frication, Breath, Glide };
    Kind kind = Silence;
    // a, i, e, o, u (vowels); n, m (nasals); k, t, p (bursts); s, sh, f, h (frication); w, j, r (glides)
    std::string phone;
    double seconds = 0.0;
};

struct UnitPlan {
    std::string symbol;
    std::string kind; // "CV", "VX" or "INDIE"
    std::vector<Segment> timeline;
    // Marker times [s] from the file start: CV connect point, preutterance, vowel start, vowel end;
    // VX connect point, tail point; INDIE start point, end point.
    std::vector<double> markers;
};

struct DemoOptions {
    std::vector<std::string> pitches{"C4", "E4", "G4"};
    std::vector<std::string> vowels{"a", "i"};
    std::vector<std::string> voiced{"n", "m"};
    std::vector<std::string> unvoiced{"k", "s", "t"};
    std::string breath = "br";
};

// The smallest demo with every kind of unit: C4; a; n; k (8 units with the breath).
DemoOptions smallDemoOptions();

// Every unit the demo dictionary implies, with its recording plan.
std::vector<UnitPlan> demoUnits(const DemoOptions& options = {});

// How the singer sounds. The defaults are the demo's voice; other values give other singers for
// measurements over more than one timbre.
struct SingerVoice {
    double formantScale = 1.0;   // every formant frequency times this (a shorter vocal tract above 1)
    double bandwidthScale = 1.0; // every formant bandwidth times this
    // The first formant raised to 1.1 f0 where it lies lower, as singers tune it on high notes.
    bool tuneFirstFormant = false;
    float rd = 1.2f;             // the glottal pulse's shape (higher: softer, breathier)
    double aspiration = 0.02;    // Gaussian noise in the glottal source, re its peak
    double vibratoCents = 25.0;  // depth either side, reached 0.2 … 0.4 s into the recording
    double vibratoHz = 5.5;
    double consonantGain = 1.0;  // level of bursts and frication
    // Unvoiced consonants set the formants to their place of articulation, so the vowel after them
    // glides from there; the demo's keep the formants they find.
    bool consonantLoci = false;
    // The formants start where the first voiced sound wants them; the demo's start on an a.
    bool startOnFirstFormants = false;
};

// The recording of one unit at one pitch [Hz], 44100 Hz, −1 … 1.
std::vector<float> singUnit(const UnitPlan& unit, double f0Hz, const std::string& pitchName,
                            const SingerVoice& voice = {});

// Frequency of a pitch name such as C4 or F#3 [Hz] (A4 = 440 Hz).
double pitchFrequency(const std::string& pitch);

// The project stores its folders relative to dir (wav/C4, models, bank); these are absolute.
struct DemoProject {
    std::filesystem::path projectFile; // dir/demo.lvtb
    std::filesystem::path modelFolder; // dir/models
    std::filesystem::path bankFolder;  // dir/bank
    std::vector<std::filesystem::path> wavLocations;
    int recordings = 0;
};

// Writes recordings, voice.lvcfg files and demo.lvtb into dir (created when missing). None, with
// error set, when a file cannot be written.
std::optional<DemoProject> writeDemoProject(const std::filesystem::path& dir, std::string& error,
                                            const DemoOptions& options = {});

} // namespace lvdemo
