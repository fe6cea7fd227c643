#include "ui/TickClock.h"

#include <atomic>
#include <chrono>

namespace TessarinEditor {

namespace {

std::int64_t steadyTickMs()
{
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

std::atomic<TickSource> g_source{nullptr};

} // namespace

std::int64_t tickMs()
{
    const TickSource source = g_source.load(std::memory_order_acquire);
    return source ? source() : steadyTickMs();
}

TickSource setTickSource(TickSource source)
{
    return g_source.exchange(source, std::memory_order_acq_rel);
}

} // namespace TessarinEditor
