#include "dsp/Viterbi.h"

#include <algorithm>
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
    m_rows = rows;
    m_cols = cols;
    m_values.assign(std::uint32_t(rows) * std::uint32_t(cols), 0.0);
}

void TS_ViterbiMatrix::fill(double value)
{
    for (double& v : m_values.span()) {
        v = value;
    }
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

void ViterbiDecoder::setTransitions(const TS_ViterbiMatrix& transition)
{
    if (transition.rows() != transition.cols()) {
        throw std::invalid_argument("ViterbiDecoder: the transition matrix must be square");
    }
    m_states = transition.rows();
    m_columnRuns.assign(std::size_t(m_states) + 1, 0);
    m_runs.clear();
    m_runValues.clear();
    for (int to = 0; to < m_states; ++to) {
        m_columnRuns[std::size_t(to)] = m_runs.size();
        int from = 0;
        while (from < m_states) {
            if (transition.at(from, to) == 0.0) {
                ++from;
                continue;
            }
            Run run{from, 0, m_runValues.size()};
            while (from < m_states && transition.at(from, to) != 0.0) {
                m_runValues.push_back(transition.at(from, to));
                ++run.count;
                ++from;
            }
            m_runs.push_back(run);
        }
    }
    m_columnRuns[std::size_t(m_states)] = m_runs.size();
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
            node = TS_ViterbiPathNode(nullptr, j, score);
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
        for (std::size_t r = m_columnRuns[std::size_t(j)]; r < m_columnRuns[std::size_t(j) + 1]; ++r) {
            const Run& run = m_runs[r];
            const double* score = m_previousScore.data() + run.firstState;
            const double* weight = m_runValues.data() + run.values;
            for (int k = 0; k < run.count; ++k) {
                const double v = score[k] * weight[k] * obs;
                if (v > maxScore) {
                    maxScore = v;
                    from = run.firstState + k;
                }
            }
        }
        if (from < 0) {
            continue;
        }
        TS_ViterbiPathNode& node = nodes[count++];
        node = TS_ViterbiPathNode(m_previousNode[std::size_t(from)], j, maxScore);
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
