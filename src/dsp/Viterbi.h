#pragma once

// The state-sequence search behind the pitch tracker: a dense matrix of doubles, the path nodes
// and the decoder that keeps, frame by frame, the best path into every state.
//
// Single-threaded; one decoder serves one track at a time.

#include "core/FastVector.h"

#include <cstddef>
#include <cstdint>
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

    // Frees every frame's back-pointers; no head, no decoded frame.
    void reset();

    // Takes the transition matrix (row = from-state, column = to-state, square) for the following
    // start and steps. Only its non-zero entries are kept: a zero transition can never carry the
    // best path, since a path is kept only with a score above 0. Call before start.
    void setTransitions(const TS_ViterbiMatrix& transition);
    // The same from the non-zero transitions alone, by to-state: those into state j are from[k],
    // weight[k] for k = columnStart[j] … columnStart[j + 1] − 1, in ascending from-state, every
    // weight above 0. columnStart has states + 1 entries, the first 0. A banded model need not
    // build its mostly zero square matrix.
    void setTransitions(std::vector<std::size_t> columnStart, std::vector<int> from, std::vector<double> weight);

    // Optional: room for this many frames' back-pointers, so that the frame loop does not allocate.
    void reserveFrames(std::size_t frames);

    // First frame: a node for every state whose initial · observation is above 0; the first
    // largest becomes head. Both spans have one value per state. Resets the decoder first.
    void start(std::span<const double> initial, std::span<const double> observation);

    // Next frame: for every state with a positive observation, the best predecessor of the last
    // frame (first largest product, above 0) gives a node. A frame without any node leaves head and
    // the decoded-frame count as they were.
    void step(std::span<const double> observation);

    // One state per decoded frame, followed back from head; empty when nothing was decoded.
    void backTrack(std::vector<int>& path) const;

    int decodedFrames() const { return m_decoded; }
    // The state of the best node of the last decoded frame, −1 when there is none.
    int headState() const { return m_headState; }
    std::size_t frameListCount() const { return m_frameCount; }
    // The nodes of the frame last started or stepped, in ascending state; their predecessors are
    // the nodes of the frame before it (valid until the next step).
    std::span<const TS_ViterbiPathNode> lastFrame() const { return m_nodes[m_current]; }
    // The state from which frame f's node of `state` came; −1 for frame 0 and where frame f has no
    // node of that state. Kept for every frame of the decoding.
    int predecessorState(std::size_t frame, int state) const;

    // Bytes of back-pointers kept per frame: one per state, two or four only when some state has
    // more than 254 (65534) possible predecessors. The scores and nodes of older frames are not kept.
    std::size_t backPointerBytesPerFrame() const { return std::size_t(m_states) * m_pointerWidth; }

private:
    // The back-pointer of a node: the position of its predecessor in its state's list of possible
    // predecessors (m_from from m_columnStart[state]); all ones where the state has no node.
    std::uint32_t pointerAt(std::size_t frame, int state) const;
    std::uint8_t* newFramePointers(); // all ones, for the next frame
    void setPointer(std::uint8_t* frame, int state, std::uint32_t value) const;

    // The non-zero transitions by to-state: those into state j are m_from[k], m_weight[k] for
    // k = m_columnStart[j] … m_columnStart[j + 1] − 1, in ascending from-state.
    int m_states = 0;
    std::vector<std::size_t> m_columnStart;
    std::vector<int> m_from;
    std::vector<double> m_weight;
    // Column j's entries as runs of consecutive from-states: m_runs[m_runStart[j] … m_runStart[j + 1]).
    struct Run {
        std::size_t first;  // into m_from and m_weight
        std::size_t length;
    };
    std::vector<std::size_t> m_runStart;
    std::vector<Run> m_runs;
    std::vector<double> m_products; // a column's products in one step
    std::size_t longestColumn() const;
    void prepareColumns(); // the runs, the scratch and the back-pointer width of the columns
    std::size_t m_pointerWidth = 1; // bytes per back-pointer
    std::uint32_t m_none = 0xFF;    // the back-pointer of a state without a node

    // Frame f's back-pointers at f · backPointerBytesPerFrame() (frame 0's are all ones).
    std::vector<std::uint8_t> m_pointers;
    std::size_t m_frameCount = 0;

    // The nodes of the last two frames (m_current, and the other one before it), and a dense view
    // of the previous frame: score (0 when the state has no node) and node.
    std::vector<TS_ViterbiPathNode> m_nodes[2];
    std::size_t m_current = 0;
    std::vector<double> m_previousScore;
    std::vector<const TS_ViterbiPathNode*> m_previousNode;

    int m_headState = -1;
    int m_decoded = 0;
};

} // namespace Tessarin
