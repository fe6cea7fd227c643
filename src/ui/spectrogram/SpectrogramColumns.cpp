#include "ui/spectrogram/SpectrogramColumns.h"

#include "audio/CWavBuf.h"
#include "dsp/Windows.h"
#include "ui/spectrogram/SpectrogramJobs.h"

#include <algorithm>
#include <new>
#include <thread>

namespace TessarinEditor {

SpecColumnComputer::SpecColumnComputer()
    : m_box(kFrameLength), m_window(kFrameLength), m_frame(kFrameLength), m_levels(kRows)
{
    Tessarin::blackmanHarrisWindow(m_window);
    Tessarin::normaliseToUnitSum(m_window);
}

void SpecColumnComputer::compute(const std::int16_t* samples, std::int64_t sampleCount, double sampleRate,
                                 std::int64_t column, SpecColourIndex* out)
{
    const auto centre = std::int64_t(double(column) * kSpecHopSeconds * sampleRate);
    // The frame as Tessarin::cutFrame takes it from floats: the part inside the file, zeros around.
    const std::int64_t start = centre - kFrameLength / 2;
    const std::int64_t first = std::clamp<std::int64_t>(-start, 0, kFrameLength);
    const std::int64_t last = std::clamp<std::int64_t>(sampleCount - start, 0, kFrameLength);
    std::fill(m_frame.begin(), m_frame.end(), 0.0f);
    for (std::int64_t i = first; i < last; ++i) {
        m_frame[std::size_t(i)] = sampleOf16Value(samples[start + i]);
    }
    m_box.loadZeroPhase(m_frame, m_window);
    m_box.forward();
    m_box.powerLevels(m_levels);
    for (int row = 0; row < kRows; ++row) {
        out[row] = spectrogramColourIndex(m_levels[std::size_t(kRows - 1 - row)]);
    }
}

SpecColumnStore::SpecColumnStore() = default;

SpecColumnStore::~SpecColumnStore() = default;

bool SpecColumnStore::reset(const std::int16_t* samples, std::int64_t sampleCount, double sampleRate, std::int64_t columnCount)
{
    clear();
    if (!samples || sampleCount <= 0 || !(sampleRate > 0.0) || columnCount <= 0) {
        return false;
    }
    try {
        // value-initialised: every column starts free
        m_state = std::make_unique<std::atomic<std::uint8_t>[]>(std::size_t(columnCount));
        m_pixels = std::make_unique_for_overwrite<SpecColourIndex[]>(std::size_t(columnCount) * kRows);
    } catch (const std::bad_alloc&) {
        clear();
        return false;
    }
    m_samples = samples;
    m_sampleCount = sampleCount;
    m_sampleRate = sampleRate;
    m_columnCount = columnCount;
    return true;
}

void SpecColumnStore::clear()
{
    m_state.reset();
    m_pixels.reset();
    m_samples = nullptr;
    m_sampleCount = 0;
    m_sampleRate = 0.0;
    m_columnCount = 0;
    m_computed.store(0, std::memory_order_release);
    m_computations.store(0, std::memory_order_relaxed);
}

bool SpecColumnStore::isComputed(std::int64_t column) const
{
    return column >= 0 && column < m_columnCount && m_state[std::size_t(column)].load(std::memory_order_acquire) == kDone;
}

void SpecColumnStore::computeClaimed(std::int64_t column, SpecColumnComputer& computer)
{
    computer.compute(m_samples, m_sampleCount, m_sampleRate, column, columnData(column));
    m_computations.fetch_add(1, std::memory_order_relaxed);
    m_state[std::size_t(column)].store(kDone, std::memory_order_release);
    m_computed.fetch_add(1, std::memory_order_acq_rel);
}

bool SpecColumnStore::tryComputeColumn(std::int64_t column, SpecColumnComputer& computer)
{
    std::uint8_t expected = kFree;
    if (!m_state[std::size_t(column)].compare_exchange_strong(expected, kComputing, std::memory_order_acq_rel)) {
        return false;
    }
    computeClaimed(column, computer);
    return true;
}

const SpecColourIndex* SpecColumnStore::ensureColumn(std::int64_t column, SpecColumnComputer& computer)
{
    std::atomic<std::uint8_t>& state = m_state[std::size_t(column)];
    std::uint8_t seen = state.load(std::memory_order_acquire);
    if (seen == kFree && tryComputeColumn(column, computer)) {
        return columnData(column);
    }
    // Another thread computes it: one column takes tens of microseconds.
    while (state.load(std::memory_order_acquire) != kDone) {
        std::this_thread::yield();
    }
    return columnData(column);
}

} // namespace TessarinEditor
