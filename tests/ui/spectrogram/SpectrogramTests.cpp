// The spectrogram without its threads: job planning, the colour map, the column computation, the
// picture's placement, and the two views.

#include "ui/spectrogram/CSpecBuilder.h"
#include "ui/spectrogram/CSpectralFreqGraduationView.h"
#include "ui/spectrogram/SpectrogramColours.h"
#include "ui/spectrogram/SpectrogramColumns.h"
#include "ui/spectrogram/SpectrogramJobs.h"
#include "ui/editor/UISignalNames.h"

#include "audio/CWavData.h"

#include <QPainter>

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <vector>

using namespace TessarinEditor;

namespace {

std::vector<std::int64_t> strides(const std::vector<SpecJobPlan>& plans)
{
    std::vector<std::int64_t> s;
    for (const auto& p : plans) {
        s.push_back(p.stride);
    }
    return s;
}

const SpecColumnTest kNothingComputed = [](std::int64_t) { return false; };

} // namespace

TEST(SpectrogramPlan, TenSecondFileStartsWithSixtyThreeColumnsAndRefinesByHalvingTheStride)
{
    // Whole 10 s file: span ⌊10 ÷ 0.005 + 1⌋ − 0 + 1 = 2002; stride 32 (2002 ÷ 32 = 62 ≤ 100).
    const auto plans = planSpecRequest(0.0, 10.0, 800, kNothingComputed);
    ASSERT_FALSE(plans.empty());
    EXPECT_EQ(plans[0].firstColumn, 0);
    EXPECT_EQ(plans[0].columnSpan, 2002);
    EXPECT_EQ(plans[0].stride, 32);
    EXPECT_EQ(plans[0].columnCount, 63);
    EXPECT_EQ(plans[0].backgroundColumn, 1001);
    // 1002 columns at stride 2 still fit 1.5 × 800, so every column follows.
    EXPECT_EQ(strides(plans), (std::vector<std::int64_t>{32, 16, 8, 4, 2, 1}));
    EXPECT_EQ(plans.back().columnCount, 2003);
    EXPECT_FALSE(plans.back().refinable);

    // On 300 pixels the job of 501 columns (stride 4) exceeds 450 and is the last.
    const auto narrow = planSpecRequest(0.0, 10.0, 300, kNothingComputed);
    EXPECT_EQ(strides(narrow), (std::vector<std::int64_t>{32, 16, 8, 4}));
    EXPECT_EQ(narrow.back().columnCount, 501);
}

TEST(SpectrogramPlan, ComputedColumnsAtFinerStridesStartTheJobFinerAtMostTwice)
{
    // Columns at every multiple of 16 computed: the first job takes stride 16 directly.
    const auto every16 = planSpecJob(0.0, 10.0, 800, [](std::int64_t c) { return c % 16 == 0; });
    EXPECT_EQ(every16.stride, 16);
    EXPECT_EQ(every16.columnCount, 126);
    // Every column computed: two halvings at most, 32 → 8.
    const auto all = planSpecJob(0.0, 10.0, 800, [](std::int64_t) { return true; });
    EXPECT_EQ(all.stride, 8);
    // One gap at the finer stride keeps the coarse one.
    const auto gap = planSpecJob(0.0, 10.0, 800, [](std::int64_t c) { return c % 16 == 0 && c != 160; });
    EXPECT_EQ(gap.stride, 32);

    // A view inside the file: 2.5 s … 3.5 s.
    const auto middle = planSpecJob(2.5, 1.0, 800, kNothingComputed);
    EXPECT_EQ(middle.firstColumn, 500);
    EXPECT_EQ(middle.columnSpan, 202); // ⌊3.5 ÷ 0.005 + 1⌋ − 500 + 1
    EXPECT_EQ(middle.stride, 4);
    EXPECT_EQ(middle.columnCount, 51);
    EXPECT_EQ(middle.backgroundColumn, 601);

    // Degenerate views still give a small, finite job.
    const auto empty = planSpecJob(1.0, 0.0, 800, kNothingComputed);
    EXPECT_EQ(empty.columnSpan, 2);
    const auto broken = planSpecJob(std::nan(""), std::numeric_limits<double>::infinity(), 800, kNothingComputed);
    EXPECT_GE(broken.columnCount, 1);
    EXPECT_LE(broken.columnCount, 101);
}

TEST(SpectrogramColour, EndPointsMiddleAndNonNumbers)
{
    // −130 dB and −120 dB: a = 0, b = 0, hue 300°, value 0.05 → (12.75, 0, 12.75) truncated.
    EXPECT_EQ(spectrogramColour(-130.0f), (SpecRgb{12, 0, 12}));
    EXPECT_EQ(spectrogramColour(-120.0f), (SpecRgb{12, 0, 12}));
    // −8 dB and above: b = 1, hue 60°, value 1: yellow.
    EXPECT_EQ(spectrogramColour(-8.0f), (SpecRgb{255, 255, 0}));
    EXPECT_EQ(spectrogramColour(20.0f), (SpecRgb{255, 255, 0}));
    // −64 dB: a = 0.5, b = 0.5, hue 360° = 0° (red), value 0.525 → 133.875.
    EXPECT_EQ(spectrogramColour(-64.0f), (SpecRgb{133, 0, 0}));
    EXPECT_EQ(spectrogramColour(std::nanf("")), (SpecRgb{12, 0, 12}));
}

TEST(SpectrogramColour, ThePaletteIndexGivesTheVeryColourOfEveryLevel)
{
    // Every float from −121 dB to −7 dB (beyond them the map is flat), and the flat ends: the store
    // keeps indexes, and the picture must not change by a single channel step.
    const std::vector<SpecRgb>& palette = spectrogramPalette();
    ASSERT_LT(palette.size(), 65536u);
    std::int64_t checked = 0;
    for (float x = -121.0f; x <= -7.0f; x = std::nextafter(x, 0.0f), ++checked) {
        const SpecColourIndex i = spectrogramColourIndex(x);
        if (!(palette[i] == spectrogramColour(x))) {
            FAIL() << "level " << x << " index " << i;
        }
    }
    EXPECT_GT(checked, 30'000'000);
    for (const float x : {-1000.0f, -130.0f, 0.0f, 20.0f, std::nanf("")}) {
        EXPECT_EQ(palette[spectrogramColourIndex(x)], spectrogramColour(x)) << x;
    }
    EXPECT_EQ(spectrogramColourIndex(-130.0f), 0);
    EXPECT_EQ(std::size_t(spectrogramColourIndex(20.0f)), palette.size() - 1);
}

TEST(SpectrogramColour, ColumnOfASineIsBrightestAtItsBinAndReadsTopToBottom)
{
    // 1 kHz at amplitude 0.5 over one second: bin 1000 × 1024 ÷ 44100 = 23.2.
    const double rate = 44100.0;
    std::vector<std::int16_t> samples(44100);
    for (std::size_t n = 0; n < samples.size(); ++n) {
        samples[n] = std::int16_t(std::lround(0.5 * 32767.0 * std::sin(2.0 * std::numbers::pi * 1000.0 * double(n) / rate)));
    }
    SpecColumnComputer computer;
    const std::vector<SpecRgb>& palette = spectrogramPalette();
    std::vector<SpecColourIndex> column(SpecColumnStore::kRows + 1, 0xABCD); // one spare pixel as a sentinel
    computer.compute(samples.data(), std::int64_t(samples.size()), rate, 100, column.data());
    EXPECT_EQ(column[SpecColumnStore::kRows], 0xABCD);

    int brightestRow = -1;
    int best = -1;
    for (int row = 0; row < SpecColumnStore::kRows; ++row) {
        const SpecRgb c = palette[column[std::size_t(row)]];
        const int v = c.r + c.g;
        if (v > best) {
            best = v;
            brightestRow = row;
        }
    }
    EXPECT_EQ(brightestRow, 512 - 23); // bin 0 is the bottom row
    // A sinusoid of amplitude A at a bin centre measures 20·log10(A/2) with a unit-sum window; here
    // off-centre and through Blackman-Harris, within 1 dB of −12 dB.
    EXPECT_NEAR(computer.levels()[23], 20.0 * std::log10(0.25), 1.0);

    // A frame wholly outside the file is silence: darkest everywhere.
    computer.compute(samples.data(), std::int64_t(samples.size()), rate, 1000, column.data());
    for (int row = 0; row < SpecColumnStore::kRows; ++row) {
        EXPECT_EQ(palette[column[std::size_t(row)]], (SpecRgb{12, 0, 12}));
    }
}

TEST(SpectrogramView, PictureColumnsAndRowsSitCentredOnTheirTimesAndFrequencies)
{
    // Ten columns (0 … 45 ms) of 513 rows at a rate of 1024 Hz: bin k is k Hz. Column j is red 20·j,
    // row r is green r ÷ 3.
    SpecPicture picture;
    picture.firstColumn = 0;
    picture.stride = 1;
    picture.columnCount = 10;
    picture.sampleRate = 1024.0;
    picture.image = QImage(10, 513, QImage::Format_RGB32);
    for (int x = 0; x < 10; ++x) {
        for (int y = 0; y < 513; ++y) {
            picture.image.setPixel(x, y, qRgb(20 * x, y / 3, 0));
        }
    }
    QImage canvas(100, 513, QImage::Format_RGB32);
    canvas.fill(Qt::black);
    QPainter painter(&canvas);
    // From half a column before the first centre to half after the last: 10 pixels per column.
    drawSpecPicture(painter, picture, -0.0025, 0.05, -0.5, 512.5, canvas.rect());
    painter.end();
    for (int x : {0, 9, 10, 55, 99}) {
        EXPECT_EQ(qRed(canvas.pixel(x, 200)), 20 * (x / 10)) << "x " << x;
    }
    EXPECT_EQ(qGreen(canvas.pixel(50, 0)), 0);
    EXPECT_EQ(qGreen(canvas.pixel(50, 512)), 512 / 3);

    // Only 0 … 256 Hz shown over 257 pixels: the top row is bin 256, at picture row 256.
    QImage half(100, 257, QImage::Format_RGB32);
    half.fill(Qt::black);
    QPainter p2(&half);
    drawSpecPicture(p2, picture, -0.0025, 0.05, -0.5, 256.5, half.rect());
    p2.end();
    EXPECT_EQ(qGreen(half.pixel(50, 0)), 256 / 3);
    EXPECT_EQ(qGreen(half.pixel(50, 256)), 512 / 3);

    // A view reaching past the picture leaves the rest untouched.
    QImage wide(200, 10, QImage::Format_RGB32);
    wide.fill(Qt::blue);
    QPainter p3(&wide);
    drawSpecPicture(p3, picture, -0.0025, 0.1, 0.0, 512.0, wide.rect());
    p3.end();
    EXPECT_EQ(qRed(wide.pixel(95, 5)), 180);
    EXPECT_EQ(wide.pixel(150, 5), qRgb(0, 0, 255));
}

TEST(SpectrogramView, FrequencyRulerWheelSendsZoomSignalsWithSteps)
{
    struct Catcher : CUIView {
        bool handleSignal(std::string_view name, void* argument, UISignalSender*) override
        {
            got.emplace_back(std::string(name), *static_cast<int*>(argument));
            return true;
        }
        std::vector<std::pair<std::string, int>> got;
    } parent;
    CSpectralFreqGraduationView ruler;
    parent.addChild(&ruler);
    UIMessage wheel;
    wheel.kind = UIMessageKind::Wheel;
    wheel.wheelDelta = 240; // away from the user
    EXPECT_TRUE(ruler.mouseMessage(wheel));
    wheel.wheelDelta = -60; // towards, less than one notch
    EXPECT_TRUE(ruler.mouseMessage(wheel));
    EXPECT_EQ(parent.got, (std::vector<std::pair<std::string, int>>{{"zoomInFreq", 2}, {"zoomOutFreq", 1}}));
    parent.removeChild(&ruler);

    // Its range: half the sample rate times the shown fraction, in kHz.
    CWavData wav;
    wav.duration = 1.0f;
    wav.sampleRate = 44100.0f;
    wav.frequencyRange = 0.5f;
    ruler.setWavData(&wav);
    ruler.layoutView(0, 0, 38, 300);
    QImage canvas(38, 300, QImage::Format_RGB32);
    QPainter painter(&canvas);
    ruler.drawView(canvas.rect(), painter);
    painter.end();
    const CGraduationMgr& g = ruler.graduation();
    ASSERT_FALSE(g.tickValues.empty());
    EXPECT_LE(g.tickValues.back(), 11.025f);
    EXPECT_GT(g.tickValues.back() + g.tickStep, 11.025);
}
