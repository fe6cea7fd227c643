// The spectrogram builder with its three threads: progressive rendering, cancellation, background
// filling without a column computed twice, and the stop before a new file. These tests also run
// under ThreadSanitizer.

#include "ui/spectrogram/CSpecBuilder.h"
#include "ui/spectrogram/CSpectrogramImgView.h"
#include "ui/toolkit/CUIBoard.h"

#include "audio/CWavData.h"

#include <QCoreApplication>
#include <QPainter>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <mutex>
#include <numbers>
#include <thread>
#include <tuple>
#include <vector>

using namespace TessarinEditor;
using namespace std::chrono_literals;

namespace {

constexpr double kRate = 44100.0;
constexpr auto kPatience = 60s; // generous: the sanitizer builds are many times slower

// At half of full scale, as 16-bit samples.
std::int16_t halfScale(double x)
{
    return std::int16_t(std::lround(0.5 * x * 32767.0));
}

std::vector<std::int16_t> sine(double seconds, double hz)
{
    std::vector<std::int16_t> s(std::size_t(seconds * kRate));
    for (std::size_t n = 0; n < s.size(); ++n) {
        s[n] = halfScale(std::sin(2.0 * std::numbers::pi * hz * double(n) / kRate));
    }
    return s;
}

using Seen = std::tuple<int, std::int64_t, std::int64_t>; // request, stride, columns

// Records each picture as the builder announces it; can hold the job thread inside the first
// announcement until released.
class RecordingListener : public CSpecBuildingListener {
public:
    void onSpecRenderingReady() override
    {
        std::unique_lock lock(m_mutex);
        const auto picture = builder->finishedPicture();
        seen.emplace_back(picture->requestNumber, picture->stride, picture->columnCount);
        m_changed.notify_all();
        if (holdFirst && seen.size() == 1) {
            m_changed.wait(lock, [this] { return m_released; });
        }
    }
    bool waitForPictures(std::size_t n)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, kPatience, [&] { return seen.size() >= n; });
    }
    void release()
    {
        const std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }
    std::vector<Seen> snapshot()
    {
        const std::lock_guard lock(m_mutex);
        return seen;
    }

    CSpecBuilder* builder = nullptr;
    bool holdFirst = false;

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<Seen> seen;
    bool m_released = false;
};

QRect widthOf(int w)
{
    return {0, 0, w, 200};
}

} // namespace

TEST(SpectrogramBuilder, TenSecondFileRendersCoarseFirstThenEachRefinementWithNoColumnComputedTwice)
{
    const auto samples = sine(10.0, 1000.0);
    RecordingListener listener;
    CSpecBuilder builder(&listener, CSpecBuilder::Params{false});
    listener.builder = &builder;

    const int first = builder.request(samples.data(), std::int64_t(samples.size()), kRate, 0.0, 10.0, widthOf(800));
    ASSERT_TRUE(builder.waitUntilIdle(kPatience));
    EXPECT_EQ(listener.snapshot(), (std::vector<Seen>{{first, 32, 63}, {first, 16, 126}, {first, 8, 251},
                                                       {first, 4, 501}, {first, 2, 1002}, {first, 1, 2003}}));
    auto stats = builder.stats();
    EXPECT_EQ(stats.columnCount, 2036); // ⌊10 ÷ 0.005 × 1.01 + 16⌋
    EXPECT_EQ(stats.computedColumns, 2003);
    EXPECT_EQ(stats.computations, 2003); // each refinement reused the coarser columns

    // The finished picture shows the sine at its bin (23) in every column.
    const auto picture = builder.finishedPicture();
    ASSERT_TRUE(picture);
    for (int x : {0, 1000, 2002}) {
        int best = -1;
        int bestRow = -1;
        for (int row = 0; row < picture->image.height(); ++row) {
            const int v = qRed(picture->image.pixel(x, row)) + qGreen(picture->image.pixel(x, row));
            if (v > best) {
                best = v;
                bestRow = row;
            }
        }
        EXPECT_EQ(bestRow, 512 - 23) << "column " << x;
    }

    // Zoomed in on computed columns: one job at every column, nothing computed again.
    const int zoom = builder.request(samples.data(), std::int64_t(samples.size()), kRate, 2.5, 1.0, widthOf(800));
    ASSERT_TRUE(builder.waitUntilIdle(kPatience));
    EXPECT_EQ(listener.snapshot().back(), (Seen{zoom, 1, 203}));
    stats = builder.stats();
    EXPECT_EQ(stats.computations, 2003);

    QImage canvas(800, 200, QImage::Format_RGB32);
    QPainter painter(&canvas);
    EXPECT_FALSE(builder.draw(painter, 2.5, 1.0, 0.0, 22050.0, canvas.rect(), first));
    EXPECT_TRUE(builder.draw(painter, 2.5, 1.0, 0.0, 22050.0, canvas.rect(), zoom));
}

TEST(SpectrogramBuilder, AZoomedOutPictureColumnShowsTheLoudestOfTheColumnsItCovers)
{
    // 10 s of silence with a 10 ms burst at 1 kHz (bin 23) from 5.0125 s. Store column i is the
    // frame of 1024 samples (±11.6 ms) around i × 5 ms: column 1000 ends at 5.0116 s and misses the
    // burst, columns 1001 … 1007 see it.
    std::vector<std::int16_t> samples(std::size_t(10.0 * kRate), 0);
    const auto from = std::size_t(5.0125 * kRate);
    for (std::size_t n = from; n < from + std::size_t(0.010 * kRate); ++n) {
        samples[n] = halfScale(std::sin(2.0 * std::numbers::pi * 1000.0 * double(n) / kRate));
    }
    RecordingListener listener;
    CSpecBuilder builder(&listener, CSpecBuilder::Params{false});
    listener.builder = &builder;
    // 100 pixels: strides 32, 16, then 8 (251 columns, more than 1.5 per pixel: the last).
    const int request = builder.request(samples.data(), std::int64_t(samples.size()), kRate, 0.0, 10.0, widthOf(100));
    ASSERT_TRUE(builder.waitUntilIdle(kPatience));
    ASSERT_EQ(listener.snapshot().back(), (Seen{request, 8, 251}));
    const auto picture = builder.finishedPicture();
    ASSERT_TRUE(picture);
    const auto brightness = [&](int x) {
        const QRgb p = picture->image.pixel(x, 512 - 23);
        return std::max({qRed(p), qGreen(p), qBlue(p)});
    };
    // Picture column 125 stands for store columns 1000 … 1007: it shows the burst; its neighbours
    // (992 … 999 and 1008 … 1015, frames that end before or begin after it) stay dark.
    EXPECT_GT(brightness(125), 200);
    EXPECT_LT(brightness(124), 20);
    EXPECT_LT(brightness(126), 20);
    // The last picture looked at every column of the view's span (⌊10 ÷ 0.005 + 1⌋ + 1 = 2002),
    // each computed once.
    EXPECT_EQ(builder.stats().computedColumns, 2002);
    EXPECT_EQ(builder.stats().computations, 2002);
}

TEST(SpectrogramBuilder, ColumnStoreComputesEachColumnOnceWhenTwoThreadsRace)
{
    // Two threads walk the same columns at the same time, as the job thread and the column thread
    // may: one needs every column, the other computes what nobody has claimed.
    const auto samples = sine(2.0, 1000.0);
    SpecColumnStore store;
    ASSERT_TRUE(store.reset(samples.data(), std::int64_t(samples.size()), kRate, 400));
    std::atomic<int> ready{0};
    const auto startTogether = [&ready] {
        ready.fetch_add(1);
        while (ready.load() < 2) {
            std::this_thread::yield();
        }
    };
    std::vector<SpecColourIndex> firstPixels(SpecColumnStore::kRows);
    std::thread needing([&] {
        SpecColumnComputer computer;
        startTogether();
        for (std::int64_t c = 0; c < 400; ++c) {
            const SpecColourIndex* column = store.ensureColumn(c, computer);
            if (c == 0) {
                std::copy(column, column + SpecColumnStore::kRows, firstPixels.begin());
            }
        }
    });
    std::thread filling([&] {
        SpecColumnComputer computer;
        startTogether();
        for (std::int64_t c = 0; c < 400; ++c) {
            store.tryComputeColumn(c, computer);
        }
    });
    needing.join();
    filling.join();
    EXPECT_EQ(store.computedColumns(), 400);
    EXPECT_EQ(store.computations(), 400);
    // What the needing thread read is the finished column, whoever computed it.
    SpecColumnComputer check;
    std::vector<SpecColourIndex> expected(SpecColumnStore::kRows);
    check.compute(samples.data(), std::int64_t(samples.size()), kRate, 0, expected.data());
    EXPECT_EQ(firstPixels, expected);
}

TEST(SpectrogramBuilder, NewRequestCancelsQueuedJobsAndOnlyItsPictureIsDrawn)
{
    const auto samples = sine(10.0, 440.0);
    RecordingListener listener;
    listener.holdFirst = true;
    CSpecBuilder builder(&listener, CSpecBuilder::Params{false});
    listener.builder = &builder;

    const int first = builder.request(samples.data(), std::int64_t(samples.size()), kRate, 0.0, 10.0, widthOf(800));
    ASSERT_TRUE(listener.waitForPictures(1)); // the job thread now waits inside the listener
    const int second = builder.request(samples.data(), std::int64_t(samples.size()), kRate, 4.0, 2.0, widthOf(800));
    EXPECT_EQ(second, first + 1);
    {
        // Until the second request has a picture, the first one's stands in for the view.
        QImage canvas(800, 200, QImage::Format_RGB32);
        QPainter painter(&canvas);
        EXPECT_FALSE(builder.draw(painter, 4.0, 2.0, 0.0, 22050.0, canvas.rect(), second));
        EXPECT_TRUE(builder.drawLatest(painter, 4.0, 2.0, 0.0, 22050.0, canvas.rect(), second));
    }
    listener.release();
    ASSERT_TRUE(builder.waitUntilIdle(kPatience));

    const auto seen = listener.snapshot();
    ASSERT_GE(seen.size(), 2u);
    EXPECT_EQ(seen[0], (Seen{first, 32, 63}));
    for (std::size_t i = 1; i < seen.size(); ++i) {
        EXPECT_EQ(std::get<0>(seen[i]), second) << "picture " << i;
    }
    EXPECT_EQ(std::get<1>(seen.back()), 1);
    EXPECT_EQ(builder.stats().cancelledJobs, 5); // the five refinements of the first request
    EXPECT_EQ(builder.stats().renderedJobs, std::int64_t(seen.size()));

    QImage canvas(800, 200, QImage::Format_RGB32);
    QPainter painter(&canvas);
    EXPECT_FALSE(builder.draw(painter, 0.0, 10.0, 0.0, 22050.0, canvas.rect(), first));
    EXPECT_TRUE(builder.draw(painter, 4.0, 2.0, 0.0, 22050.0, canvas.rect(), second));
    // A picture never stands in for an earlier request, nor after a stop (another file comes).
    EXPECT_FALSE(builder.drawLatest(painter, 0.0, 10.0, 0.0, 22050.0, canvas.rect(), first));
    builder.stop();
    EXPECT_FALSE(builder.drawLatest(painter, 4.0, 2.0, 0.0, 22050.0, canvas.rect(), second));
}

TEST(SpectrogramBuilder, BackgroundFillsEveryColumnOnceWhileRequestsComeAndGo)
{
    const auto samples = sine(6.0, 2000.0);
    RecordingListener listener;
    CSpecBuilder builder(&listener);
    listener.builder = &builder;
    const auto count = std::int64_t(samples.size());

    builder.request(samples.data(), count, kRate, 0.0, 6.0, widthOf(640));
    // Zooming and panning while the background runs: requests meet columns being computed.
    for (int i = 0; i < 12; ++i) {
        builder.request(samples.data(), count, kRate, 0.4 * i, 0.9, widthOf(640));
        std::this_thread::sleep_for(2ms);
    }
    ASSERT_TRUE(builder.waitUntilComplete(kPatience));
    ASSERT_TRUE(builder.waitUntilIdle(kPatience));
    const auto stats = builder.stats();
    EXPECT_EQ(stats.columnCount, 1228); // ⌊6 ÷ 0.005 × 1.01 + 16⌋
    EXPECT_EQ(stats.computedColumns, stats.columnCount);
    EXPECT_EQ(stats.computations, stats.columnCount);
}

TEST(SpectrogramBuilder, StopLetsTheOldSamplesGoAndTheNextRequestResetsTheStore)
{
    RecordingListener listener;
    CSpecBuilder builder(&listener);
    listener.builder = &builder;
    {
        const auto a = sine(10.0, 300.0);
        builder.request(a.data(), std::int64_t(a.size()), kRate, 0.0, 10.0, widthOf(800));
        ASSERT_TRUE(listener.waitForPictures(1));
        builder.stop();
        // Freed here: after the stop no worker may read them (AddressSanitizer watches).
    }
    const auto b = sine(2.0, 3000.0);
    builder.request(b.data(), std::int64_t(b.size()), kRate, 0.0, 2.0, widthOf(800));
    ASSERT_TRUE(builder.waitUntilComplete(kPatience));
    auto stats = builder.stats();
    EXPECT_EQ(stats.columnCount, 420); // ⌊2 ÷ 0.005 × 1.01 + 16⌋
    EXPECT_EQ(stats.computations, 420);

    // Other samples without a stop: the builder stops and resets by itself.
    const auto c = sine(1.0, 500.0);
    builder.request(c.data(), std::int64_t(c.size()), kRate, 0.0, 1.0, widthOf(800));
    ASSERT_TRUE(builder.waitUntilComplete(kPatience));
    stats = builder.stats();
    EXPECT_EQ(stats.columnCount, 218); // ⌊1 ÷ 0.005 × 1.01 + 16⌋
    EXPECT_EQ(stats.computations, 218);

    // No samples at all: a request number, no job, nothing drawn.
    const int none = builder.request(nullptr, 0, kRate, 0.0, 1.0, widthOf(800));
    ASSERT_TRUE(builder.waitUntilIdle(kPatience));
    QImage canvas(10, 10, QImage::Format_RGB32);
    QPainter painter(&canvas);
    EXPECT_FALSE(builder.draw(painter, 0.0, 1.0, 0.0, 22050.0, canvas.rect(), none));
}

TEST(SpectrogramBuilder, DestroyingABusyBuilderEndsItsWork)
{
    const auto samples = sine(120.0, 1000.0);
    for (int round = 0; round < 3; ++round) {
        RecordingListener listener;
        auto builder = std::make_unique<CSpecBuilder>(&listener);
        listener.builder = builder.get();
        builder->request(samples.data(), std::int64_t(samples.size()), kRate, 0.0, 120.0, widthOf(1200));
        builder->request(samples.data(), std::int64_t(samples.size()), kRate, 10.0, 30.0, widthOf(1200));
        builder.reset(); // returns once the three threads are gone
    }
}

namespace {

// The row of the brightest pixel in column x.
int brightestRow(const QImage& image, int x)
{
    int best = -1;
    int row = -1;
    for (int y = 0; y < image.height(); ++y) {
        const int v = qRed(image.pixel(x, y)) + qGreen(image.pixel(x, y));
        if (v > best) {
            best = v;
            row = y;
        }
    }
    return row;
}

} // namespace

TEST(SpectrogramView, DrawsTheLatestPictureOfTheLoadedFileOverBlack)
{
    CWavData wav;
    wav.pcm = sine(2.0, 1000.0);
    wav.sampleRate = float(kRate);
    CUIBoard board;
    CSpectrogramImgView view;
    view.setWavData(&wav);
    board.addChild(&view);
    board.resize(400, 200);

    // No file yet: black, and refreshing does nothing.
    view.refresh();
    EXPECT_EQ(view.latestRequest(), 0);
    QImage image = board.grab().toImage();
    EXPECT_EQ(image.pixel(200, 100), qRgb(0, 0, 0));

    wav.duration = 2.0f;
    wav.viewStart = 0.0f;
    wav.viewLength = 2.0f;
    view.refresh();
    ASSERT_TRUE(view.builder().waitUntilIdle(kPatience));
    QCoreApplication::processEvents(); // the redraw handed over from the job thread
    image = board.grab().toImage();
    // 1 kHz of 22.05 kHz over 200 rows, upwards from the bottom row 199: about row 190.
    EXPECT_NEAR(brightestRow(image, 200), 199 - 1000.0 / 22050.0 * 200.0, 1.5);
    EXPECT_EQ(image.pixel(200, 5), qRgb(12, 0, 12)); // silence high up

    // A quarter of the frequency axis: the line moves up four times as far.
    wav.frequencyRange = 0.25f;
    image = board.grab().toImage();
    EXPECT_NEAR(brightestRow(image, 200), 199 - 1000.0 / 5512.5 * 200.0, 1.5);
    board.removeChild(&view);
}
