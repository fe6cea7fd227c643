#include "dsp/Viterbi.h"

#include "core/CpuClones.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <stdexcept>

namespace Tessarin {

TS_ViterbiMatrix::TS_ViterbiMatrix()
{
    resize(2, 2);
}

void TS_ViterbiMatrix::resize(int rows, int cols)
{
    if (rows < 0 || cols < 0) {
        throw std::invalid_argument("TS_ViterbiMatrix: negative size");
    }
    const std::uint64_t count = std::uint64_t(rows) * std::uint64_t(cols);
    if (count > std::numeric_limits<std::uint32_t>::max() || count > std::uint64_t(std::numeric_limits<int>::max())) {
        throw std::length_error("TS_ViterbiMatrix: too many elements");
    }
    m_rows = rows;
    m_cols = cols;
    m_values.assign(std::uint32_t(count), 0.0);
}

void ViterbiDecoder::reset()
{
    m_pointers.clear();
    m_pointers.shrink_to_fit();
    m_frameCount = 0;
    m_nodes[0].clear();
    m_nodes[1].clear();
    m_current = 0;
    m_headState = -1;
    m_decoded = 0;
}

namespace {

// True when all eight values are +0 or −0; an integer test of the bits, which vectorises.
bool allZero(const double* v)
{
    std::uint64_t bits = 0;
    for (std::size_t k = 0; k < 8; ++k) {
        std::uint64_t b;
        std::memcpy(&b, v + k, sizeof b);
        bits |= b << 1; // drops the sign
    }
    return bits == 0;
}

// The first place of the largest of v[0 … count − 1] that is above 0, or count when none is; NaNs
// are passed over. Sixteen running maxima side by side (four independent vectors, so that one
// comparison need not wait for the last), each with the first place it was reached; the lanes then
// agree on the largest value (a maximum is exact) and its first place among them. The result does
// not depend on the instruction set the clone runs on.
typedef double Doubles4 __attribute__((vector_size(4 * sizeof(double))));
typedef std::int64_t Places4 __attribute__((vector_size(4 * sizeof(std::int64_t))));

LV_AVX2_CLONES std::size_t firstLargestPositive(const double* v, std::size_t count)
{
    constexpr std::size_t kVectors = 4;
    constexpr std::size_t kLanes = 4 * kVectors;
    Doubles4 lane[kVectors] = {};
    Places4 place[kVectors];
    Places4 at[kVectors];
    for (std::size_t k = 0; k < kVectors; ++k) {
        place[k] = Places4{-1, -1, -1, -1};
        const auto base = std::int64_t(4 * k);
        at[k] = Places4{base, base + 1, base + 2, base + 3};
    }
    const auto stride = std::int64_t(kLanes);
    const Places4 step = {stride, stride, stride, stride};
    std::size_t i = 0;
    for (; i + kLanes <= count; i += kLanes) {
        for (std::size_t k = 0; k < kVectors; ++k) {
            Doubles4 x;
            std::memcpy(&x, v + i + 4 * k, sizeof x);
            const Places4 larger = x > lane[k];
            lane[k] = larger ? x : lane[k];
            place[k] = larger ? at[k] : place[k];
            at[k] += step;
        }
    }
    double best = 0.0;
    std::int64_t first = -1;
    for (std::size_t k = 0; k < kVectors; ++k) {
        for (std::size_t l = 0; l < 4; ++l) {
            const double value = lane[k][l];
            const std::int64_t p = place[k][l];
            if (value > best || (p >= 0 && value == best && p < first)) {
                best = value;
                first = p;
            }
        }
    }
    // The last few come after every place above, so only a strictly larger one replaces.
    for (; i < count; ++i) {
        if (v[i] > best) {
            best = v[i];
            first = std::int64_t(i);
        }
    }
    return first < 0 ? count : std::size_t(first);
}

} // namespace

void ViterbiDecoder::setTransitions(const TS_ViterbiMatrix& transition)
{
    if (transition.rows() != transition.cols()) {
        throw std::invalid_argument("ViterbiDecoder: the transition matrix must be square");
    }
    m_states = transition.rows();
    const auto states = std::size_t(m_states);
    const std::span<const double> values = transition.values();
    // One row-major pass (the matrix may be large and is mostly zero) collects the non-zero
    // entries; a stable counting sort by column then keeps every column in ascending from-state.
    std::vector<std::uint32_t> entryColumn;
    std::vector<std::uint32_t> entryRow;
    std::vector<double> entryWeight;
    constexpr std::size_t kBlock = 8;
    for (std::size_t r = 0; r < states; ++r) {
        const double* row = values.data() + r * states;
        for (std::size_t c0 = 0; c0 < states; c0 += kBlock) {
            const std::size_t c1 = std::min(states, c0 + kBlock);
            if (c1 - c0 == kBlock && allZero(row + c0)) {
                continue;
            }
            for (std::size_t c = c0; c < c1; ++c) {
                if (row[c] != 0.0) {
                    entryColumn.push_back(std::uint32_t(c));
                    entryRow.push_back(std::uint32_t(r));
                    entryWeight.push_back(row[c]);
                }
            }
        }
    }
    m_columnStart.assign(states + 1, 0);
    for (const std::uint32_t c : entryColumn) {
        ++m_columnStart[c + 1];
    }
    for (std::size_t c = 0; c < states; ++c) {
        m_columnStart[c + 1] += m_columnStart[c];
    }
    m_from.resize(entryColumn.size());
    m_weight.resize(entryColumn.size());
    std::vector<std::size_t> fill(m_columnStart.begin(), m_columnStart.end() - 1);
    for (std::size_t e = 0; e < entryColumn.size(); ++e) {
        const std::size_t at = fill[entryColumn[e]]++;
        m_from[at] = int(entryRow[e]);
        m_weight[at] = entryWeight[e];
    }
    prepareColumns();
}

void ViterbiDecoder::setTransitions(std::vector<std::size_t> columnStart, std::vector<int> from,
                                    std::vector<double> weight)
{
    if (columnStart.empty() || columnStart.front() != 0 || columnStart.back() != from.size() ||
        from.size() != weight.size() || !std::is_sorted(columnStart.begin(), columnStart.end())) {
        throw std::invalid_argument("ViterbiDecoder: inconsistent transition columns");
    }
    const int states = int(columnStart.size() - 1);
    for (std::size_t c = 0; c + 1 < columnStart.size(); ++c) {
        for (std::size_t k = columnStart[c]; k < columnStart[c + 1]; ++k) {
            const bool ascending = k == columnStart[c] || from[k] > from[k - 1];
            if (from[k] < 0 || from[k] >= states || !ascending || !(weight[k] > 0.0)) {
                throw std::invalid_argument("ViterbiDecoder: inconsistent transition columns");
            }
        }
    }
    m_states = states;
    m_columnStart = std::move(columnStart);
    m_from = std::move(from);
    m_weight = std::move(weight);
    prepareColumns();
}

void ViterbiDecoder::prepareColumns()
{
    const auto states = std::size_t(m_states);
    // Each column as runs of consecutive from-states (a banded matrix gives one or two per column),
    // so that the step reads the previous scores as contiguous stretches.
    m_runStart.assign(states + 1, 0);
    m_runs.clear();
    for (std::size_t c = 0; c < states; ++c) {
        for (std::size_t k = m_columnStart[c]; k < m_columnStart[c + 1];) {
            std::size_t end = k + 1;
            while (end < m_columnStart[c + 1] && m_from[end] == m_from[end - 1] + 1) {
                ++end;
            }
            m_runs.push_back(Run{k, end - k});
            k = end;
        }
        m_runStart[c + 1] = m_runs.size();
    }
    m_products.assign(longestColumn(), 0.0);
    m_previousScore.assign(std::size_t(m_states), 0.0);
    m_previousNode.assign(std::size_t(m_states), nullptr);
    m_nodes[0].reserve(std::size_t(m_states));
    m_nodes[1].reserve(std::size_t(m_states));
    // The narrowest back-pointer that holds every position in a state's list of predecessors, and
    // one value more for a state without a node.
    const std::size_t longest = longestColumn();
    if (longest < 0xFF) {
        m_pointerWidth = 1;
        m_none = 0xFF;
    } else if (longest < 0xFFFF) {
        m_pointerWidth = 2;
        m_none = 0xFFFF;
    } else {
        m_pointerWidth = 4;
        m_none = 0xFFFFFFFF;
    }
}

std::size_t ViterbiDecoder::longestColumn() const
{
    std::size_t longest = 0;
    for (std::size_t c = 0; c + 1 < m_columnStart.size(); ++c) {
        longest = std::max(longest, m_columnStart[c + 1] - m_columnStart[c]);
    }
    return longest;
}

void ViterbiDecoder::reserveFrames(std::size_t frames)
{
    // Room for every frame's back-pointers now, rather than growth in the frame loop.
    m_pointers.reserve(frames * backPointerBytesPerFrame());
}

std::uint8_t* ViterbiDecoder::newFramePointers()
{
    const std::size_t frameBytes = backPointerBytesPerFrame();
    m_pointers.resize(m_pointers.size() + frameBytes, 0xFF); // all ones: no node
    return m_pointers.data() + m_pointers.size() - frameBytes;
}

void ViterbiDecoder::setPointer(std::uint8_t* frame, int state, std::uint32_t value) const
{
    std::uint8_t* at = frame + std::size_t(state) * m_pointerWidth;
    switch (m_pointerWidth) {
    case 1:
        *at = std::uint8_t(value);
        break;
    case 2: {
        const auto v = std::uint16_t(value);
        std::memcpy(at, &v, 2);
        break;
    }
    default:
        std::memcpy(at, &value, 4);
        break;
    }
}

std::uint32_t ViterbiDecoder::pointerAt(std::size_t frame, int state) const
{
    const std::uint8_t* at = m_pointers.data() + frame * backPointerBytesPerFrame() + std::size_t(state) * m_pointerWidth;
    switch (m_pointerWidth) {
    case 1:
        return *at;
    case 2: {
        std::uint16_t v;
        std::memcpy(&v, at, 2);
        return v;
    }
    default: {
        std::uint32_t v;
        std::memcpy(&v, at, 4);
        return v;
    }
    }
}

int ViterbiDecoder::predecessorState(std::size_t frame, int state) const
{
    if (frame == 0 || frame >= m_frameCount || state < 0 || state >= m_states) {
        return -1;
    }
    const std::uint32_t p = pointerAt(frame, state);
    return p == m_none ? -1 : m_from[m_columnStart[std::size_t(state)] + p];
}

void ViterbiDecoder::start(std::span<const double> initial, std::span<const double> observation)
{
    if (initial.size() != std::size_t(m_states) || observation.size() != std::size_t(m_states)) {
        throw std::invalid_argument("ViterbiDecoder::start: one value per state expected");
    }
    m_pointers.clear();
    m_frameCount = 0;
    m_headState = -1;
    m_decoded = 0;
    m_current = 0;
    std::vector<TS_ViterbiPathNode>& nodes = m_nodes[m_current];
    nodes.clear();
    newFramePointers(); // frame 0 has no predecessors; its slot stays all ones
    ++m_frameCount;
    double best = -1.0;
    for (int j = 0; j < m_states; ++j) {
        const double score = initial[std::size_t(j)] * observation[std::size_t(j)];
        if (score > 0.0) {
            nodes.emplace_back(nullptr, j, score);
            if (score > best) {
                best = score;
                m_headState = j;
            }
        }
    }
    if (m_headState >= 0) {
        m_decoded = 1;
    }
}

// Also built for AVX2: the products are multiplications alone and the choice is exact, so every
// version gives the same nodes.
LV_AVX2_CLONES void ViterbiDecoder::step(std::span<const double> observation)
{
    if (observation.size() != std::size_t(m_states)) {
        throw std::invalid_argument("ViterbiDecoder::step: one value per state expected");
    }
    if (m_frameCount == 0) {
        throw std::logic_error("ViterbiDecoder::step before start");
    }
    std::fill(m_previousScore.begin(), m_previousScore.end(), 0.0);
    for (const TS_ViterbiPathNode& node : m_nodes[m_current]) {
        m_previousScore[std::size_t(node.state)] = node.score;
        m_previousNode[std::size_t(node.state)] = &node;
    }
    m_current = 1 - m_current;
    std::vector<TS_ViterbiPathNode>& nodes = m_nodes[m_current];
    nodes.clear(); // capacity for every state, reserved with the transitions
    std::uint8_t* pointers = newFramePointers();
    ++m_frameCount;

    double best = -10.0;
    double least = 10.0;
    int bestState = -1;
    for (int j = 0; j < m_states; ++j) {
        const double obs = observation[std::size_t(j)];
        if (!(obs > 0.0)) {
            continue;
        }
        // Every product into j, then the first place of the largest positive one: the choice of
        // keeping the first strictly larger product in one pass. States without a node read score 0, and their product (0) never beats a
        // positive one; a NaN product is never the maximum.
        const std::size_t first = m_columnStart[std::size_t(j)];
        const std::size_t count = m_columnStart[std::size_t(j) + 1] - first;
        double* products = m_products.data();
        for (std::size_t r = m_runStart[std::size_t(j)]; r < m_runStart[std::size_t(j) + 1]; ++r) {
            const Run run = m_runs[r];
            const double* score = m_previousScore.data() + m_from[run.first];
            const double* weight = m_weight.data() + run.first;
            double* out = products + (run.first - first);
            for (std::size_t t = 0; t < run.length; ++t) {
                out[t] = score[t] * weight[t] * obs;
            }
        }
        const std::size_t place = firstLargestPositive(products, count);
        if (place == count) {
            continue;
        }
        const double maxScore = products[place];
        const std::size_t chosen = first + place;
        const int from = m_from[chosen];
        nodes.emplace_back(m_previousNode[std::size_t(from)], j, maxScore);
        setPointer(pointers, j, std::uint32_t(chosen - first));
        if (maxScore > best) {
            best = maxScore;
            bestState = j;
        }
        if (maxScore < least) {
            least = maxScore;
        }
    }
    if (bestState < 0) {
        return;
    }
    ++m_decoded;
    m_headState = bestState;
    if (least < kRenormaliseBelow) {
        for (TS_ViterbiPathNode& node : nodes) {
            node.score /= least;
        }
    }
}

void ViterbiDecoder::backTrack(std::vector<int>& path) const
{
    path.clear();
    if (m_decoded == 0 || m_headState < 0) {
        return;
    }
    // Decoded frames are 0 … m_decoded − 1: once a frame keeps no node, none after it can.
    path.resize(std::size_t(m_decoded));
    int state = m_headState;
    for (std::size_t f = path.size(); f-- > 0;) {
        path[f] = state;
        if (f == 0) {
            break;
        }
        state = predecessorState(f, state);
        if (state < 0) {
            // Cannot happen: every node after the first frame has a predecessor. Keep what was
            // followed rather than index with −1.
            path.erase(path.begin(), path.begin() + std::ptrdiff_t(f));
            return;
        }
    }
}

} // namespace Tessarin
