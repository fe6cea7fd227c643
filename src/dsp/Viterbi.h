#pragma once

// The state-sequence search behind the pitch tracker: a dense matrix of doubles, the path nodes
// and the decoder that keeps, frame by frame, the best path into every state.
//
// Single-threaded; one decoder serves one track at a time.

#include "core/FastVector.h"

#include <cstddef>
#include <memory>
#include <span>
#include <vector>

namespace Tessarin {

// Row-major dense matrix; element (r, c) is values[r · cols + c].
class TS_ViterbiMatrix {
public:
    TS_ViterbiMatrix(); // 2 × 2, all zero
    virtual ~TS_ViterbiMatrix() = default;
    TS_ViterbiMatrix(const TS_ViterbiMatrix&) = delete;
    TS_ViterbiMatrix& operator=(const TS_ViterbiMatrix&) = delete;

    // Resizes to rows × cols and sets every element to 0. Throws std::invalid_argument for a
    // negative size and std::length_error beyond 2³¹ − 1 elements.
    void resize(int rows, int cols);

    int rows() const { return m_rows; }
    int cols() const { return m_cols; }
    double& at(int r, int c) { return m_values[std::uint32_t(r * m_cols + c)]; }
    double at(int r, int c) const { return m_values[std::uint32_t(r * m_cols + c)]; }
    std::span<double> values() { return m_values.span(); }
    std::span<const double> values() const { return m_values.span(); }

private:
    FastVector<double> m_values;
    int m_rows = 0;
    int m_cols = 0;
};

// One surviving hypothesis of one frame.
class TS_ViterbiPathNode {
public:
    TS_ViterbiPathNode() = default;
    TS_ViterbiPathNode(const TS_ViterbiPathNode* predecessor_, int state_, double score_)
        : predecessor(predecessor_), state(state_), score(score_)
    {
    }
    virtual ~TS_ViterbiPathNode() = default;

    const TS_ViterbiPathNode* predecessor = nullptr; // node of the previous frame; null in the first
    int state = 0;
    double score = 0.0; // path probability, rescaled now and then to stay in range
};

class ViterbiDecoder {
public:
    // A frame whose smallest surviving score falls below this is rescaled by that score.
    static constexpr double kRenormaliseBelow = 1e-6;

    ViterbiDecoder() = default;
    ViterbiDecoder(const ViterbiDecoder&) = delete;
    ViterbiDecoder& operator=(const ViterbiDecoder&) = delete;

    // Frees every node and frame list; no head, no decoded frame.
    void reset();

    // Takes the transition matrix (row = from-state, column = to-state, square) for the following
    // start and steps. Only its non-zero entries are kept: a zero transition can never carry the
    // best path, since a path is kept only with a score above 0. Call before start.
    void setTransitions(const TS_ViterbiMatrix& transition);

    // Optional: room for this many frame lists, so that the frame loop does not reallocate them.
    void reserveFrames(std::size_t frames);

    // First frame: a node for every state whose initial · observation is above 0; the first
    // largest becomes head. Both spans have one value per state. Resets the decoder first.
    void start(std::span<const double> initial, std::span<const double> observation);

    // Next frame: for every state with a positive observation, the best predecessor of the last
    // frame list (first largest product, above 0) gives a node. A frame without any node adds an
    // empty list and leaves head and the decoded-frame count as they were.
    void step(std::span<const double> observation);

    // One state per decoded frame, followed back from head; empty when nothing was decoded.
    void backTrack(std::vector<int>& path) const;

    int decodedFrames() const { return m_decoded; }
    const TS_ViterbiPathNode* head() const { return m_head; }
    std::size_t frameListCount() const { return m_frames.size(); }
    std::span<const TS_ViterbiPathNode> frameList(std::size_t i) const { return m_frames[i]; }

private:
    // Nodes live in large chunks so that a frame does not allocate per node; a frame's nodes are
    // contiguous in one chunk, and never move, so predecessor pointers stay valid.
    std::span<TS_ViterbiPathNode> beginFrame();
    void ensureChunkRoom();

    // The non-zero transitions by to-state: those into state j are m_from[k], m_weight[k] for
    // k = m_columnStart[j] … m_columnStart[j + 1] − 1, in ascending from-state.
    int m_states = 0;
    std::vector<std::size_t> m_columnStart;
    std::vector<int> m_from;
    std::vector<double> m_weight;

    std::vector<std::unique_ptr<TS_ViterbiPathNode[]>> m_chunks;
    std::size_t m_chunkUsed = 0;
    std::size_t m_chunkSize = 0;
    std::vector<std::span<TS_ViterbiPathNode>> m_frames;

    // Dense view of the previous frame list: score (0 when the state has no node) and node.
    std::vector<double> m_previousScore;
    std::vector<const TS_ViterbiPathNode*> m_previousNode;

    const TS_ViterbiPathNode* m_head = nullptr;
    int m_decoded = 0;
};

} // namespace Tessarin
