// Harvest when memory runs out part way: the builder reports such a unit as an error and goes on
// with the next one on the same thread, so what a failed call leaves behind must not change, or
// crash, the next call. A program of its own: it replaces the allocation functions, so that the n-th
// allocation of one call on one thread can be made to fail.

#include "core/AnalysisConstants.h"
#include "dsp/Harvest.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <new>
#include <thread>
#include <vector>

namespace {

thread_local long t_failAt = 0; // the allocation of this thread that fails (counting from 1); 0: none
thread_local long t_count = 0;

void* allocate(std::size_t size, std::size_t alignment)
{
    if (t_failAt > 0 && ++t_count == t_failAt) {
        throw std::bad_alloc();
    }
    const std::size_t bytes = size == 0 ? 1 : size;
    void* p = alignment <= alignof(std::max_align_t)
                  ? std::malloc(bytes)
                  : std::aligned_alloc(alignment, (bytes + alignment - 1) / alignment * alignment);
    if (p == nullptr) {
        throw std::bad_alloc();
    }
    return p;
}

} // namespace

// GCC takes the replaced functions for a mismatched pair (malloc'd memory given to delete).
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"
#endif

void* operator new(std::size_t size) { return allocate(size, 0); }
void* operator new[](std::size_t size) { return allocate(size, 0); }
void* operator new(std::size_t size, std::align_val_t a) { return allocate(size, std::size_t(a)); }
void* operator new[](std::size_t size, std::align_val_t a) { return allocate(size, std::size_t(a)); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

std::vector<double> tone(double seconds, double hz)
{
    std::vector<double> x(std::size_t(seconds * Tessarin::kSampleRate));
    for (std::size_t i = 0; i < x.size(); ++i) {
        const double phase = 2.0 * Tessarin::kPi * hz * double(i) / Tessarin::kSampleRate;
        x[i] = 0.3 * std::sin(phase) + 0.1 * std::sin(2.0 * phase) + 0.05 * std::sin(3.0 * phase);
    }
    return x;
}

} // namespace

TEST(HarvestAllocation, ACallThatRanOutOfMemoryLeavesTheNextCallAsOnAFreshThread)
{
    const std::vector<double> x = tone(0.25, 220.0);
    const Tessarin::HarvestOptions options;
    std::vector<double> fresh;
    std::thread([&] { fresh = Tessarin::harvest(x, Tessarin::kSampleRate, options).f0; }).join();
    ASSERT_FALSE(fresh.empty());

    // Every allocation of the first call on a new thread in turn, until the call no longer fails.
    int failed = 0;
    for (long n = 1; n < 100000; ++n) {
        bool threw = false;
        std::vector<double> after;
        std::thread([&] {
            t_failAt = n;
            t_count = 0;
            try {
                Tessarin::harvest(x, Tessarin::kSampleRate, options);
            } catch (const std::bad_alloc&) {
                threw = true;
            }
            t_failAt = 0;
            after = Tessarin::harvest(x, Tessarin::kSampleRate, options).f0;
        }).join();
        ASSERT_EQ(after, fresh) << "after allocation " << n << " failed";
        if (!threw) {
            break;
        }
        ++failed;
    }
    EXPECT_GT(failed, 50); // the tables, the filter bank, the candidates: many places were tried
}
