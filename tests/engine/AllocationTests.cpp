// Allocations counted per frame: this executable replaces the global operator new, so that the
// analysis and the model file reader can be shown to allocate nothing inside their frame loops. The
// measure is the difference between a unit and a unit twice as long: whatever a unit allocates once
// (its model's tracks, the renderer's noise bank) cancels, and whatever a frame allocates is left.

#include "engine/AnalysisPipeline.h"
#include "engine/ModelFile.h"
#include "support/SyntheticVoice.h"
#include "dsp/PitchTracker.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

std::atomic<bool> g_counting{false};
std::atomic<long> g_allocations{0};

void* allocate(std::size_t n)
{
    if (g_counting.load(std::memory_order_relaxed)) {
        g_allocations.fetch_add(1, std::memory_order_relaxed);
    }
    if (void* p = std::malloc(n == 0 ? 1 : n)) {
        return p;
    }
    throw std::bad_alloc();
}

// Allocations made while f runs.
template <class F>
long allocationsOf(F&& f)
{
    g_allocations = 0;
    g_counting = true;
    f();
    g_counting = false;
    return g_allocations.load();
}

} // namespace

void* operator new(std::size_t n) { return allocate(n); }
void* operator new[](std::size_t n) { return allocate(n); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }

using namespace TessarinEngineV6;
using TSVM_V0::TsVoiceModel;

namespace {

std::vector<float> vowel(double seconds)
{
    lvtest::SungVowel v;
    v.f0Hz = 196.0;
    v.seconds = seconds;
    v.breath = 0.05;
    return lvtest::singVowel(v);
}

// Voiced at 196 Hz, with unvoiced frames now and then.
void knownPitch(std::span<const float> samples, bool, Tessarin::FastVector<float>& f0)
{
    f0.assign(std::uint32_t(samples.size() / 128 + 1), 196.0f);
    for (std::uint32_t i = 0; i < f0.size(); i += 37) {
        f0[i] = 0.0f;
    }
}

} // namespace

TEST(AllocationsPerFrame, TheAnalysisOfAUnitAllocatesNothingPerFrame)
{
    const std::vector<float> shorter = vowel(0.6);
    const std::vector<float> longer = vowel(1.2);
    const AnalysisSettings settings;
    AnalysisScratch scratch;
    auto analyseOnce = [&](const std::vector<float>& samples) {
        TsVoiceModel model;
        Tessarin::AnalysisRandom random(5);
        analyse(settings, samples, model, false, random, knownPitch, scratch);
        scratch.reclaim(model); // as a builder worker does once the model is packed
    };
    analyseOnce(longer); // the scratch grows to a unit of this length once
    const long few = allocationsOf([&] { analyseOnce(shorter); });
    const long many = allocationsOf([&] { analyseOnce(longer); });
    const long extraFrames = long(longer.size() / 128 - shorter.size() / 128);
    EXPECT_EQ(many - few, 0) << few << " allocations for " << shorter.size() / 128 << " frames, " << many << " for "
                             << longer.size() / 128 << " (" << extraFrames << " frames more)";
    EXPECT_GT(few, 0); // the counting works: a model's tracks are allocated
}

TEST(AllocationsPerFrame, ThePitchTrackerAllocatesNothingPerFrame)
{
    const std::vector<float> shorter = vowel(0.6);
    const std::vector<float> longer = vowel(1.2);
    const std::vector<float> hint(longer.size() / 128 + 1, 196.0f);
    Tessarin::PitchTracker tracker;
    Tessarin::FastVector<float> f0;
    tracker.Track(longer, hint, f0);
    const long few = allocationsOf([&] { tracker.Track(shorter, hint, f0); });
    const long many = allocationsOf([&] { tracker.Track(longer, hint, f0); });
    EXPECT_EQ(many - few, 0) << few << " and " << many << " allocations";
}

TEST(AllocationsPerFrame, AModelFileIsReadWithoutAnAllocationPerFrame)
{
    // Model payloads of 40 and 80 frames with phases and envelopes in every voiced frame.
    auto payloadOf = [](int frames) {
        TsVoiceModel m;
        for (int i = 0; i < frames; ++i) {
            const bool voiced = i % 5 != 0;
            m.f0.push_back(voiced ? 200.0f : 0.0f);
            m.noiseEnvelope.appendFrame(std::vector<float>(128, -50.0f));
            m.harmonicPhase.appendFrame(std::vector<float>(voiced ? 110 : 0, 0.25f));
            m.spectralEnvelope.appendFrame(std::vector<float>(voiced ? 256 : 0, -20.0f));
            m.glottalIndex.push_back(100);
            m.glottalGain.push_back(-3.0f);
            m.bandLevels.appendFrame(std::vector<float>(5, 0.01f));
            m.pulseRatio.push_back(0.5f);
            m.peaks.addFrame();
        }
        TSVM_V0::TsVoiceModelCompact compact;
        TSVM_V0::toCompact(m, compact);
        compact.packedPeaks.clear();
        Tessarin::CMemoryBuffer payload;
        Tessarin::AnalysisRandom random(1);
        TSVM_V0::buildModelPayload(std::vector<std::int32_t>(8, 0), compact, random, payload);
        return payload;
    };
    Tessarin::CMemoryBuffer few = payloadOf(40);
    Tessarin::CMemoryBuffer many = payloadOf(80);
    long fewAllocations = 0;
    long manyAllocations = 0;
    fewAllocations = allocationsOf([&] { EXPECT_TRUE(TSVM_V0::readModelPayload(few, 8).complete); });
    manyAllocations = allocationsOf([&] { EXPECT_TRUE(TSVM_V0::readModelPayload(many, 8).complete); });
    EXPECT_EQ(manyAllocations - fewAllocations, 0) << fewAllocations << " and " << manyAllocations << " allocations";
}
