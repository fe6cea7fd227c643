#pragma once

// A piecewise-linear lookup over ascending x values, clamped to the end values outside them. The
// segment of the last lookup is cached, so lookups of slowly moving x walk only a step or two.

#include <span>
#include <vector>

namespace Tessarin {

class LinearTable {
public:
    LinearTable() = default;
    LinearTable(std::span<const float> x, std::span<const float> y) { assign(x, y); }

    // x ascending; x and y of equal length (the shorter length is used).
    void assign(std::span<const float> x, std::span<const float> y);
    float lookup(float x);
    int count() const { return int(m_x.size()); }

private:
    std::vector<float> m_x;
    std::vector<float> m_y;
    int m_cached = 0;
};

} // namespace Tessarin
