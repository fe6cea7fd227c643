#include "dsp/Viterbi.h"

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
    m_frames.clear();
    m_chunks.clear(); // destroys every node
    m_chunkUsed = 0;
    m_chunkSize = 0;
    m_head = nullptr;
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
    m_previousScore.assign(std::size_t(m_states), 0.0);
    m_previousNode.assign(std::size_t(m_states), nullptr);
}

void ViterbiDecoder::reserveFrames(std::size_t frames)
{
    m_frames.reserve(frames);
}

void ViterbiDecoder::ensureChunkRoom()
{
    // A frame holds at most one node per state; a chunk holds many frames' worth.
    constexpr std::size_t kFramesPerChunk = 64;
    const auto states = std::size_t(std::max(m_states, 1));
    if (m_chunks.empty() || m_chunkSize - m_chunkUsed < states) {
        m_chunkSize = states * kFramesPerChunk;
        m_chunks.push_back(std::make_unique<TS_ViterbiPathNode[]>(m_chunkSize));
        m_chunkUsed = 0;
    }
}

std::span<TS_ViterbiPathNode> ViterbiDecoder::beginFrame()
{
    ensureChunkRoom();
    return {m_chunks.back().get() + m_chunkUsed, 0};
}

void ViterbiDecoder::start(std::span<const double> initial, std::span<const double> observation)
{
    if (initial.size() != std::size_t(m_states) || observation.size() != std::size_t(m_states)) {
        throw std::invalid_argument("ViterbiDecoder::start: one value per state expected");
    }
    reset();
    std::span<TS_ViterbiPathNode> list = beginFrame();
    TS_ViterbiPathNode* nodes = list.data();
    std::size_t count = 0;
    double best = -1.0;
    for (int j = 0; j < m_states; ++j) {
        const double score = initial[std::size_t(j)] * observation[std::size_t(j)];
        if (score > 0.0) {
            TS_ViterbiPathNode& node = nodes[count++];
            node.predecessor = nullptr;
            node.state = j;
            node.score = score;
            if (score > best) {
                best = score;
                m_head = &node;
            }
        }
    }
    m_chunkUsed += count;
    m_frames.push_back({nodes, count});
    if (m_head != nullptr) {
        m_decoded = 1;
    }
}

void ViterbiDecoder::step(std::span<const double> observation)
{
    if (observation.size() != std::size_t(m_states)) {
        throw std::invalid_argument("ViterbiDecoder::step: one value per state expected");
    }
    if (m_frames.empty()) {
        throw std::logic_error("ViterbiDecoder::step before start");
    }
    std::fill(m_previousScore.begin(), m_previousScore.end(), 0.0);
    for (const TS_ViterbiPathNode& node : m_frames.back()) {
        m_previousScore[std::size_t(node.state)] = node.score;
        m_previousNode[std::size_t(node.state)] = &node;
    }

    std::span<TS_ViterbiPathNode> list = beginFrame();
    TS_ViterbiPathNode* nodes = list.data();
    std::size_t count = 0;
    double best = -10.0;
    double least = 10.0;
    const TS_ViterbiPathNode* bestNode = nullptr;
    for (int j = 0; j < m_states; ++j) {
        const double obs = observation[std::size_t(j)];
        if (!(obs > 0.0)) {
            continue;
        }
        // States without a node read score 0, and their product (0) never beats a positive one,
        // so scanning them keeps the first largest positive product over the previous list.
        double maxScore = 0.0;
        int from = -1;
        for (std::size_t k = m_columnStart[std::size_t(j)]; k < m_columnStart[std::size_t(j) + 1]; ++k) {
            const double v = m_previousScore[std::size_t(m_from[k])] * m_weight[k] * obs;
            if (v > maxScore) {
                maxScore = v;
                from = m_from[k];
            }
        }
        if (from < 0) {
            continue;
        }
        TS_ViterbiPathNode& node = nodes[count++];
        node.predecessor = m_previousNode[std::size_t(from)];
        node.state = j;
        node.score = maxScore;
        if (maxScore > best) {
            best = maxScore;
            bestNode = &node;
        }
        if (maxScore < least) {
            least = maxScore;
        }
    }
    m_chunkUsed += count;
    m_frames.push_back({nodes, count});
    if (bestNode == nullptr) {
        return;
    }
    ++m_decoded;
    m_head = bestNode;
    if (least < kRenormaliseBelow) {
        for (std::size_t i = 0; i < count; ++i) {
            nodes[i].score /= least;
        }
    }
}

void ViterbiDecoder::backTrack(std::vector<int>& path) const
{
    path.clear();
    if (m_decoded == 0 || m_head == nullptr) {
        return;
    }
    path.resize(std::size_t(m_decoded));
    const TS_ViterbiPathNode* node = m_head;
    for (std::size_t i = path.size(); i-- > 0;) {
        if (node == nullptr) {
            // Cannot happen: every node after the first frame has a predecessor. Keep what
            // was followed rather than read through a null pointer.
            path.erase(path.begin(), path.begin() + std::ptrdiff_t(i + 1));
            return;
        }
        path[i] = node->state;
        node = node->predecessor;
    }
}

} // namespace Tessarin
