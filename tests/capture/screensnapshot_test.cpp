#include "capture/screensnapshot.h"

#include "../qtprinters.h"

#include <gtest/gtest.h>

#include <limits>
#include <optional>
#include <tuple>

using namespace korvel;

// Selections in bottom-left points to top-left image pixels: flipped,
// scaled, widened outward at fractional edges, clipped to the image.
TEST(PixelCrop, Table) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const QSizeF s(400, 300), wide(1536, 864);
    const std::tuple<QSizeF, QSize, QRectF, QRect> cases[] = {
        {s, {800, 600}, {0, 0, 100, 50}, {0, 500, 200, 100}},
        {s, {800, 600}, {100, 50, -100, -50}, {0, 500, 200, 100}}, // normalised
        // minX 10.2 → floor(20.4) = 20; maxX 10.7 → ceil(21.4) = 22.
        {s, {800, 600}, {10.2, 100, 0.5, 10}, {20, 380, 2, 20}},
        {s, {400, 300}, {10.1, 10.1, 0.1, 0.1}, {10, 289, 1, 1}}, // inside one pixel
        {wide, {1920, 1080}, {10, 20, 30, 40}, {12, 1005, 38, 50}},
        {wide, {1920, 1080}, {0.5, 0.5, 1, 1}, {0, 1078, 2, 2}},
        {wide, {3072, 1728}, {10, 20, 30, 40}, {20, 1608, 60, 80}},
        // At 1.25, touching each edge and reaching past it.
        {s, {500, 375}, {390, 290, 10, 10}, {487, 0, 13, 13}},
        {s, {500, 375}, {-20, -20, 30, 30}, {0, 362, 13, 13}},
        {s, {500, 375}, {390, 290, 50, 50}, {487, 0, 13, 13}},
        {s, {500, 375}, {-100, -100, 1000, 1000}, {0, 0, 500, 375}},
        {s, {500, 375}, {0, 0, 1e300, 10}, {0, 362, 500, 13}},
        {s, {500, 375}, {500, 10, 10, 10}, {}},
        {s, {500, 375}, {8, 8, 0, 0}, {}},
        {s, {500, 375}, {nan, 0, 10, 10}, {}},
        {{0, 300}, {500, 375}, {0, 0, 10, 10}, {}},
    };
    for (const auto& [screen, image, selection, expected] : cases)
        EXPECT_EQ(pixelCrop(selection, screen, image), expected)
            << selection.x() << "," << selection.y();
}

// Windows in top-left global space to display-local bottom-left points, per
// display, under a 1920 × 1080 primary (primaryTop 1080).
TEST(LocalWindowRect, Table) {
    const QRectF left(0, 0, 1920, 1080);
    const QRectF right(1920, 56, 1280, 1024); // top edges aligned in top-left space
    const QRectF above(0, 1080, 1280, 1024);  // over the primary
    const std::tuple<QRectF, QRectF, std::optional<QRectF>> cases[] = {
        {{100, 100, 400, 300}, left, QRectF(100, 680, 400, 300)},
        {{1800, 100, 400, 300}, left, QRectF(1800, 680, 120, 300)},
        {{1800, 100, 400, 300}, right, QRectF(0, 624, 280, 300)},
        {{2000, 900, 200, 200}, right, QRectF(80, 0, 200, 124)}, // clipped at its bottom
        // Global bottom-left y = 1080 − (−500 + 100) = 1480; local = 1480 − 1080.
        {{100, -500, 200, 100}, above, QRectF(100, 400, 200, 100)},
        // A sliver thinner than 3 points on a display is not listed there.
        {{1918, 100, 400, 300}, left, std::nullopt},
        {{1917, 100, 400, 300}, left, QRectF(1917, 680, 3, 300)},
        {{100, 1078, 400, 300}, left, std::nullopt},
        {{5000, 100, 400, 300}, left, std::nullopt},
    };
    for (const auto& [window, display, expected] : cases)
        EXPECT_EQ(localWindowRect(window, display, 1080), expected) << window.x();
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
    EXPECT_EQ(displayFrame(displays[1], layout, top), QRectF(1920, 56, 1280, 1024));
    EXPECT_EQ(displayFrame(displays[2], layout, top), QRectF(0, 1080, 1280, 1024));
    EXPECT_EQ(primaryTop({}, layout), 0);
    // At scale 2 a point is two pixels; the primary need not sit at the root origin.
    const std::vector<Display> shifted = {
        {1, QStringLiteral("A"), QRect(1280, 0, 2560, 1440), true},
        {2, QStringLiteral("B"), QRect(0, 0, 1280, 1024), false},
    };
    const DesktopLayout hi = desktopLayout(shifted, 2.0);
    EXPECT_EQ(primaryTop(shifted, hi), 720);
    EXPECT_EQ(displayFrame(shifted[0], hi, 720), QRectF(0, 0, 1280, 720));
    EXPECT_EQ(displayFrame(shifted[1], hi, 720), QRectF(-640, 208, 640, 512));
    EXPECT_EQ(globalTopLeft(QRectF(1380, 100, 200, 100), hi), QRectF(50, 50, 100, 50));
    // A nonsensical scale falls back to 1 instead of dividing by zero.
    EXPECT_EQ(desktopLayout(shifted, 0).scale, 1.0);
}

TEST(CaptureWindowTargets, DropsEverythingThatCannotBeATarget) {
    const auto window = [](auto pid, auto layer, auto alpha, auto bounds) {
        return WindowInfo{0, pid, layer, alpha, bounds, {}, {}};
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
    const auto pids = [](const std::vector<WindowTarget>& targets) {
        std::vector<qint32> found;
        for (const WindowTarget& t : targets)
            found.push_back(t.pid);
        return found;
    };
    EXPECT_EQ(pids(captureWindowTargets(list, DesktopLayout{QPoint(0, 0), 1.0}, 42)),
              (std::vector<qint32>{100, 0, 0, 104, 108}));
    // Sizes are measured in points: 25 × 25 and 30 × 30 at scale 2.
    const auto hi = captureWindowTargets(
        {window(7, 0, 1.0, QRectF(200, 100, 50, 50)), window(8, 0, 1.0, QRectF(200, 100, 60, 60))},
        DesktopLayout{QPoint(0, 0), 2.0}, 1);
    EXPECT_EQ(pids(hi), std::vector<qint32>{8});
    EXPECT_EQ(hi.at(0).bounds, QRectF(100, 50, 30, 30));
}
