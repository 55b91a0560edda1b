#include "capture/pixelmagnifier.h"
#include "capture/selectionadjustment.h"

#include "../qtprinters.h"

#include <gtest/gtest.h>
#include <QClipboard>
#include <QGuiApplication>

using namespace korvel;

namespace {

const QRectF bounds(0, 0, 400, 300);

// A 400 × 300 point overlay over an 800 × 600 pixel (2×) snapshot; points are
// display-local (y up).
struct Magnifier : ::testing::Test {
    QImage image = [] {
        QImage i(800, 600, QImage::Format_ARGB32_Premultiplied);
        i.fill(QColor(59, 130, 246));
        i.setPixelColor(0, 0, Qt::red);
        return i;
    }();
    QWidget overlay;
    PixelMagnifier* magnifier = new PixelMagnifier(image, &overlay);

    void SetUp() override { overlay.resize(400, 300); }
};

} // namespace

TEST(PixelSample, TransparentPixelReadsBlackAndHalfAlphaUnpremultiplies) {
    QImage i(2, 1, QImage::Format_ARGB32);
    i.setPixel(0, 0, qRgba(255, 0, 0, 0));
    i.setPixel(1, 0, qRgba(200, 100, 50, 128));
    EXPECT_EQ(sampleAt(i, QPointF(0.1, 0.5), QRectF(0, 0, 2, 1))->hex(), QStringLiteral("#000000"));
    const QColor half = sampleAt(i, QPointF(1.5, 0.5), QRectF(0, 0, 2, 1))->color;
    EXPECT_NEAR(half.red(), 200, 2);
    EXPECT_NEAR(half.green(), 100, 2);
    EXPECT_EQ(half.alpha(), 255);
}

TEST_F(Magnifier, CopiedLastsUntilThePixelChanges) {
    EXPECT_FALSE(magnifier->copyColor()); // nothing sampled yet
    magnifier->updateAt(QPointF(100.1, 150.1), bounds);
    ASSERT_TRUE(magnifier->copyColor());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("#3B82F6"));
    magnifier->updateAt(QPointF(100.3, 150.1), bounds); // same pixel 200
    EXPECT_TRUE(magnifier->copied());
    magnifier->updateAt(QPointF(101, 150.1), bounds); // pixel 202
    EXPECT_FALSE(magnifier->copied());
}

TEST_F(Magnifier, BesideThePointerFlippedAndKeptOffTheEdges) {
    const std::pair<QPointF, QPointF> origins[] = {
        {{100, 250}, {122, 54}}, {{380, 250}, {168, 54}}, // flipped left
        {{100, 50}, {122, 72}},                           // flipped above
        {{200, 150}, {8, 118}},                           // neither side fits: held 8 points inside
        {{399, 1}, {187, 23}},
    };
    for (const auto& [pointer, origin] : origins)
        EXPECT_EQ(magnifierOrigin(pointer, bounds), origin) << pointer.x();
    // Hidden until tracked, then placed in widget coordinates (y down) and
    // transparent to clicks.
    EXPECT_TRUE(magnifier->isHidden());
    magnifier->updateAt(QPointF(100, 250), bounds);
    EXPECT_FALSE(magnifier->isHidden());
    EXPECT_EQ(magnifier->geometry(), QRect(122, 300 - (54 + 174), 190, 174));
    EXPECT_EQ(overlay.childAt(QPoint(200, 150)), nullptr);
}

TEST_F(Magnifier, ZoomShowsEightPointPixelsAgainstGreyAtTheCorner) {
    magnifier->updateAt(QPointF(0, 300), bounds); // pixel (0, 0)
    const QImage shot = magnifier->grab().toImage();
    // Pixel (0, 0) is the square at (91, 59): ten columns and six rows of
    // missing pixels to its left and above.
    EXPECT_EQ(shot.pixelColor(92, 60), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(98, 66), QColor(Qt::red));
    EXPECT_EQ(shot.pixelColor(100, 60), QColor(59, 130, 246));  // pixel (1, 0)
    EXPECT_EQ(shot.pixelColor(95, 58), selectionBorderColor()); // the crosshair
    const QColor grey = shot.pixelColor(20, 20);
    EXPECT_NEAR(grey.red(), 230, 1);
    EXPECT_EQ(grey.red(), grey.blue());
}
