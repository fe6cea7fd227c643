// The wave annotation editor's models without a window: the visible range and display scales, the
// waveform's columns, the markers of each kind, the history of marker moves and the f0 overlay's
// check.

#include "audio/CWavData.h"
#include "audio/WavWriter.h"
#include "support/SyntheticVoice.h"
#include "support/TestSupport.h"
#include "ui/editor/CTagSet.h"
#include "ui/editor/F0CheckOverlay.h"
#include "ui/editor/WavViewRange.h"
#include "ui/editor/WaveformRenderer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <mutex>
#include <thread>

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

namespace {

constexpr double kHop = 128.0 / 44100.0; // [s] one frame of the f0 track

// 2 s: silence, a sung vowel from 0.3 s to 1.7 s, silence; with gap, also silence over [gap, gap + 0.05 s).
void writeSung(const std::filesystem::path& path, double gap = -1.0)
{
    lvtest::SungVowel vowel;
    vowel.seconds = 1.4;
    const std::vector<float> sung = lvtest::singVowel(vowel);
    std::vector<float> samples(std::size_t(2.0 * 44100.0), 0.0f);
    std::copy(sung.begin(), sung.end(), samples.begin() + std::ptrdiff_t(0.3 * 44100.0));
    if (gap > 0.0) {
        std::fill_n(samples.begin() + std::ptrdiff_t(gap * 44100.0), std::size_t(0.05 * 44100.0), 0.0f);
    }
    ASSERT_TRUE(writeWav16(path, samples));
}

PhoneticDictionary checkDictionary()
{
    PhoneticDictionary d;
    d.parseSymbolList("ka,k,a\nna,n,a\n");
    d.parseVowelList("a,a\n");
    d.parseVoicedConsonantList("n\n");
    d.parseUnvoicedConsonantList("k\n");
    d.parseIndependentList("br\n");
    return d;
}

// A check frame's own time, half a frame into it, counted from the region the build cuts out (which
// begins the margin before the connect point): a marker there falls on that frame with room to spare.
constexpr double kConnectPoint = 0.5;
double frameTime(int frame)
{
    return kConnectPoint - kVoiceCfgMargin + (frame + 0.5) * kHop;
}

// A CV entry of wavName at A3 with the check's frames: connect point 20, preutterance 40, vowel 60 …
// vowelEnd.
CTsVoiceCfg_CV checkedCv(const std::string& wavName, const std::string& symbol, int vowelEnd = 200)
{
    CTsVoiceCfg_CV cv;
    cv.wavName = wavName;
    cv.pitch = "A3";
    cv.symbol = symbol;
    cv.connectPoint = kConnectPoint;
    cv.preutterance = frameTime(40);
    cv.vowelStart = frameTime(60);
    cv.vowelEnd = frameTime(vowelEnd);
    return cv;
}

using Tests = std::vector<TessarinEngineV6::VoicingTest>;

} // namespace

namespace TessarinEngineV6 {
void PrintTo(const VoicingTest& test, std::ostream* out)
{
    *out << "frames " << test.first << " … " << test.last << " code " << test.code;
}
} // namespace TessarinEngineV6

TEST(EditorF0Check, TheShadedFramesAreTheChecksOwnForEveryKind)
{
    lvtest::TempDir dir;
    writeSung(dir / "sung.wav");
    const QString folder = QString::fromStdString(dir.path().string());
    const PhoneticDictionary dictionary = checkDictionary();
    // The connect point lies the margin into the region: 0.06 s ÷ 128 samples = frame 20.67 → 20.
    CTsVoiceCfg_CV cv = checkedCv("sung.wav", "na");

    // A voiced consonant: the connect point's frame and the next, then the vowel, both ends included.
    F0CheckOutcome outcome = computeF0Check(cv, folder, dictionary);
    EXPECT_EQ(outcome.text, QStringLiteral("Check: OK"));
    EXPECT_TRUE(outcome.ok);
    EXPECT_NEAR(outcome.regionStart, kConnectPoint - kVoiceCfgMargin, 1e-9);
    EXPECT_EQ(outcome.tested, (Tests{{20, 21, 1}, {60, 200, 2}}));
    EXPECT_GE(outcome.f0.size(), 201u);
    EXPECT_TRUE(outcome.unvoicedFrames().empty());
    EXPECT_EQ(outcome.testedFrames().size(), 2u + 141u);

    // An unvoiced consonant: the vowel alone.
    cv.symbol = "ka";
    outcome = computeF0Check(cv, folder, dictionary);
    EXPECT_EQ(outcome.tested, (Tests{{60, 200, 2}}));

    // A continuant into a voiced consonant: its start pair, then its whole span (150 frames).
    CTsVoiceCfg_VC vx;
    vx.wavName = "sung.wav";
    vx.pitch = "A3";
    vx.symbol = "a_n";
    vx.connectPoint = kConnectPoint;
    vx.tailPoint = kConnectPoint + 150.5 * kHop; // its length counts from the connect point: 150 frames
    outcome = computeF0Check(vx, folder, dictionary);
    EXPECT_EQ(outcome.text, QStringLiteral("Check: OK"));
    EXPECT_EQ(outcome.tested, (Tests{{20, 21, 3}, {20, 169, 7}}));

    // An independent unit is tested for its markers only: nothing shaded.
    CTsVoiceCfg_INDIE indie;
    indie.wavName = "sung.wav";
    indie.pitch = "A3";
    indie.symbol = "br";
    indie.startPoint = kConnectPoint;
    indie.endPoint = 1.0;
    outcome = computeF0Check(indie, folder, dictionary);
    EXPECT_EQ(outcome.text, QStringLiteral("Check: OK"));
    EXPECT_TRUE(outcome.tested.empty());
    EXPECT_FALSE(outcome.f0.empty());

    // Markers spanning more than 20 s (not yet placed on a long take) are not analysed here.
    indie.endPoint = kConnectPoint + 25.0;
    outcome = computeF0Check(indie, folder, dictionary);
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("Check: not run, the entry spans 25.1 s (the editor checks up to 20 s)"));
    EXPECT_TRUE(outcome.f0.empty());
    EXPECT_TRUE(outcome.tested.empty());
}

TEST(EditorF0Check, AnUnvoicedGapInTheVowelIsRedAndTheMessageIsTheBuilds)
{
    lvtest::TempDir dir;
    writeSung(dir / "gap.wav", 0.8);
    const QString folder = QString::fromStdString(dir.path().string());
    const CTsVoiceCfg_CV cv = checkedCv("gap.wav", "ka");
    const F0CheckOutcome outcome = computeF0Check(cv, folder, checkDictionary());
    EXPECT_FALSE(outcome.ok);
    EXPECT_EQ(outcome.text, QStringLiteral("Check: Unvoiced part exists in vowel."));
    EXPECT_EQ(outcome.tested, (Tests{{60, 200, 2}}));
    // The gap, 0.80 … 0.85 s, is frames 124.0 … 141.2 of the region from 0.44 s; the f0 stage may
    // take a few frames around a silence as unvoiced too.
    const std::vector<std::int64_t> red = outcome.unvoicedFrames();
    ASSERT_FALSE(red.empty());
    EXPECT_GE(red.front(), 124 - 6);
    EXPECT_LE(red.back(), 141 + 6);
    EXPECT_GE(red.size(), 12u) << "most of the gap";
    for (const std::int64_t k : red) {
        EXPECT_FALSE(outcome.f0[std::size_t(k)] > 0.0f) << k;
    }
}

TEST(EditorF0Check, TheRunnerChecksOnlyTheNewestOfRequestsThatCameInARush)
{
    lvtest::TempDir dir;
    writeSung(dir / "sung.wav");
    std::mutex lock;
    std::vector<std::shared_ptr<const F0CheckOutcome>> outcomes;
    F0CheckRunner runner(
        [&](std::shared_ptr<const F0CheckOutcome> outcome) {
            const std::lock_guard guard(lock);
            outcomes.push_back(std::move(outcome));
        },
        std::chrono::milliseconds(400));
    // As a drag sends them: the vowel end a frame further every 30 ms, each well within the
    // debounce of the one before (a check of one takes some 40 ms: without the wait, several would
    // be computed).
    int last = 0;
    for (int step = 0; step < 10; ++step) {
        auto cv = std::make_unique<CTsVoiceCfg_CV>(checkedCv("sung.wav", "ka", 190 + step));
        last = runner.request(std::move(cv), QString::fromStdString(dir.path().string()), checkDictionary());
        std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    ASSERT_TRUE(runner.waitUntilIdle(std::chrono::seconds(30)));
    const std::lock_guard guard(lock);
    ASSERT_EQ(outcomes.size(), 1u);
    EXPECT_EQ(outcomes[0]->requestNumber, last);
    EXPECT_EQ(outcomes[0]->tested, (Tests{{60, 199, 2}}));
}
