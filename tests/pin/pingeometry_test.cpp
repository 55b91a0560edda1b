#include "pin/pingeometry.h"

#include "../qtprinters.h"

#include <gtest/gtest.h>

using namespace korvel;

// How the wheel, the slider and the window use these: PinnedImage tests.
TEST(PinGeometry, ZoomStopsAtThirtyTwoPointsAndAtFourTimes) {
    const std::tuple<double, QSizeF, double> cases[] = {
        {0.5, {100, 20}, 1.6}, // the smaller side stays 32 points
        {9, {400, 300}, 4.0},  {0.01, {4000, 3000}, 0.1},
        {1, {5, 200}, 4.0}, // 32 points would need more than 4
        {1, {0, 0}, 1.0},
    };
    for (const auto& [zoom, size, expected] : cases)
        EXPECT_DOUBLE_EQ(pin::clampZoom(zoom, size), expected) << zoom;
}

TEST(PinGeometry, ThirtyTwoPointsStayOnScreenInWholePixels) {
    const QRectF visible(0, 20, 1000, 700);
    const std::pair<QRectF, QRectF> cases[] = {
        {{-500, 0, 400, 300}, {-368, 0, 400, 300}},
        {{0, -500, 400, 300}, {0, -248, 400, 300}},
        {{2000, 900, 400, 300}, {968, 688, 400, 300}},
        {{10, 30, 400, 300}, {10, 30, 400, 300}},
    };
    for (const auto& [frame, expected] : cases)
        EXPECT_EQ(pin::keepOnScreen(frame, visible), expected) << frame.x();
    // Wider than the screen can hold both ways: the upper bound wins.
    EXPECT_EQ(pin::keepOnScreen(QRectF(-100, -100, 10, 10), QRectF(0, 0, 20, 20)),
              QRectF(-12, -12, 10, 10));
    EXPECT_EQ(pin::windowGeometry(QRectF(10.4, 20.6, 99.6, 0.2)), QRect(10, 21, 100, 1));
    EXPECT_EQ(pin::windowGeometry(QRectF(-1e12, 1e12, 5, 5)), QRect(-1000000, 1000000, 5, 5));
    EXPECT_EQ(pin::transparencyPercent(0.555), 44);
}
