#include "dsp/Windows.h"

#include <cmath>

namespace Tessarin {

namespace {

// x = i / (N − 1); a one-point window sits at x = 0.
float position(std::size_t i, std::size_t n)
{
    return n > 1 ? float(i) / float(n - 1) : 0.0f;
}

} // namespace

void blackmanHarrisWindow(std::span<float> w)
{
    const std::size_t n = w.size();
    for (std::size_t i = 0; i < n; ++i) {
        const float x = position(i, n);
        w[i] = 0.35875f - 0.48829f * std::cos(kTwoPiF * x) + 0.14128f * std::cos(2.0f * kTwoPiF * x) -
               0.01168f * std::cos(3.0f * kTwoPiF * x);
    }
}

void blackmanWindow(std::span<float> w)
{
    const std::size_t n = w.size();
    for (std::size_t i = 0; i < n; ++i) {
        const float x = position(i, n);
        w[i] = 0.42f - 0.5f * std::cos(kTwoPiF * x) + 0.08f * std::cos(2.0f * kTwoPiF * x);
    }
    if (n > 0) {
        w[0] = 0.0f;
        w[n - 1] = 0.0f;
    }
}

void hannWindow(std::span<float> w)
{
    const std::size_t n = w.size();
    for (std::size_t i = 0; i < n; ++i) {
        w[i] = 0.5f * (1.0f - std::cos(kTwoPiF * position(i, n)));
    }
}

void triangularWindow(std::span<float> w)
{
    const std::size_t n = w.size();
    if (n % 2 == 1) {
        const std::size_t h = n / 2;
        for (std::size_t k = 1; k <= h + 1; ++k) {
            const float v = float(k) / float(h + 1);
            w[k - 1] = v;
            w[n - k] = v;
        }
    } else {
        const std::size_t h = n / 2;
        for (std::size_t k = 1; k <= h; ++k) {
            const float v = (float(k) - 0.5f) / float(h);
            w[k - 1] = v;
            w[n - k] = v;
        }
    }
}

void normaliseToUnitSum(std::span<float> w)
{
    float sum = 0.0f;
    for (const float v : w) {
        sum += v;
    }
    if (sum == 0.0f) {
        return; // an all-zero window has no unit-sum form
    }
    const float scale = 1.0f / sum;
    for (float& v : w) {
        v *= scale;
    }
}

} // namespace Tessarin
