#include "core/AnalysisRandom.h"

#include "core/AnalysisConstants.h"

#include <cmath>

namespace Tessarin {

namespace {

// FNV-1a over the bytes, so the seed is the same on every platform and in every build.
std::uint64_t fnv1a(std::uint64_t hash, std::string_view text)
{
    for (const char c : text) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001b3ull;
    }
    return hash;
}

} // namespace

AnalysisRandom AnalysisRandom::forUnit(std::string_view symbol, std::string_view pitch)
{
    std::uint64_t h = fnv1a(0xcbf29ce484222325ull, symbol);
    h = fnv1a(h ^ 0xff, pitch); // the separator keeps ("ab", "c") apart from ("a", "bc")
    return AnalysisRandom(h);
}

void AnalysisRandom::reseed(std::uint64_t seed)
{
    // splitmix64 of the seed, so that nearby seeds start far apart.
    std::uint64_t z = seed + 0x9e3779b97f4a7c15ull;
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    m_state = z ^ (z >> 31);
    if (m_state == 0) {
        m_state = 0x853c49e6748fea9bull; // xorshift has no way out of zero
    }
}

int AnalysisRandom::next()
{
    // xorshift64*: fast, full period 2^64 − 1; the top 15 bits are the draw.
    m_state ^= m_state >> 12;
    m_state ^= m_state << 25;
    m_state ^= m_state >> 27;
    const std::uint64_t out = m_state * 0x2545f4914f6cdd1dull;
    return static_cast<int>(out >> 49);
}

float AnalysisRandom::gaussian(float mean, float variance)
{
    int first = next();
    while (first == 0) {
        first = next();
    }
    const float u1 = float(first) / float(kMax);
    const float u2 = float(next()) / float(kMax);
    return mean + std::sqrt(-2.0f * std::log(u1) * variance) * std::cos(kTwoPiF * u2);
}

} // namespace Tessarin
