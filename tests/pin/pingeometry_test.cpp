#include "pin/pingeometry.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvel;

TEST(PinGeometry, ZoomStopsAtThirtyTwoPointsAndAtFourTimes) {
    // 100 × 20: the smaller side may not drop below 32 points.
    EXPECT_DOUBLE_EQ(pin::clampZoom(0.5, QSizeF(100, 20)), 1.6);
    EXPECT_DOUBLE_EQ(pin::clampZoom(9, QSizeF(400, 300)), 4.0);
    EXPECT_DOUBLE_EQ(pin::clampZoom(0.01, QSizeF(4000, 3000)), 0.1);
    EXPECT_DOUBLE_EQ(pin::clampZoom(0.5, QSizeF(400, 300)), 0.5);
    // Reaching 32 points would need more than 4: the zoom is 4.
    EXPECT_DOUBLE_EQ(pin::clampZoom(1, QSizeF(5, 200)), 4.0);
    EXPECT_DOUBLE_EQ(pin::clampZoom(1, QSizeF(0, 0)), 1.0);
}

TEST(PinGeometry, ZoomKeepsTheAnchorInPlace) {
    const QRectF frame(100, 100, 200, 100);
    const QRectF centred = pin::zoomedFrame(frame, QSizeF(400, 200), frame.center());
    EXPECT_EQ(centred, QRectF(0, 50, 400, 200));
    // The point under the pointer stays under it: (150, 125) is a quarter in.
    const QRectF about = pin::zoomedFrame(frame, QSizeF(400, 200), QPointF(150, 125));
    EXPECT_EQ(about, QRectF(50, 75, 400, 200));
    const QRectF back = pin::zoomedFrame(about, frame.size(), QPointF(150, 125));
    EXPECT_EQ(back, frame);
}

TEST(PinGeometry, ThirtyTwoPointsStayOnScreen) {
    const QRectF visible(0, 20, 1000, 700);
    EXPECT_EQ(pin::keepOnScreen(QRectF(-500, 0, 400, 300), visible), QRectF(-368, 0, 400, 300));
    EXPECT_EQ(pin::keepOnScreen(QRectF(0, -500, 400, 300), visible), QRectF(0, -248, 400, 300));
    EXPECT_EQ(pin::keepOnScreen(QRectF(2000, 900, 400, 300), visible), QRectF(968, 688, 400, 300));
    EXPECT_EQ(pin::keepOnScreen(QRectF(10, 30, 400, 300), visible), QRectF(10, 30, 400, 300));
    // Wider than the screen can hold both ways: the upper bound wins.
    const QRectF tiny(0, 0, 20, 20);
    EXPECT_EQ(pin::keepOnScreen(QRectF(-100, -100, 10, 10), tiny), QRectF(-12, -12, 10, 10));
}

TEST(PinGeometry, OpacityAndWheelSteps) {
    EXPECT_DOUBLE_EQ(pin::clampOpacity(0), 0.2);
    EXPECT_DOUBLE_EQ(pin::clampOpacity(1.5), 1.0);
    EXPECT_DOUBLE_EQ(pin::clampOpacity(0.55), 0.55);
    EXPECT_EQ(pin::transparencyPercent(0.2), 80);
    EXPECT_EQ(pin::transparencyPercent(1), 0);
    EXPECT_EQ(pin::transparencyPercent(0.555), 44);
    EXPECT_DOUBLE_EQ(pin::wheelOpacityDelta(3), 0.06);
    EXPECT_DOUBLE_EQ(pin::wheelOpacityDelta(-40), -0.2);
    EXPECT_DOUBLE_EQ(pin::wheelZoomFactor(1), 1.03);
    EXPECT_DOUBLE_EQ(pin::wheelZoomFactor(100), std::pow(1.03, 10));
    EXPECT_DOUBLE_EQ(pin::wheelZoomFactor(-100), std::pow(1.03, -10));
}

TEST(PinGeometry, WindowGeometryIsWholePixels) {
    EXPECT_EQ(pin::windowGeometry(QRectF(10.4, 20.6, 99.6, 0.2)), QRect(10, 21, 100, 1));
    EXPECT_EQ(pin::windowGeometry(QRectF(-1e12, 1e12, 5, 5)), QRect(-1000000, 1000000, 5, 5));
}
