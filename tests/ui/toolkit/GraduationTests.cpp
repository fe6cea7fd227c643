// Ruler ticks, and the images the views are drawn with.

#include "ui/toolkit/CGraduationMgr.h"
#include "ui/toolkit/CUIButton.h"
#include "ui/toolkit/CUIImage.h"

#include "support/TestSupport.h"

#include <QPainter>

#include <gtest/gtest.h>

using namespace TessarinEditor;

namespace {
constexpr double kTickTolerance = 1e-6; // tick values are floats near multiples of the step
} // namespace

TEST(Graduation, OneSecondOverEightHundredPixelsTicksEveryFiftyMilliseconds)
{
    CGraduationMgr g; // average character width 6
    // Label of 1 at exponent −2: (0 + 2 + 2) × 6 + 12.
    EXPECT_EQ(g.labelWidth(1.0, -2), 36);

    ASSERT_TRUE(g.update({0, 0, 800, 24}, 0.0, 1.0, false));
    // 0.01 s and 0.02 s are 8 and 16 pixels apart, too narrow for 36-pixel labels; 0.05 s are 40.
    EXPECT_DOUBLE_EQ(g.tickStep, 0.05);
    EXPECT_EQ(g.decimalExponent, -2);
    EXPECT_EQ(g.minorSubdivisions, 5);
    EXPECT_EQ(g.labelFormat, "%.2f");
    ASSERT_EQ(g.tickValues.size(), 21u); // 0, 0.05, …, 1: the tick at the very end survives rounding
    for (std::size_t k = 0; k < g.tickValues.size(); ++k) {
        EXPECT_TRUE(lvtest::near(g.tickValues[k], 0.05 * double(k), kTickTolerance, "tick k at k × step"));
    }
    EXPECT_EQ(g.labelText(g.tickValues[3]), QStringLiteral("0.15"));
    EXPECT_EQ(g.pixelOf(0.5), 400);

    // Nothing changed: nothing recomputed.
    EXPECT_FALSE(g.update({0, 0, 800, 24}, 0.0, 1.0, false));
    EXPECT_TRUE(g.update({0, 0, 800, 24}, 0.0, 2.0, false));
}

TEST(Graduation, StartsBelowZeroAndLargeAndTinyStepsFormatTheirLabels)
{
    CGraduationMgr g;
    g.labelExtent = 14;
    // [−1, 1] over 200 pixels, upwards: 0.1 is 10 pixels (< 14), 0.2 is 20.
    ASSERT_TRUE(g.update({0, 0, 38, 200}, -1.0, 2.0, true));
    EXPECT_DOUBLE_EQ(g.tickStep, 0.2);
    EXPECT_EQ(g.minorSubdivisions, 2);
    EXPECT_EQ(g.labelFormat, "%.1f");
    ASSERT_EQ(g.tickValues.size(), 11u);
    EXPECT_TRUE(lvtest::near(g.tickValues.front(), -1.0, kTickTolerance, "first tick at the start"));
    EXPECT_TRUE(lvtest::near(g.tickValues[5], 0.0, kTickTolerance, "a tick at zero"));
    EXPECT_TRUE(lvtest::near(g.tickValues.back(), 1.0, kTickTolerance, "last tick at the end"));
    EXPECT_EQ(g.pixelOf(-1.0), 200); // the bottom edge
    EXPECT_EQ(g.pixelOf(1.0), 0);

    // [0, 0.3] over 100 pixels, labels 10 high: step 0.05, and 6 × 0.05 exceeds 0.3 in doubles; the
    // tick at the end stays.
    g.labelExtent = 10;
    ASSERT_TRUE(g.update({0, 0, 38, 100}, 0.0, 0.3, true));
    EXPECT_DOUBLE_EQ(g.tickStep, 0.05);
    ASSERT_EQ(g.tickValues.size(), 7u);
    EXPECT_TRUE(lvtest::near(g.tickValues.back(), 0.3, kTickTolerance, "last tick at the end"));
    g.labelExtent = 14;

    // 0 … 1000 over 800 pixels: labels (3 + 1) × 6 + 12 = 36 wide; 50 units are 40 pixels.
    ASSERT_TRUE(g.update({0, 0, 800, 24}, 0.0, 1000.0, false));
    EXPECT_DOUBLE_EQ(g.tickStep, 50.0);
    EXPECT_EQ(g.labelFormat, "%d");
    EXPECT_EQ(g.labelText(150.0), QStringLiteral("150"));

    // A microsecond over 800 pixels: exponent −8, below the fixed formats.
    ASSERT_TRUE(g.update({0, 0, 800, 24}, 0.0, 1e-6, false));
    EXPECT_DOUBLE_EQ(g.tickStep, 5e-8);
    EXPECT_EQ(g.labelFormat, "%f");
}

TEST(Graduation, RulerTooShortForAnyLabelHasNoTicks)
{
    CGraduationMgr g;
    // 0 … 1 over 3 pixels: at exponents −2, −1 and 0 even 5 units fall short of the label.
    ASSERT_TRUE(g.update({0, 0, 3, 24}, 0.0, 1.0, false));
    EXPECT_TRUE(g.tickValues.empty());
    EXPECT_EQ(g.tickStep, 0.0);
    // Five pixels hold one label per 5 units.
    ASSERT_TRUE(g.update({0, 0, 5, 24}, 0.0, 1.0, false));
    EXPECT_DOUBLE_EQ(g.tickStep, 5.0);
    // Degenerate ranges give no ticks either, and do not hang.
    EXPECT_TRUE(g.update({0, 0, 800, 24}, 0.0, 0.0, false));
    EXPECT_TRUE(g.tickValues.empty());
    EXPECT_TRUE(g.update({0, 0, 800, 24}, 1e10, 1e-30, false));
    EXPECT_LE(g.tickValues.size(), 2u);
    EXPECT_TRUE(g.update({0, 0, 800, 24}, std::nan(""), 1.0, false));
    EXPECT_TRUE(g.tickValues.empty());
}

namespace {

QImage whiteCanvas(int w, int h)
{
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

} // namespace

TEST(UiImage, NineSliceKeepsCornersAndStretchesEdgesAndCentreWithAlpha)
{
    CUIImage image;
    ASSERT_TRUE(image.load(QStringLiteral(":/tests/nine-slice-probe.png")));
    ASSERT_EQ(image.size(), QSize(24, 24));
    image.setStretch(true, QMargins(8, 8, 8, 8));

    QImage canvas = whiteCanvas(110, 70);
    QPainter painter(&canvas);
    image.draw(painter, QRect(5, 5, 100, 60)); // right edge x = 104, bottom y = 64
    painter.end();

    const QRgb red = qRgb(255, 0, 0);
    const QRgb green = qRgb(0, 255, 0);
    const QRgb yellow = qRgb(255, 255, 0);
    // Corners stay 8 × 8.
    EXPECT_EQ(canvas.pixel(5, 5), red);
    EXPECT_EQ(canvas.pixel(12, 12), red);
    EXPECT_EQ(canvas.pixel(97, 57), red);
    EXPECT_EQ(canvas.pixel(104, 64), red);
    // Edges stretch along their side only.
    EXPECT_EQ(canvas.pixel(13, 5), green);
    EXPECT_EQ(canvas.pixel(96, 12), green);
    EXPECT_EQ(canvas.pixel(55, 64), green);
    EXPECT_EQ(canvas.pixel(5, 13), yellow);
    EXPECT_EQ(canvas.pixel(104, 56), yellow);
    // The half-transparent blue centre blends with the white below it.
    const QColor centre = canvas.pixelColor(55, 35);
    EXPECT_NEAR(centre.red(), 127, 2);
    EXPECT_NEAR(centre.green(), 127, 2);
    EXPECT_EQ(centre.blue(), 255);
    // Nothing outside the target.
    EXPECT_EQ(canvas.pixel(4, 4), qRgb(255, 255, 255));
    EXPECT_EQ(canvas.pixel(105, 65), qRgb(255, 255, 255));
}

TEST(UiImage, UnstretchedImagesAndButtonStatesDrawTheirOwnPixels)
{
    CUIImage image;
    ASSERT_TRUE(image.load(QStringLiteral(":/tests/nine-slice-probe.png")));
    QImage canvas = whiteCanvas(60, 60);
    QPainter painter(&canvas);
    image.draw(painter, QRect(10, 10, 40, 40)); // stretching off: drawn at its own size
    painter.end();
    EXPECT_EQ(canvas.pixel(33, 33), qRgb(255, 0, 0)); // its bottom-right corner
    EXPECT_EQ(canvas.pixel(34, 34), qRgb(255, 255, 255));

    CUIImage missing;
    EXPECT_FALSE(missing.load(QStringLiteral(":/tests/no-such-image.png")));
    EXPECT_TRUE(missing.isNull());

    // A three-state strip: each state draws its own third.
    QImage strip(QStringLiteral(":/tests/btn-up.png"));
    ASSERT_EQ(strip.size(), QSize(90, 30));
    CUIImageButton button;
    ASSERT_TRUE(button.loadStateStrip(QStringLiteral(":/tests/btn-up.png")));
    button.layoutView(0, 0, 30, 30);
    for (int state : {CUIButton::kNormal, CUIButton::kPressed}) {
        QImage drawn(30, 30, QImage::Format_ARGB32_Premultiplied);
        drawn.fill(Qt::transparent);
        QPainter p(&drawn);
        if (state == CUIButton::kPressed) {
            UIMessage down;
            down.kind = UIMessageKind::LeftDown;
            button.mouseMessage(down);
        }
        button.drawView(drawn.rect(), p);
        p.end();
        const QImage expected = strip.copy(state * 30, 0, 30, 30).convertToFormat(QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(drawn, expected) << "state " << state;
    }
}
