#pragma once

// The spectrogram's column store: for one loaded file, one column per 5 ms, each the spectrum of a
// 1024-sample frame around the column's time as 513 colours (bin 512 first, bin 0 last, so that a
// column reads top to bottom). A colour is kept as its index in the colour map's palette: two bytes
// a pixel, so that the store of a 10-minute recording takes 124 MB rather than 186 MB.
//
// Threading: reset() runs while no other thread uses the store. Afterwards any number of threads may
// call ensureColumn() and tryComputeColumn() at once: a column is claimed by exactly one thread,
// computed once, and published to the others; a thread that needs a column another is computing
// waits for it.

#include "dsp/Spectrum.h"
#include "ui/spectrogram/SpectrogramColours.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

namespace TessarinEditor {

// Computes single columns; holds the frame, window and transform buffers of one thread.
class SpecColumnComputer {
public:
    static constexpr int kFrameLength = 1024;
    static constexpr int kRows = kFrameLength / 2 + 1; // 513 bins, k × rate ÷ 1024 Hz

    SpecColumnComputer();

    // Column i of the 16-bit samples (each read as value ÷ 32767) at rate [Hz]: the frame centred on
    // sample trunc(i × 0.005 × rate), samples outside the file read as 0, Blackman-Harris window of
    // unit sum, levels in dB, each through the colour map. Writes kRows palette indexes, bin 512
    // first.
    void compute(const std::int16_t* samples, std::int64_t sampleCount, double sampleRate, std::int64_t column,
                 SpecColourIndex* out);

    // The levels [dB] of the last computed column, bin 0 first (for tests).
    const std::vector<float>& levels() const { return m_levels; }

private:
    Tessarin::FreqBox m_box;
    std::vector<float> m_window;
    std::vector<float> m_frame;
    std::vector<float> m_levels;
};

class SpecColumnStore {
public:
    static constexpr int kRows = SpecColumnComputer::kRows;
    static constexpr std::size_t kColumnBytes = std::size_t(kRows) * sizeof(SpecColourIndex);

    SpecColumnStore();
    ~SpecColumnStore();
    SpecColumnStore(const SpecColumnStore&) = delete;
    SpecColumnStore& operator=(const SpecColumnStore&) = delete;

    // A new file: columnCount columns, none computed. The samples are not owned and must stay while
    // the store uses them. False (and an empty store) when the memory cannot be had.
    bool reset(const std::int16_t* samples, std::int64_t sampleCount, double sampleRate, std::int64_t columnCount);
    // Forgets the file.
    void clear();

    const std::int16_t* samples() const { return m_samples; }
    std::int64_t sampleCount() const { return m_sampleCount; }
    double sampleRate() const { return m_sampleRate; }
    std::int64_t columnCount() const { return m_columnCount; }

    bool isComputed(std::int64_t column) const;
    std::int64_t computedColumns() const { return m_computed.load(std::memory_order_acquire); }
    bool isComplete() const { return computedColumns() >= m_columnCount; }
    // How many columns were computed since the reset, counting any repeat (for tests: equals
    // computedColumns() when nothing is computed twice).
    std::int64_t computations() const { return m_computations.load(std::memory_order_relaxed); }

    // The column's kRows palette indexes, computing it with computer first when needed (or waiting
    // while another thread computes it). column must lie inside the store.
    const SpecColourIndex* ensureColumn(std::int64_t column, SpecColumnComputer& computer);
    // Computes the column when no thread has claimed it yet; false when it was taken or computed.
    bool tryComputeColumn(std::int64_t column, SpecColumnComputer& computer);

private:
    enum : std::uint8_t { kFree = 0, kComputing = 1, kDone = 2 };

    SpecColourIndex* columnData(std::int64_t column) const { return m_pixels.get() + std::size_t(column) * kRows; }
    void computeClaimed(std::int64_t column, SpecColumnComputer& computer);

    const std::int16_t* m_samples = nullptr;
    std::int64_t m_sampleCount = 0;
    double m_sampleRate = 0.0;
    std::int64_t m_columnCount = 0;
    std::unique_ptr<std::atomic<std::uint8_t>[]> m_state;
    // Left uninitialised: a page is only touched when one of its columns is computed.
    std::unique_ptr<SpecColourIndex[]> m_pixels;
    std::atomic<std::int64_t> m_computed{0};
    std::atomic<std::int64_t> m_computations{0};
};

} // namespace TessarinEditor
