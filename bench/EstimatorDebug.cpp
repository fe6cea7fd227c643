#include "EstimatorVoices.h"
#include "engine/MarkerEstimator.h"
#include <cstdio>
int main(int argc, char** argv) {
  auto units = lvbench::secondVoiceUnits();
  auto demo = lvbench::demoVoiceUnits();
  units.insert(units.end(), demo.begin(), demo.end());
  for (auto& u : units) {
    if (u.pitch != argv[1] || u.symbol != argv[2] || u.voice != argv[3]) continue;
    auto x = lvbench::recordUnit(u, argc > 4);
    auto e = TessarinEngineV6::estimateUnit(x.data(), x.size(), 44100, u.kind);
    std::printf("truth:");
    for (double t : u.truth) std::printf(" %.3f", t);
    std::printf("\n");
    if (!e) { std::printf("none\n"); continue; }
    std::printf("sound %.3f-%.3f voiced %.3f-%.3f bg %.1f\nmarkers:", e->soundStart, e->soundEnd, e->voicedStart, e->voicedEnd, e->backgroundDb);
    for (double t : e->markers) std::printf(" %.3f", t);
    std::printf("\n");
  }
}
