// The wave annotation editor's models without a window: the visible range and display scales, the
// waveform's columns, the markers of each kind and the history of marker moves.

#include "audio/CWavData.h"
#include "ui/editor/CTagSet.h"
#include "ui/editor/WavViewRange.h"
#include "ui/editor/WaveformRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace TessarinEditor;

namespace {

CWavData fileOf(float duration, float start, float length)
{
    CWavData wav;
    wav.duration = duration;
    wav.sampleRate = 44100.0f;
    wav.viewStart = start;
    wav.viewLength = length;
    return wav;
}

} // namespace

TEST(EditorRange, ZoomKeepsTheAnchorCutsAtBothEndsAndStopsAtFiveMilliseconds)
{
    // Zooming out near the end: the part past the duration is cut off.
    CWavData wav = fileOf(2.0f, 0.9f, 1.0f);
    zoomTime(wav, WavRange::kZoomOutFactor, 1.0f, 1);
    EXPECT_NEAR(wav.viewStart, 0.88f, 1e-6f);
    EXPECT_NEAR(wav.viewLength, 1.12f, 1e-6f);

    // Zooming out near the start: the part before 0 is cut off, so the view is shorter than 1.2 s.
    wav = fileOf(2.0f, 0.0f, 1.0f);
    zoomTime(wav, WavRange::kZoomOutFactor, 0.05f, 1);
    EXPECT_EQ(wav.viewStart, 0.0f);
    EXPECT_NEAR(wav.viewLength, 1.19f, 1e-6f);
    EXPECT_LT(wav.viewLength, 1.2f);

    // Inside the file the anchor keeps its place on screen, once per step.
    wav = fileOf(10.0f, 2.0f, 4.0f);
    zoomTime(wav, WavRange::kZoomInFactor, 3.0f, 2);
    const float n = 4.0f * 0.7f * 0.7f;
    EXPECT_NEAR(wav.viewLength, n, 1e-5f);
    EXPECT_NEAR((3.0f - wav.viewStart) / wav.viewLength, 0.25f, 1e-5f);

    // Longer than the file: the whole file.
    wav = fileOf(2.0f, 0.5f, 1.8f);
    zoomTime(wav, WavRange::kZoomOutFactor, 1.0f, 1);
    EXPECT_EQ(wav.viewStart, 0.0f);
    EXPECT_EQ(wav.viewLength, 2.0f);

    // An anchor outside the view counts as its nearer edge: the view never leaves the file.
    wav = fileOf(2.0f, 1.52f, 0.48f);
    zoomTime(wav, WavRange::kZoomOutFactor, 0.0f, 3);
    EXPECT_NEAR(wav.viewStart, 1.52f, 1e-6f);
    EXPECT_NEAR(wav.viewLength, 0.48f, 1e-6f);
    wav = fileOf(2.0f, 0.5f, 0.5f);
    zoomTime(wav, WavRange::kZoomInFactor, 1.9f, 1);
    EXPECT_NEAR(wav.viewStart, 0.65f, 1e-6f);
    EXPECT_NEAR(wav.viewLength, 0.35f, 1e-6f);

    // A zoom that would go below 5 ms does nothing, however many steps.
    wav = fileOf(2.0f, 1.0f, 0.006f);
    zoomTime(wav, WavRange::kZoomInFactor, 1.003f, 3);
    EXPECT_EQ(wav.viewStart, 1.0f);
    EXPECT_EQ(wav.viewLength, 0.006f);
    // ... but one that stays above it happens.
    wav = fileOf(2.0f, 1.0f, 0.008f);
    zoomTime(wav, WavRange::kZoomInFactor, 1.004f, 1);
    EXPECT_NEAR(wav.viewLength, 0.0056f, 1e-6f);
}

TEST(EditorRange, PanAndEdgeMovesStayInsideTheFile)
{
    CWavData wav = fileOf(2.0f, 0.5f, 1.0f);
    panTime(wav, 0.3f);
    EXPECT_NEAR(wav.viewStart, 0.8f, 1e-6f);
    panTime(wav, 5.0f);
    EXPECT_EQ(wav.viewStart, 1.0f);
    panTime(wav, -5.0f);
    EXPECT_EQ(wav.viewStart, 0.0f);
    EXPECT_EQ(wav.viewLength, 1.0f);

    // The left edge moves, the right one stays; at least 5 ms remain, nothing before 0.
    wav = fileOf(2.0f, 0.5f, 1.0f);
    moveLeftEdge(wav, 0.2f);
    EXPECT_NEAR(wav.viewStart, 0.7f, 1e-6f);
    EXPECT_NEAR(wav.viewStart + wav.viewLength, 1.5f, 1e-6f);
    moveLeftEdge(wav, 3.0f);
    EXPECT_NEAR(wav.viewLength, 0.005f, 1e-6f);
    EXPECT_NEAR(wav.viewStart + wav.viewLength, 1.5f, 1e-6f);
    moveLeftEdge(wav, -3.0f);
    EXPECT_EQ(wav.viewStart, 0.0f);
    EXPECT_NEAR(wav.viewLength, 1.5f, 1e-6f);

    // The right edge: length in [5 ms, D − s].
    wav = fileOf(2.0f, 0.5f, 1.0f);
    moveRightEdge(wav, -3.0f);
    EXPECT_EQ(wav.viewLength, 0.005f);
    moveRightEdge(wav, 3.0f);
    EXPECT_EQ(wav.viewLength, 1.5f);
    EXPECT_EQ(wav.viewStart, 0.5f);
    // The upper bound wins when they cross (view start within 5 ms of the end).
    wav = fileOf(2.0f, 1.998f, 0.002f);
    moveRightEdge(wav, -1.0f);
    EXPECT_NEAR(wav.viewLength, 0.002f, 1e-6f);

    // The first marker outside the view is brought to a third of it.
    wav = fileOf(10.0f, 0.0f, 3.0f);
    bringIntoView(wav, 6.0f);
    EXPECT_NEAR(wav.viewStart, 5.0f, 1e-5f);
    bringIntoView(wav, 9.9f);
    EXPECT_EQ(wav.viewStart, 7.0f);
    bringIntoView(wav, 8.0f); // inside: stays
    EXPECT_EQ(wav.viewStart, 7.0f);
}

TEST(EditorRange, DisplayScalesAreHeldAfterEveryStep)
{
    CWavData wav = fileOf(1.0f, 0.0f, 1.0f);
    zoomAmplitude(wav, true, 2);
    EXPECT_NEAR(wav.amplitudeRange, 0.64f, 1e-6f);
    zoomAmplitude(wav, true, 30);
    EXPECT_EQ(wav.amplitudeRange, 0.1f);
    zoomAmplitude(wav, false, 40);
    EXPECT_EQ(wav.amplitudeRange, 2.0f);
    zoomAmplitude(wav, true, 1);
    EXPECT_NEAR(wav.amplitudeRange, 1.6f, 1e-6f);

    zoomFrequency(wav, false, 1);
    EXPECT_EQ(wav.frequencyRange, 1.0f);
    zoomFrequency(wav, true, 3);
    EXPECT_NEAR(wav.frequencyRange, 0.729f, 1e-6f);
    zoomFrequency(wav, true, 50);
    EXPECT_EQ(wav.frequencyRange, 0.25f);
    zoomFrequency(wav, false, 1);
    EXPECT_NEAR(wav.frequencyRange, 0.275f, 1e-6f);

    // Pixels and times map onto each other, rounded down.
    wav = fileOf(2.0f, 0.5f, 1.0f);
    EXPECT_EQ(timeToPixel(wav, 0.5f, 10, 800), 10);
    EXPECT_EQ(timeToPixel(wav, 0.75f, 10, 800), 210);
    EXPECT_EQ(timeToPixel(wav, 0.5f + 0.999f / 800.0f, 10, 800), 10);
    EXPECT_NEAR(pixelToTime(wav, 410, 10, 800), 1.0f, 1e-6f);
}

TEST(EditorWaveform, ColumnsTakeTheExtremesOfEveryStrideSample)
{
    // One second, 441 samples per column over 100 columns: stride 441 ÷ 32 = 13.
    CWavData wav = fileOf(1.0f, 0.0f, 1.0f);
    wav.pcm.assign(44100, 0);
    for (std::size_t i = 0; i < wav.pcm.size(); ++i) {
        wav.pcm[i] = std::int16_t((int(i * 7919 % 2001) - 1000) * 32);
    }
    ASSERT_EQ(samplesPerColumn(wav, 100), 441);
    ASSERT_EQ(columnStride(441), 13);
    std::vector<WaveColumn> columns;
    waveformColumns(wav, 100, columns);
    ASSERT_EQ(columns.size(), 100u);
    for (int c = 0; c < 100; ++c) {
        const std::size_t first = std::size_t(c) * 441, end = first + 441;
        float low = wav.sampleAt(first), high = low;
        for (std::size_t i = first; i < end; i += 13) {
            low = std::min(low, wav.sampleAt(i));
            high = std::max(high, wav.sampleAt(i));
        }
        ASSERT_FALSE(columns[std::size_t(c)].empty);
        ASSERT_EQ(columns[std::size_t(c)].low, low) << "column " << c;
        ASSERT_EQ(columns[std::size_t(c)].high, high) << "column " << c;
    }

    // A spike between two stride samples is passed over; one on a stride sample is seen.
    std::fill(wav.pcm.begin(), wav.pcm.end(), std::int16_t(0));
    wav.pcm[441 * 5 + 7] = 29490;
    wav.pcm[441 * 6 + 26] = -26214;
    waveformColumns(wav, 100, columns);
    EXPECT_EQ(columns[5].high, 0.0f);
    EXPECT_EQ(columns[6].low, -26214.0f / 32767.0f);

    // A view reaching past the end leaves the columns there empty.
    wav.viewStart = 0.5f;
    wav.viewLength = 1.0f;
    waveformColumns(wav, 100, columns);
    EXPECT_FALSE(columns[49].empty);
    EXPECT_TRUE(columns[50].empty);
    EXPECT_TRUE(columns[99].empty);

    // Fewer than 2 samples per column: the waveform joins the samples instead.
    wav.viewStart = 0.0f;
    wav.viewLength = 0.01f;
    EXPECT_EQ(samplesPerColumn(wav, 800), 0);
}

TEST(EditorMarkers, EachKindHasItsLabelsColoursAndEntryFields)
{
    CTagSet tags;
    tags.createMarkersOf(CTsVoiceCfg::kCV);
    ASSERT_EQ(tags.markers.size(), 4u);
    EXPECT_EQ(tags.markers[1]->name, "2.PP");
    EXPECT_EQ(tags.markers[1]->colour, qRgb(230, 230, 0));
    EXPECT_EQ(tags.markers[3]->name, "4.VEP");
    EXPECT_EQ(tags.markers[3]->colour, qRgb(200, 0, 208));
    EXPECT_EQ(tags.playCursor.colour, qRgb(200, 0, 0));
    tags.createMarkersOf(CTsVoiceCfg::kINDIE);
    ASSERT_EQ(tags.markers.size(), 2u);
    EXPECT_EQ(tags.markers[0]->name, "1.SP");
    EXPECT_EQ(tags.markers[1]->name, "2.EP");
    EXPECT_EQ(tags.markers[1]->colour, qRgb(0, 200, 0));

    CTsVoiceCfg_CV cv;
    storeMarkerTimes(std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}, cv);
    EXPECT_EQ(cv.connectPoint, double(0.1f));
    EXPECT_EQ(cv.vowelEnd, double(0.4f));
    EXPECT_EQ(entryMarkerTimes(cv), (std::vector<float>{0.1f, 0.2f, 0.3f, 0.4f}));
    CTsVoiceCfg_VC vx;
    storeMarkerTimes(std::vector<float>{0.5f, 0.7f}, vx);
    EXPECT_EQ(vx.connectPoint, double(0.5f));
    EXPECT_EQ(vx.tailPoint, double(0.7f));
    EXPECT_EQ(firstMarkerField(vx), double(0.5f));
}

TEST(EditorMarkers, UndoAndRedoWalkBackAndForthAcrossSeveralMoves)
{
    CTagMoveHistory history;
    std::vector<float> now{1.0f, 2.0f};
    // Three moves.
    history.recordBefore(now);
    now = {1.5f, 2.0f};
    history.recordBefore(now);
    now = {1.5f, 2.5f};
    history.recordBefore(now);
    now = {0.5f, 0.5f};

    auto back = history.undo(now);
    ASSERT_TRUE(back);
    EXPECT_EQ(*back, (std::vector<float>{1.5f, 2.5f}));
    back = history.undo(*back);
    EXPECT_EQ(*back, (std::vector<float>{1.5f, 2.0f}));
    auto forward = history.redo(*back);
    ASSERT_TRUE(forward);
    EXPECT_EQ(*forward, (std::vector<float>{1.5f, 2.5f}));
    forward = history.redo(*forward);
    EXPECT_EQ(*forward, (std::vector<float>{0.5f, 0.5f}));
    EXPECT_FALSE(history.redo(*forward));

    // A new move after an undo forgets the redo side.
    back = history.undo(*forward);
    history.recordBefore(*back);
    EXPECT_FALSE(history.canRedo());
    back = history.undo(std::vector<float>{9.0f, 9.0f});
    EXPECT_EQ(*back, (std::vector<float>{1.5f, 2.5f}));
    back = history.undo(*back);
    back = history.undo(*back);
    EXPECT_EQ(*back, (std::vector<float>{1.0f, 2.0f}));
    EXPECT_FALSE(history.undo(*back));
    history.clear();
    EXPECT_FALSE(history.canUndo());
}

TEST(EditorWaveform, TheOverviewLooksAtEverySampleOfEachColumn)
{
    // 1000 samples over 10 columns: 100 per column. One-sample clicks at odd places, which the
    // waveform's stride of 100 ÷ 32 = 3 would step over.
    std::vector<std::int16_t> samples(1000, 0);
    samples[101] = 29490;  // column 1
    samples[553] = -22937; // column 5
    samples[998] = 9830;   // column 9
    std::vector<WaveColumn> columns;
    overviewColumns(samples, 10, columns);
    ASSERT_EQ(columns.size(), 10u);
    EXPECT_EQ(columns[1].high, 29490.0f / 32767.0f);
    EXPECT_EQ(columns[5].low, -22937.0f / 32767.0f);
    EXPECT_EQ(columns[9].high, 9830.0f / 32767.0f);
    EXPECT_EQ(columns[0].high, 0.0f);
    EXPECT_FALSE(columns[0].empty);
    // Wider than the file: columns with no sample are empty.
    overviewColumns(std::vector<std::int16_t>{16384, -16384}, 4, columns);
    EXPECT_TRUE(columns[0].empty);
    EXPECT_EQ(columns[1].high, 16384.0f / 32767.0f);
    EXPECT_EQ(columns[3].low, -16384.0f / 32767.0f);
}
