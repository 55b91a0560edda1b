#include "capture/screensnapshot.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korvel;

TEST(PixelCrop, DoubleScaleFlipsAndScales) {
    const QSizeF screen(400, 300);
    const QSize image(800, 600);
    EXPECT_EQ(pixelCrop(QRectF(0, 0, 100, 50), screen, image), QRect(0, 500, 200, 100));
    EXPECT_EQ(pixelCrop(QRectF(0, 0, 400, 300), screen, image), QRect(0, 0, 800, 600));
}

TEST(PixelCrop, FractionalEdgesWidenOutward) {
    const QSizeF screen(400, 300);
    const QSize image(800, 600);
    // minX 10.2 → floor(20.4) = 20; maxX 10.7 → ceil(21.4) = 22.
    const QRect r = pixelCrop(QRectF(10.2, 100, 0.5, 10), screen, image);
    EXPECT_EQ(r.x(), 20);
    EXPECT_EQ(r.x() + r.width(), 22);
    // A selection inside one pixel still covers that pixel.
    const QRect tiny = pixelCrop(QRectF(10.1, 10.1, 0.1, 0.1), screen, QSize(400, 300));
    EXPECT_EQ(tiny, QRect(10, 289, 1, 1));
}

TEST(PixelCrop, FractionalScales) {
    struct Case {
        double scale;
        QRectF selection;
        QRect expected;
    };
    // Display of 1536 × 864 points; image = trunc(points × scale).
    const Case cases[] = {
        {1.0, QRectF(10, 20, 30, 40), QRect(10, 804, 30, 40)},
        {1.25, QRectF(10, 20, 30, 40), QRect(12, 1005, 38, 50)},
        {1.25, QRectF(0.5, 0.5, 1, 1), QRect(0, 1078, 2, 2)},
        {2.0, QRectF(10, 20, 30, 40), QRect(20, 1608, 60, 80)},
    };
    for (const Case& c : cases) {
        const QSizeF screen(1536, 864);
        const QSize image(int(1536 * c.scale), int(864 * c.scale));
        EXPECT_EQ(pixelCrop(c.selection, screen, image), c.expected) << "scale " << c.scale;
        // The whole display is always the whole image.
        EXPECT_EQ(pixelCrop(QRectF(QPointF(0, 0), screen), screen, image),
                  QRect(QPoint(0, 0), image));
    }
}

TEST(PixelCrop, EdgesAreClippedToTheImage) {
    const QSizeF screen(400, 300);
    const QSize image(500, 375); // 1.25
    // Touching each edge, and reaching past it.
    EXPECT_EQ(pixelCrop(QRectF(0, 0, 10, 10), screen, image), QRect(0, 362, 13, 13));
    EXPECT_EQ(pixelCrop(QRectF(390, 290, 10, 10), screen, image), QRect(487, 0, 13, 13));
    EXPECT_EQ(pixelCrop(QRectF(-20, -20, 30, 30), screen, image), QRect(0, 362, 13, 13));
    EXPECT_EQ(pixelCrop(QRectF(390, 290, 50, 50), screen, image), QRect(487, 0, 13, 13));
    EXPECT_EQ(pixelCrop(QRectF(-100, -100, 1000, 1000), screen, image), QRect(0, 0, 500, 375));
    // Entirely outside, empty, or nonsense: nothing to crop.
    EXPECT_TRUE(pixelCrop(QRectF(500, 10, 10, 10), screen, image).isEmpty());
    EXPECT_TRUE(pixelCrop(QRectF(8, 8, 0, 0), screen, image).isEmpty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(pixelCrop(QRectF(nan, 0, 10, 10), screen, image).isEmpty());
    EXPECT_TRUE(pixelCrop(QRectF(0, 0, 1e300, 10), screen, image).width() == 500);
    EXPECT_TRUE(pixelCrop(QRectF(0, 0, 10, 10), QSizeF(0, 300), image).isEmpty());
}

TEST(PixelCrop, NegativeSizeSelectionIsNormalised) {
    EXPECT_EQ(pixelCrop(QRectF(100, 50, -100, -50), QSizeF(400, 300), QSize(800, 600)),
              QRect(0, 500, 200, 100));
}

TEST(LocalWindowRect, FlipsIntoDisplayLocalSpace) {
    // Primary display 1920 × 1080 at the origin: primaryTop = 1080.
    const QRectF primary(0, 0, 1920, 1080);
    const auto r = localWindowRect(QRectF(100, 100, 400, 300), primary, 1080);
    ASSERT_TRUE(r);
    EXPECT_EQ(*r, QRectF(100, 680, 400, 300));
}

TEST(LocalWindowRect, StraddlingWindowIsClippedPerDisplay) {
    const QRectF left(0, 0, 1920, 1080);
    const QRectF right(1920, 56, 1280, 1024); // top edges aligned in top-left space
    const QRectF window(1800, 100, 400, 300);
    const auto onLeft = localWindowRect(window, left, 1080);
    const auto onRight = localWindowRect(window, right, 1080);
    ASSERT_TRUE(onLeft && onRight);
    EXPECT_EQ(*onLeft, QRectF(1800, 680, 120, 300));
    EXPECT_EQ(*onRight, QRectF(0, 624, 280, 300));
    // A sliver thinner than 3 points on a display is not listed there.
    EXPECT_FALSE(localWindowRect(QRectF(1918, 100, 400, 300), left, 1080));
    EXPECT_TRUE(localWindowRect(QRectF(1917, 100, 400, 300), left, 1080));
    EXPECT_FALSE(localWindowRect(QRectF(100, 1078, 400, 300), left, 1080));
    EXPECT_FALSE(localWindowRect(QRectF(5000, 100, 400, 300), left, 1080));
}

TEST(LocalWindowRect, SecondaryDisplayAbovePrimary) {
    // A 1280 × 1024 display above a 1920 × 1080 primary: its frame in
    // bottom-left space starts at y = 1080.
    const QRectF above(0, 1080, 1280, 1024);
    const auto r = localWindowRect(QRectF(100, -500, 200, 100), above, 1080);
    ASSERT_TRUE(r);
    // Global bottom-left y = 1080 − (−500 + 100) = 1480; local = 1480 − 1080.
    EXPECT_EQ(*r, QRectF(100, 400, 200, 100));
}

TEST(DesktopLayout, FramesAndPrimaryTop) {
    const std::vector<Display> displays = {
        {1, QStringLiteral("A"), QRect(0, 0, 1920, 1080), true},
        {2, QStringLiteral("B"), QRect(1920, 0, 1280, 1024), false},
        {3, QStringLiteral("C"), QRect(0, -1024, 1280, 1024), false},
    };
    const DesktopLayout layout = desktopLayout(displays, 1.0);
    const double top = primaryTop(displays, layout);
    EXPECT_EQ(top, 1080);
    EXPECT_EQ(displayFrame(displays[0], layout, top), QRectF(0, 0, 1920, 1080));
    EXPECT_EQ(displayFrame(displays[1], layout, top), QRectF(1920, 56, 1280, 1024));
    EXPECT_EQ(displayFrame(displays[2], layout, top), QRectF(0, 1080, 1280, 1024));
    EXPECT_EQ(primaryTop({}, layout), 0);

    // At scale 2 a point is two pixels; the primary need not sit at the root origin.
    const std::vector<Display> shifted = {
        {1, QStringLiteral("A"), QRect(1280, 0, 2560, 1440), true},
        {2, QStringLiteral("B"), QRect(0, 0, 1280, 1024), false},
    };
    const DesktopLayout hi = desktopLayout(shifted, 2.0);
    const double hiTop = primaryTop(shifted, hi);
    EXPECT_EQ(hiTop, 720);
    EXPECT_EQ(displayFrame(shifted[0], hi, hiTop), QRectF(0, 0, 1280, 720));
    EXPECT_EQ(displayFrame(shifted[1], hi, hiTop), QRectF(-640, 208, 640, 512));
    EXPECT_EQ(globalTopLeft(QRectF(1380, 100, 200, 100), hi), QRectF(50, 50, 100, 50));
    // A nonsensical scale falls back to 1 instead of dividing by zero.
    EXPECT_EQ(desktopLayout(shifted, 0).scale, 1.0);
}

TEST(CaptureWindowTargets, DropsEverythingThatCannotBeATarget) {
    const DesktopLayout layout{QPoint(0, 0), 1.0};
    auto window = [](std::optional<qint64> pid, std::optional<int> layer,
                     std::optional<double> alpha, std::optional<QRectF> bounds) {
        WindowInfo w;
        w.pid = pid;
        w.layer = layer;
        w.alpha = alpha;
        w.bounds = bounds;
        return w;
    };
    const QRectF ok(10, 10, 100, 100);
    const double inf = std::numeric_limits<double>::infinity();
    const std::vector<WindowInfo> list = {
        window(100, 0, 1.0, ok),                    // kept
        window(std::nullopt, 0, 1.0, ok),           // no pid: kept, owner unknown
        window(-5, 0, 1.0, ok),                     // nonsense pid: the same
        window(42, 0, 1.0, ok),                     // our own
        window(101, 20, 1.0, ok),                   // dock layer
        window(102, std::nullopt, 1.0, ok),         // no layer
        window(103, 0, 0.0, ok),                    // transparent
        window(104, 0, std::nullopt, ok),           // no alpha: kept
        window(105, 0, 1.0, std::nullopt),          // no bounds
        window(106, 0, 1.0, QRectF(0, 0, 29, 100)), // too narrow
        window(107, 0, 1.0, QRectF(0, 0, 100, 29)), // too low
        window(108, 0, 1.0, QRectF(0, 0, 30, 30)),  // smallest kept
        window(109, 0, 1.0, QRectF(-inf, 0, 100, 100)),
        window(110, 0, std::numeric_limits<double>::quiet_NaN(), ok), // NaN alpha
    };
    const auto targets = captureWindowTargets(list, layout, 42);
    std::vector<qint32> pids;
    for (const WindowTarget& t : targets)
        pids.push_back(t.pid);
    EXPECT_EQ(pids, (std::vector<qint32>{100, 0, 0, 104, 108}));
    EXPECT_EQ(targets[4].bounds, QRectF(0, 0, 30, 30));
}

TEST(CaptureWindowTargets, MinimumSizeIsMeasuredInPoints) {
    WindowInfo w;
    w.pid = 7;
    w.layer = 0;
    w.bounds = QRectF(200, 100, 50, 50); // 25 × 25 points at scale 2
    const DesktopLayout layout{QPoint(0, 0), 2.0};
    EXPECT_TRUE(captureWindowTargets({w}, layout, 1).empty());
    w.bounds = QRectF(200, 100, 60, 60);
    const auto targets = captureWindowTargets({w}, layout, 1);
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0].bounds, QRectF(100, 50, 30, 30));
}
