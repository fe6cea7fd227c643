// Brent's method: inverse quadratic interpolation or secant steps while they make good progress,
// bisection otherwise. Kept in a header so the function objects inline.

#include <cfloat>
#include <cmath>

namespace Tessarin {

template <class F>
float brentRoot(F f, float a, float b, float tolerance)
{
    constexpr int kMaxIterations = 200;
    float fa = f(a);
    float fb = f(b);
    if (fa == 0.0f) {
        return a;
    }
    if (fb == 0.0f) {
        return b;
    }
    if ((fa > 0.0f) == (fb > 0.0f)) {
        return 0.5f * (a + b);
    }
    float c = a;
    float fc = fa;
    float step = b - a;
    float previousStep = step;
    for (int iteration = 0; iteration < kMaxIterations; ++iteration) {
        if ((fb > 0.0f) == (fc > 0.0f)) {
            // Keep the root between b and c.
            c = a;
            fc = fa;
            step = previousStep = b - a;
        }
        if (std::fabs(fc) < std::fabs(fb)) {
            a = b;
            b = c;
            c = a;
            fa = fb;
            fb = fc;
            fc = fa;
        }
        const float slack = 2.0f * FLT_EPSILON * std::fabs(b) + 0.5f * tolerance;
        const float half = 0.5f * (c - b);
        if (std::fabs(half) <= slack || std::fabs(fb) <= tolerance) {
            return b;
        }
        if (std::fabs(previousStep) >= slack && std::fabs(fa) > std::fabs(fb)) {
            float p;
            float q;
            const float s = fb / fa;
            if (a == c) {
                p = 2.0f * half * s;
                q = 1.0f - s;
            } else {
                const float qa = fa / fc;
                const float r = fb / fc;
                p = s * (2.0f * half * qa * (qa - r) - (b - a) * (r - 1.0f));
                q = (qa - 1.0f) * (r - 1.0f) * (s - 1.0f);
            }
            if (p > 0.0f) {
                q = -q;
            } else {
                p = -p;
            }
            const float limit = std::fmin(3.0f * half * q - std::fabs(slack * q), std::fabs(previousStep * q));
            if (2.0f * p < limit) {
                previousStep = step;
                step = p / q;
            } else {
                step = half;
                previousStep = step;
            }
        } else {
            step = half;
            previousStep = step;
        }
        a = b;
        fa = fb;
        b += std::fabs(step) > slack ? step : std::copysign(slack, half);
        fb = f(b);
    }
    return b;
}

} // namespace Tessarin
