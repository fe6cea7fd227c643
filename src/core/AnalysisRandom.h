#pragma once

// The pseudo-random generator of one analysis. Every unit's analysis owns one, seeded from the unit
// itself (symbol and pitch), so the same unit always gives the same filler and noise values whatever
// else runs at the same time. There is no process-wide generator anywhere in the engine.

#include <cstdint>
#include <string_view>

namespace Tessarin {

class AnalysisRandom {
public:
    static constexpr int kMax = 32767; // draws lie in 0 .. kMax, like the C library's rand()

    explicit AnalysisRandom(std::uint64_t seed = 1) { reseed(seed); }

    // A generator whose sequence depends only on the unit's symbol and pitch.
    static AnalysisRandom forUnit(std::string_view symbol, std::string_view pitch);

    void reseed(std::uint64_t seed);

    // The next value in 0 .. kMax.
    int next();

    // A standard Gaussian value (Box–Muller over two draws of next(); a zero first draw is redrawn,
    // since its logarithm is infinite).
    float gaussian(float mean = 0.0f, float variance = 1.0f);

private:
    std::uint64_t m_state = 0;
};

} // namespace Tessarin
