#pragma once

// The noise bands of a short-time spectrum: one FFT bin wide up to about 3 kHz, then spread evenly
// on a warped frequency scale u(f) = 5000 · ln(1 + f / 15000) up to half the sample rate. Each band's
// level is 10 · log10 of its weighted power sum; the weights of every band add up to 1.
//
// Immutable after construction; levels() allocates nothing.

#include "core/FastVector.h"
#include "dsp/Spectrum.h"

#include <span>
#include <vector>

namespace Tessarin {

class NoiseFilterBank {
public:
    NoiseFilterBank(float sampleRate = 44100.0f, int n = 512, int bandCount = 128);

    int bandCount() const { return m_bandCount; }
    float sampleRate() const { return m_sampleRate; } // [Hz]
    int transformSize() const { return m_n; }
    int linearBandCount() const { return m_linearCount; }
    float centre(int band) const { return m_centres[std::size_t(band)]; }        // [Hz]
    int startBin(int band) const { return m_startBins[std::size_t(band)]; }
    int weightCount(int band) const { return m_weightCounts[std::size_t(band)]; }
    std::span<const float> weights(int band) const;

    // [dB]; negative infinity for a band without power.
    float bandLevel(int band, const FreqBox& spectrum) const;
    // One level per band, band 0 first; out holds bandCount() values.
    void levels(const FreqBox& spectrum, std::span<float> out) const;

private:
    std::vector<float> m_centres;
    std::vector<int> m_startBins;
    std::vector<int> m_weightOffsets;
    std::vector<int> m_weightCounts;
    FastVector<float> m_weights;
    float m_sampleRate;
    int m_n;
    int m_bandCount;
    int m_linearCount = 0;
};

} // namespace Tessarin
