#include "../qtprinters.h"
#include "capture/selectionadjustment.h"
#include "capture/selectionchrome.h"
#include "testevents.h"

#include <gtest/gtest.h>
#include <QPainter>

using namespace korvel;
using H = SelectionHandle;

namespace {

// A 400 × 300 overlay; points are display-local (y up).
struct Chrome : ::testing::Test {
    QWidget overlay;
    SelectionChrome* chrome = new SelectionChrome(&overlay);
    std::vector<QRectF> changes;
    std::vector<bool> adjusting;
    int copies = 0;

    void SetUp() override {
        overlay.resize(400, 300);
        chrome->resize(400, 300);
        chrome->setSelection(QRectF(100, 100, 200, 100));
        chrome->onChange = [this](const QRectF& r) {
            changes.push_back(r);
            chrome->setSelection(r);
        };
        chrome->onAdjustingChanged = [this](bool on) { adjusting.push_back(on); };
        chrome->onCopy = [this] { ++copies; };
    }
    bool send(QEvent::Type type, QPointF p) {
        return test::mouse(chrome, type, QPointF(p.x(), 300 - p.y()),
                           type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton);
    }
};

QImage drawn(const QRectF& selection) {
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    drawSelectionBorder(painter, selection);
    drawSelectionHandles(painter, selection);
    return image;
}

} // namespace

// Where the handles stop: SelectionAdjustment; here only that drags reach it.
TEST_F(Chrome, DraggingAHandleProposesTheAdjustedSelection) {
    EXPECT_TRUE(send(QEvent::MouseButtonPress, QPointF(100, 150))); // left handle
    send(QEvent::MouseMove, QPointF(400, 150));
    send(QEvent::MouseButtonRelease, QPointF(400, 150));
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back(), QRectF(297, 100, 3, 100));
    EXPECT_EQ(adjusting, (std::vector<bool>{true, false}));
}

TEST_F(Chrome, TheInteriorPassesThroughWhenNotMovingAndDoubleClicksCopyWhereClaimed) {
    send(QEvent::MouseButtonDblClick, QPointF(300, 200)); // a corner
    send(QEvent::MouseButtonDblClick, QPointF(200, 150)); // the interior, moving
    EXPECT_EQ(copies, 2);
    EXPECT_TRUE(chrome->mask().contains(QPoint(200, 150)));
    chrome->setMoving(false);
    EXPECT_FALSE(chrome->handle(QPointF(200, 150)));
    EXPECT_FALSE(chrome->mask().contains(QPoint(200, 150)));
    EXPECT_TRUE(chrome->mask().contains(QPoint(100, 150))); // left edge band
    EXPECT_FALSE(chrome->mask().contains(QPoint(20, 20)));  // outside
    EXPECT_FALSE(send(QEvent::MouseButtonPress, QPointF(200, 150)));
    send(QEvent::MouseButtonDblClick, QPointF(200, 150));
    EXPECT_EQ(copies, 2);
}

TEST(SelectionDrawing, SmallSelectionsShowSideHandlesOnly) {
    const QImage small = drawn(QRectF(40, 40, 20, 20));
    EXPECT_EQ(small.pixel(50, 40), qRgb(255, 255, 255)); // side handle centre
    EXPECT_NE(small.pixel(40, 40), qRgb(255, 255, 255)); // no corner on 20 × 20
    const QImage big = drawn(QRectF(20, 20, 60, 60));
    EXPECT_EQ(big.pixel(20, 20), qRgb(255, 255, 255));
    EXPECT_EQ(big.pixel(35, 21), selectionBorderColor().rgb()); // the border, 3 wide
    EXPECT_EQ(big.pixel(50, 50), qRgb(0, 0, 0));
}

// Its text and place: SizeBadge.TextAndPlacement.
TEST_F(Chrome, TheSizeBadgeShowsPixelsAndHidesWithoutSelection) {
    SelectionSizeBadge badge(&overlay);
    const auto update = [&badge](std::optional<QRectF> selection) {
        badge.update(selection, QSizeF(400, 300), QSize(800, 600), QRectF(0, 0, 400, 300));
    };
    update(QRectF(100, 100, 100.5, 50));
    EXPECT_EQ(badge.text(), QStringLiteral("201 × 100 px"));
    EXPECT_FALSE(badge.isHidden());
    EXPECT_TRUE(badge.testAttribute(Qt::WA_TransparentForMouseEvents));
    badge.onEdit = [] {};
    update(QRectF(0, 250, 400, 50));
    EXPECT_FALSE(badge.testAttribute(Qt::WA_TransparentForMouseEvents));
    update(std::nullopt);
    EXPECT_TRUE(badge.isHidden());
}

TEST(SelectionHandles, NearestAnchorWinsThenTheEarlierOneThenEdgesThenTheInside) {
    const QRectF s(100, 100, 10, 10); // anchors 5 apart
    const QRectF big(0, 0, 200, 100);
    const std::tuple<QRectF, QPointF, bool, std::optional<H>> cases[] = {
        {s, {100, 100}, true, H::bottomLeft},   {s, {104, 100}, true, H::bottom},
        {s, {102.5, 100}, true, H::bottomLeft}, // equidistant: the earlier
        {s, {110, 107}, true, H::right},        // 2 from right, 3 from topRight
        {big, {-7, -7}, false, H::bottomLeft},  {big, {-7.1, -7}, false, std::nullopt},
        {big, {4, 50}, false, H::left},         {big, {205, 60}, false, H::right},
        {big, {50, -5}, false, H::bottom},      {big, {150, 104}, false, H::top},
        {big, {50, 50}, true, H::move}, // the interior only when moving
        {big, {50, 50}, false, std::nullopt},   {big, {50, 106}, true, std::nullopt},
    };
    for (const auto& [selection, at, moving, expected] : cases)
        EXPECT_EQ(handleAt(selection, at, moving), expected) << at.x() << "," << at.y();
}

// Sides stop at 3 points and at the bounds; the aspect lock keeps the shape
// against the opposite corner.
TEST(SelectionAdjustment, Table) {
    const QRectF b(0, 0, 1000, 800);
    const QRectF r(100, 100, 200, 100);
    const QRectF low(100, 300, 200, 100); // top-left corner at (100, 400)
    const std::tuple<H, QRectF, QPointF, bool, QRectF> cases[] = {
        {H::left, r, {500, 0}, false, {297, 100, 3, 100}}, // past the right edge: 3 wide
        {H::left, r, {-500, 0}, false, {0, 100, 300, 100}},
        {H::top, r, {0, -300}, false, {100, 100, 200, 3}},
        {H::topRight, r, {900, 900}, false, {100, 100, 900, 700}},
        {H::move, r, {-500, 2000}, false, {0, 700, 200, 100}}, // the size kept
        {H::move, r, {5, 5}, false, {105, 105, 200, 100}},
        // Larger than the bounds: pinned to their minimum edge.
        {H::move, {0, 0, 2000, 100}, {10, 0}, false, {0, 0, 2000, 100}},
        // bottomRight moves maxX and minY: the top-left corner stays.
        {H::bottomRight, low, {200, -20}, true, {100, 200, 400, 200}},
        // Never grows past the display: room below the top edge is 400 points.
        {H::bottomRight, low, {5000, -5000}, true, {100, 0, 800, 400}},
        {H::right, low, {50, 0}, true, {100, 300, 250, 100}}, // a side handle: no lock
    };
    for (const auto& [handle, from, by, lock, expected] : cases)
        EXPECT_EQ(adjusted(handle, from, by, b, lock), expected) << int(handle) << by.x();
}

TEST(SelectionStroke, LandsOnDevicePixels) {
    const QRectF r(10.2, 10.2, 100, 50);
    EXPECT_EQ(selectionStrokeRect(r, 2), QRectF(10, 10, 100, 50));
    EXPECT_EQ(selectionStrokeRect(r, 1), QRectF(10.5, 10.5, 100, 50));
    EXPECT_EQ(selectionStrokeRect(r, 0.5), QRectF(10.5, 10.5, 100, 50)); // at least 1
}

TEST(ExactSelectionSize, RoundsClampsAndKeepsTheCorner) {
    const QRectF sel(100, 50, 50, 50); // on 400 × 300 points of 800 × 600 pixels
    const std::pair<QSizeF, QRectF> cases[] = {
        {{200, 100}, {100, 50, 100, 50}},  {{1.4, 0.4}, {100, 50, 0.5, 0.5}},
        {{5000, 5000}, {0, 0, 400, 300}},  {{700, 500}, {50, 50, 350, 250}}, // pushed back
        {{2.5, 2.5}, {100, 50, 1.5, 1.5}},
    };
    for (const auto& [pixels, expected] : cases)
        EXPECT_EQ(exactSelectionSize(pixels, sel, QSizeF(400, 300), QSize(800, 600)), expected)
            << pixels.width();
}

TEST(ToolbarFrame, EveryPlacement) {
    const QRectF b(0, 0, 1440, 900);
    const QSizeF size(600, 80);
    const std::tuple<QRectF, QRectF, QRectF> cases[] = {
        // Room below: right-aligned with the selection, 10 below it.
        {{300, 400, 800, 300}, b, {500, 310, 600, 80}},
        {{300, 50, 800, 300}, b, {500, 360, 600, 80}}, // near the bottom: above
        {{300, 0, 800, 900}, b, {500, 812, 600, 80}},  // display tall: 8 inside its top
        {{0, 400, 100, 100}, b, {8, 310, 600, 80}},    // kept 8 inside at the left
        {{1340, 400, 100, 100}, b, {832, 310, 600, 80}},
        {{1240, 700, 200, 200}, b, {832, 610, 600, 80}},
        {{0, 0, 100, 40}, {0, 0, 300, 60}, {8, 8, 600, 80}}, // too small: minimum edges
        {{1500, 500, 300, 300}, {1440, 0, 1280, 1024}, {1448, 410, 600, 80}},
    };
    for (const auto& [selection, bounds, expected] : cases)
        EXPECT_EQ(toolbarFrame(size, selection, bounds), expected) << selection.x();
}

TEST(SizeBadge, TextAndPlacement) {
    EXPECT_EQ(sizeBadgeText(QRectF(0, 0, 720, 450), QSizeF(1440, 900), QSize(2880, 1800)),
              QStringLiteral("1440 × 900 px"));
    const QRectF b(0, 0, 1440, 900);
    EXPECT_EQ(sizeBadgeFrame(80, QRectF(100, 100, 300, 200), b), QRectF(100, 308, 100, 24));
    EXPECT_EQ(sizeBadgeFrame(80, QRectF(100, 600, 300, 300), b), QRectF(100, 568, 100, 24));
    EXPECT_EQ(sizeBadgeFrame(80, b, b), QRectF(6, 866, 100, 24)); // filling: inside the top
    EXPECT_EQ(sizeBadgeFrame(80, QRectF(1400, 100, 40, 40), b).x(), 1440 - 100 - 6);
}
