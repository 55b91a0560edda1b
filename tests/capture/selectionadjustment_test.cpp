#include "capture/selectionadjustment.h"

#include <gtest/gtest.h>

using namespace korvel;
using H = SelectionHandle;

TEST(SelectionHandles, NearestAnchorWinsThenTheEarlierOne) {
    const QRectF s(100, 100, 10, 10); // anchors 5 apart
    EXPECT_EQ(handleAt(s, QPointF(100, 100), true), H::bottomLeft);
    EXPECT_EQ(handleAt(s, QPointF(104, 100), true), H::bottom);
    // Equidistant from bottomLeft (100,100) and bottom (105,100): the earlier.
    EXPECT_EQ(handleAt(s, QPointF(102.5, 100), true), H::bottomLeft);
    EXPECT_EQ(handleAt(s, QPointF(110, 107), true), H::right); // 2 from right, 3 from topRight
    const QRectF big(0, 0, 200, 100);
    EXPECT_EQ(handleAt(big, QPointF(-7, -7), false), H::bottomLeft);
    EXPECT_FALSE(handleAt(big, QPointF(-7.1, -7), false));
    // Edge bands, then the interior only when moving.
    EXPECT_EQ(handleAt(big, QPointF(4, 50), false), H::left);
    EXPECT_EQ(handleAt(big, QPointF(205, 60), false), H::right);
    EXPECT_EQ(handleAt(big, QPointF(50, -5), false), H::bottom);
    EXPECT_EQ(handleAt(big, QPointF(150, 104), false), H::top);
    EXPECT_EQ(handleAt(big, QPointF(50, 50), true), H::move);
    EXPECT_FALSE(handleAt(big, QPointF(50, 50), false));
    EXPECT_FALSE(handleAt(big, QPointF(50, 106), true));
}

TEST(SelectionAdjustment, SidesStopAtThreePointsAndAtTheBounds) {
    const QRectF b(0, 0, 1000, 800);
    const QRectF r(100, 100, 200, 100);
    // The left handle dragged right past the right edge stops at a width of 3.
    EXPECT_EQ(adjusted(H::left, r, QPointF(500, 0), b, false), QRectF(297, 100, 3, 100));
    // Dragged left past the display edge stops there.
    EXPECT_EQ(adjusted(H::left, r, QPointF(-500, 0), b, false), QRectF(0, 100, 300, 100));
    EXPECT_EQ(adjusted(H::top, r, QPointF(0, -300), b, false), QRectF(100, 100, 200, 3));
    EXPECT_EQ(adjusted(H::topRight, r, QPointF(900, 900), b, false), QRectF(100, 100, 900, 700));
    // Moving keeps the size and stops at the edges.
    EXPECT_EQ(adjusted(H::move, r, QPointF(-500, 2000), b, false), QRectF(0, 700, 200, 100));
    EXPECT_EQ(adjusted(H::move, r, QPointF(5, 5), b, false), QRectF(105, 105, 200, 100));
    // Larger than the bounds: pinned to their minimum edge.
    EXPECT_EQ(adjusted(H::move, QRectF(0, 0, 2000, 100), QPointF(10, 0), b, false).x(), 0);
}

TEST(SelectionAdjustment, AspectLockKeepsTheShapeAgainstTheOppositeCorner) {
    const QRectF b(0, 0, 1000, 800);
    const QRectF r(100, 300, 200, 100); // top-left corner at (100, 400)
    // bottomRight moves maxX and minY: the top-left corner stays.
    const QRectF grown = adjusted(H::bottomRight, r, QPointF(200, -20), b, true);
    EXPECT_DOUBLE_EQ(grown.width() / grown.height(), 2.0);
    EXPECT_DOUBLE_EQ(grown.x(), 100);
    EXPECT_DOUBLE_EQ(grown.y() + grown.height(), 400);
    EXPECT_DOUBLE_EQ(grown.width(), 400);
    // Never grows past the display: room below the top edge is 400 points.
    const QRectF capped = adjusted(H::bottomRight, r, QPointF(5000, -5000), b, true);
    EXPECT_DOUBLE_EQ(capped.width(), 400 * 2.0);
    EXPECT_DOUBLE_EQ(capped.height(), 400);
    EXPECT_DOUBLE_EQ(capped.y(), 0);
    // Without Shift, or on a side handle, no lock.
    EXPECT_EQ(adjusted(H::right, r, QPointF(50, 0), b, true), QRectF(100, 300, 250, 100));
}

TEST(SelectionStroke, LandsOnDevicePixels) {
    const QRectF r(10.2, 10.2, 100, 50);
    EXPECT_EQ(selectionStrokeRect(r, 2), QRectF(10, 10, 100, 50));
    EXPECT_EQ(selectionStrokeRect(r, 1), QRectF(10.5, 10.5, 100, 50));
    EXPECT_EQ(selectionStrokeRect(r, 0.5), QRectF(10.5, 10.5, 100, 50)); // at least 1
}

TEST(ExactSelectionSize, RoundsClampsAndKeepsTheCorner) {
    const QSizeF screen(400, 300);
    const QSize image(800, 600);
    const QRectF sel(100, 50, 50, 50);
    EXPECT_EQ(exactSelectionSize(QSizeF(200, 100), sel, screen, image), QRectF(100, 50, 100, 50));
    EXPECT_EQ(exactSelectionSize(QSizeF(1.4, 0.4), sel, screen, image), QRectF(100, 50, 0.5, 0.5));
    EXPECT_EQ(exactSelectionSize(QSizeF(5000, 5000), sel, screen, image), QRectF(0, 0, 400, 300));
    // Would stick out: pushed left and down.
    EXPECT_EQ(exactSelectionSize(QSizeF(700, 500), sel, screen, image), QRectF(50, 50, 350, 250));
    EXPECT_EQ(exactSelectionSize(QSizeF(2.5, 2.5), sel, screen, image).width(), 1.5);
}

TEST(ToolbarFrame, EveryPlacement) {
    const QRectF b(0, 0, 1440, 900);
    const QSizeF size(600, 80);
    // Room below: right-aligned with the selection, 10 below it.
    EXPECT_EQ(toolbarFrame(size, QRectF(300, 400, 800, 300), b), QRectF(500, 310, 600, 80));
    // Near the bottom: above it.
    EXPECT_EQ(toolbarFrame(size, QRectF(300, 50, 800, 300), b), QRectF(500, 360, 600, 80));
    // As tall as the display: 8 inside the top edge.
    EXPECT_EQ(toolbarFrame(size, QRectF(300, 0, 800, 900), b), QRectF(500, 812, 600, 80));
    // Selection narrower than the toolbar at the left edge: kept 8 inside.
    EXPECT_EQ(toolbarFrame(size, QRectF(0, 400, 100, 100), b).x(), 8);
    // At the right edge: kept 8 inside.
    EXPECT_EQ(toolbarFrame(size, QRectF(1340, 400, 100, 100), b).x(), 832);
    // Top-right corner, bottom-left corner.
    EXPECT_EQ(toolbarFrame(size, QRectF(1240, 700, 200, 200), b), QRectF(832, 610, 600, 80));
    EXPECT_EQ(toolbarFrame(size, QRectF(0, 0, 200, 200), b), QRectF(8, 210, 600, 80));
    // Too small a display for the toolbar: pinned at the minimum edges.
    EXPECT_EQ(toolbarFrame(size, QRectF(0, 0, 100, 40), QRectF(0, 0, 300, 60)),
              QRectF(8, 8, 600, 80));
    // Second monitor's bounds with their own origin.
    const QRectF second(1440, 0, 1280, 1024);
    EXPECT_EQ(toolbarFrame(size, QRectF(1500, 500, 300, 300), second), QRectF(1448, 410, 600, 80));
}

TEST(SizeBadge, TextAndPlacement) {
    EXPECT_EQ(sizeBadgeText(QRectF(0, 0, 720, 450), QSizeF(1440, 900), QSize(2880, 1800)),
              QStringLiteral("1440 × 900 px"));
    const QRectF b(0, 0, 1440, 900);
    // Room above the selection.
    EXPECT_EQ(sizeBadgeFrame(80, QRectF(100, 100, 300, 200), b), QRectF(100, 308, 100, 24));
    // Touching the top: below it.
    EXPECT_EQ(sizeBadgeFrame(80, QRectF(100, 600, 300, 300), b), QRectF(100, 568, 100, 24));
    // Filling the display: inside its top edge.
    EXPECT_EQ(sizeBadgeFrame(80, b, b), QRectF(6, 866, 100, 24));
    // Kept 6 inside at the right.
    EXPECT_EQ(sizeBadgeFrame(80, QRectF(1400, 100, 40, 40), b).x(), 1440 - 100 - 6);
}
