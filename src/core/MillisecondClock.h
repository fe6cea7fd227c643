#pragma once

// The program's millisecond tick: the time base of the short waits a user feels (the marker clip
// player's request throttle, the tooltip delay). One clock serves the whole process; it is the
// monotonic system clock unless a test installs a clock of its own.
//
// Thread-safe: tickMs() may be called from any thread, also while a clock is being installed.

#include <atomic>
#include <cstdint>

namespace Tessarin {

class MillisecondClock {
public:
    virtual ~MillisecondClock() = default;
    // [ms] since an arbitrary origin; never decreases for the system clock.
    virtual std::uint64_t nowMs() const = 0;
};

// std::chrono::steady_clock in whole milliseconds.
class SteadyMillisecondClock final : public MillisecondClock {
public:
    std::uint64_t nowMs() const override;
};

// A clock that moves only when told to, for tests and simulations.
class ManualMillisecondClock final : public MillisecondClock {
public:
    explicit ManualMillisecondClock(std::uint64_t startMs = 0) : m_now(startMs) {}
    std::uint64_t nowMs() const override { return m_now.load(std::memory_order_acquire); }
    void set(std::uint64_t ms) { m_now.store(ms, std::memory_order_release); }
    void advance(std::uint64_t ms) { m_now.fetch_add(ms, std::memory_order_acq_rel); }

private:
    std::atomic<std::uint64_t> m_now;
};

// The process's clock, read now.
std::uint64_t tickMs();

// Makes clock the process's clock (nullptr: the system clock again) and returns the one it
// replaces. The caller keeps an installed clock alive until it is replaced.
MillisecondClock* installProcessClock(MillisecondClock* clock);

// Installs a clock for the lifetime of a scope and puts the previous one back.
class ScopedProcessClock {
public:
    explicit ScopedProcessClock(MillisecondClock& clock) : m_previous(installProcessClock(&clock)) {}
    ~ScopedProcessClock() { installProcessClock(m_previous); }
    ScopedProcessClock(const ScopedProcessClock&) = delete;
    ScopedProcessClock& operator=(const ScopedProcessClock&) = delete;

private:
    MillisecondClock* m_previous;
};

} // namespace Tessarin
