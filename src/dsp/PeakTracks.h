#pragma once

// The harmonic description of a source: for every frame of its f0 track one list of points
// (frequency [Hz], level [dB], phase [rad] at the frame centre) in harmonic order. Point j is
// harmonic j + 1; an unvoiced frame has no points, so frame indexes always match the f0 track's.

#include "core/FastVector.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace Tessarin {

struct HarmonicFrame {
    FastVector<float> frequencies; // [Hz]
    FastVector<float> levels;      // [dB]
    FastVector<float> phases;      // [rad]

    // The three arrays grow together; a frame read from a damaged file may not, and then only the
    // points present in all three count.
    std::uint32_t pointCount() const
    {
        return std::min({frequencies.size(), levels.size(), phases.size()});
    }
};

class PeakTracks {
public:
    PeakTracks() = default;
    virtual ~PeakTracks() = default;
    PeakTracks(PeakTracks&&) = default;
    PeakTracks& operator=(PeakTracks&&) = default;

    // Empties the tracks. The frames' storage is kept for the frames added next, so refilling the
    // tracks allocates nothing per frame.
    void clear()
    {
        for (std::unique_ptr<HarmonicFrame>& frame : frames) {
            frame->frequencies.clear();
            frame->levels.clear();
            frame->phases.clear();
            m_spare.push_back(std::move(frame));
        }
        frames.clear();
    }
    HarmonicFrame& addFrame()
    {
        if (m_spare.empty()) {
            frames.push_back(std::make_unique<HarmonicFrame>());
        } else {
            frames.push_back(std::move(m_spare.back()));
            m_spare.pop_back();
        }
        return *frames.back();
    }
    // Room for this many frames.
    void reserveFrames(std::size_t count)
    {
        frames.reserve(count);
        m_spare.reserve(count);
    }
    // Takes the frames of other (which is left empty) as storage for the frames added here later.
    void takeStorageOf(PeakTracks& other)
    {
        other.clear();
        m_spare.reserve(m_spare.size() + other.m_spare.size());
        for (std::unique_ptr<HarmonicFrame>& frame : other.m_spare) {
            m_spare.push_back(std::move(frame));
        }
        other.m_spare.clear();
    }
    static void appendPoint(HarmonicFrame& frame, float frequencyHz, float levelDb, float phaseRad)
    {
        frame.frequencies.push_back(frequencyHz);
        frame.levels.push_back(levelDb);
        frame.phases.push_back(phaseRad);
    }
    std::size_t frameCount() const { return frames.size(); }

    std::vector<std::unique_ptr<HarmonicFrame>> frames;
    int largestPointCount = -1; // the most points of any voiced frame; −1 until one is measured

private:
    std::vector<std::unique_ptr<HarmonicFrame>> m_spare; // emptied frames, kept for reuse
};

} // namespace Tessarin
