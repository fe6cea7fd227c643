// Accuracy of the marker estimator over sung units with known boundaries (EstimatorVoices.h): for
// each voice and recording condition, the median and 95th percentile of the absolute error of
// every marker [ms], the units without a proposal and those whose markers are out of order.
//   lv_estimator_accuracy [--units]   (--units also prints every unit's truth and estimate)

#include "EstimatorVoices.h"
#include "engine/MarkerEstimator.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {

double percentile(std::vector<double> v, double p)
{
    if (v.empty()) {
        return NAN;
    }
    std::sort(v.begin(), v.end());
    const double at = p * double(v.size() - 1);
    const auto i = std::size_t(at);
    const double frac = at - double(i);
    return i + 1 < v.size() ? v[i] + (v[i + 1] - v[i]) * frac : v[i];
}

const char* markerName(const std::string& kind, std::size_t i)
{
    static const char* cv[] = {"CV connect point", "CV preutterance", "CV vowel start", "CV vowel end"};
    static const char* vx[] = {"VX connect point", "VX tail point"};
    static const char* indie[] = {"INDIE start", "INDIE end"};
    return kind == "CV" ? cv[i] : kind == "VX" ? vx[i] : indie[i];
}

} // namespace

int main(int argc, char** argv)
{
    const bool perUnit = argc > 1 && std::strcmp(argv[1], "--units") == 0;
    std::vector<lvbench::TestUnit> units = lvbench::demoVoiceUnits();
    const std::vector<lvbench::TestUnit> second = lvbench::secondVoiceUnits();
    units.insert(units.end(), second.begin(), second.end());

    for (const bool hard : {false, true}) {
        // voice → marker → errors [ms]
        std::map<std::string, std::map<std::string, std::vector<double>>> errors;
        std::map<std::string, int> total, none, disordered;
        std::map<std::string, std::map<std::string, std::vector<double>>> byClass; // vv kept apart
        for (const lvbench::TestUnit& u : units) {
            const std::vector<float> x = lvbench::recordUnit(u, hard);
            const auto m = TessarinEngineV6::estimateMarkers(x.data(), x.size(), 44100, u.kind);
            ++total[u.voice];
            if (!m) {
                ++none[u.voice];
                if (perUnit) {
                    std::printf("%s %s %s %s %s: none\n", hard ? "hard" : "clean", u.voice.c_str(), u.pitch.c_str(),
                                u.symbol.c_str(), u.consonantClass.c_str());
                }
                continue;
            }
            if (!std::is_sorted(m->begin(), m->end())) {
                ++disordered[u.voice];
            }
            for (std::size_t i = 0; i < m->size(); ++i) {
                const double e = std::fabs((*m)[i] - u.truth[i]) * 1000.0;
                // Vowel to vowel has no consonant to end on; its tail is reported on its own line.
                const std::string name = std::string(markerName(u.kind, i)) + (u.consonantClass == "vv" && i == 1 ? " (V-V)" : "");
                errors[u.voice][name].push_back(e);
            }
            if (perUnit) {
                std::printf("%s %s %s %s %s:", hard ? "hard" : "clean", u.voice.c_str(), u.pitch.c_str(), u.symbol.c_str(),
                            u.consonantClass.c_str());
                for (std::size_t i = 0; i < m->size(); ++i) {
                    std::printf("  %.3f/%.3f (%+.0f)", u.truth[i], (*m)[i], ((*m)[i] - u.truth[i]) * 1000.0);
                }
                std::printf("\n");
            }
        }
        std::printf("\n== %s recordings\n", hard ? "hard" : "clean");
        std::printf("%-8s %-26s %6s %9s %9s\n", "voice", "marker", "units", "median", "95th pct");
        for (const auto& [voice, markers] : errors) {
            for (const auto& [name, e] : markers) {
                std::printf("%-8s %-26s %6zu %9.1f %9.1f\n", voice.c_str(), name.c_str(), e.size(), percentile(e, 0.5),
                            percentile(e, 0.95));
            }
            std::printf("%-8s units %d, without a proposal %d, markers out of order %d\n", voice.c_str(), total[voice], none[voice],
                        disordered[voice]);
        }
    }
    return 0;
}
