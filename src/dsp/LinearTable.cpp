#include "dsp/LinearTable.h"

#include <algorithm>

namespace Tessarin {

void LinearTable::assign(std::span<const float> x, std::span<const float> y)
{
    const std::size_t n = std::min(x.size(), y.size());
    m_x.assign(x.begin(), x.begin() + long(n));
    m_y.assign(y.begin(), y.begin() + long(n));
    m_cached = 0;
}

float LinearTable::lookup(float x)
{
    const int n = count();
    if (n == 0) {
        return 0.0f;
    }
    if (x <= m_x.front()) {
        return m_y.front();
    }
    if (x >= m_x.back()) {
        return m_y.back();
    }
    // Find i with x_i < x ≤ x_(i+1): backwards from the cached segment first, then forwards.
    int i = std::clamp(m_cached, 0, n - 2);
    while (i > 0 && x <= m_x[std::size_t(i)]) {
        --i;
    }
    while (x > m_x[std::size_t(i) + 1]) {
        ++i;
    }
    m_cached = i;
    const float x0 = m_x[std::size_t(i)];
    const float x1 = m_x[std::size_t(i) + 1];
    const float a = (x1 - x) / (x1 - x0);
    return m_y[std::size_t(i) + 1] * (1.0f - a) + m_y[std::size_t(i)] * a;
}

} // namespace Tessarin
