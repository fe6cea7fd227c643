#include "core/MillisecondClock.h"

#include <chrono>

namespace Tessarin {

namespace {
SteadyMillisecondClock g_systemClock;
std::atomic<MillisecondClock*> g_processClock{&g_systemClock};
} // namespace

std::uint64_t SteadyMillisecondClock::nowMs() const
{
    const auto since = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

std::uint64_t tickMs()
{
    return g_processClock.load(std::memory_order_acquire)->nowMs();
}

MillisecondClock* installProcessClock(MillisecondClock* clock)
{
    MillisecondClock* previous = g_processClock.exchange(clock != nullptr ? clock : &g_systemClock,
                                                         std::memory_order_acq_rel);
    return previous == &g_systemClock ? nullptr : previous;
}

} // namespace Tessarin
