#include "capture/regionscenes.h"
#include "platform/fake/fakeplatform.h"
#include "selfcheck/longlivecheck.h"
#include "selfcheck/regioncheck.h"

#include <gtest/gtest.h>

using namespace korvel;
using namespace korvel::selfcheck;

namespace {

std::optional<LongLiveParameters> parse(const char* arguments) {
    const auto parsed =
        parseLongLiveArguments(QString::fromLatin1(arguments).split(QLatin1Char(' ')));
    if (const auto* p = std::get_if<LongLiveParameters>(&parsed))
        return *p;
    return std::nullopt;
}

// Two displays side by side, the second 800 × 600 at root x 1000. On it, in
// front, a 600 × 400 window of process 7 at root (1100, 100) holding one card
// at (50, 40) inside it; behind, a window of process 9 covering the display.
struct Desktop {
    Platform platform;
    fake::ScreenSource* screens = nullptr;
    fake::WindowList* windows = nullptr;

    Desktop() {
        auto s = std::make_unique<fake::ScreenSource>();
        auto w = std::make_unique<fake::WindowList>();
        screens = s.get();
        windows = w.get();
        s->list = {{1, QStringLiteral("left"), QRect(0, 0, 1000, 800), true},
                   {2, QStringLiteral("right"), QRect(1000, 0, 800, 600), false}};
        // Display-local, y up: 100 from the left, 600 − 100 − 400 from below.
        s->images[2] =
            scenes::display(QSizeF(800, 600), 1, QRectF(100, 100, 600, 400), [](QPainter& p) {
                p.fillRect(QRectF(0, 0, 600, 400), QColor(240, 240, 240));
                scenes::card(p, QRectF(50, 40, 220, 170));
            });
        w->list = {window(1, 7, QRectF(1100, 100, 600, 400)),
                   window(2, 9, QRectF(1000, 0, 800, 600))};
        platform.screens = std::move(s);
        platform.windows = std::move(w);
        platform.capabilities.screenCapture = true;
        platform.capabilities.windowList = true;
    }

    static WindowInfo window(quint32 id, qint64 pid, QRectF bounds) {
        WindowInfo info;
        info.id = id;
        info.pid = pid;
        info.layer = 0;
        info.bounds = bounds;
        return info;
    }
};

} // namespace

TEST(LongLiveCheck, ArgumentsAreFourPixelCountsWithinBounds) {
    const auto p = parse("420 300 2400 100");
    ASSERT_TRUE(p);
    EXPECT_EQ(p->width, 420);
    EXPECT_EQ(p->viewport, 300);
    EXPECT_EQ(p->length, 2400);
    EXPECT_EQ(p->step, 100);
    // A third of the viewport at most, so frames overlap enough to match.
    EXPECT_FALSE(parse("420 300 2400 101"));
    EXPECT_FALSE(parse("420 300 2400 0"));
    // Longer than the viewport, and no longer than the stitcher's limit.
    EXPECT_FALSE(parse("420 300 300 10"));
    EXPECT_TRUE(parse("420 300 301 10"));
    EXPECT_TRUE(parse("420 300 30000 10"));
    EXPECT_FALSE(parse("420 300 30001 10"));
    EXPECT_FALSE(parse("79 300 2400 10"));
    EXPECT_FALSE(parse("420 159 2400 10"));
    EXPECT_FALSE(parse("420 300 2400 1e2"));
    EXPECT_FALSE(parse("420 300 2400"));
    const auto refused = parseLongLiveArguments(
        {QStringLiteral("420"), QStringLiteral("x"), QStringLiteral("2400"), QStringLiteral("10")});
    ASSERT_TRUE(std::holds_alternative<QString>(refused));
    EXPECT_TRUE(std::get<QString>(refused).contains(QStringLiteral("\"x\"")));
}

TEST(RegionCheck, FindsTheCardOfTheFrontWindowOnTheSecondDisplay) {
    Desktop desktop;
    // Global top-left points: the card spans 1150…1370 × 140…310.
    RegionProbe probe(desktop.platform, 7, QPointF(1200, 200));
    const QStringList lines = probe.query();
    ASSERT_GE(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines.front(), QStringLiteral("PASS: region-check: 1150,140 220x170"));
    EXPECT_EQ(lines.back(), QStringLiteral("PASS: region-check: 1100,100 600x400"));
    // Later queries ask the same snapshot again.
    EXPECT_EQ(probe.query(), lines);
    EXPECT_EQ(desktop.screens->grabs, 2);
}

TEST(RegionCheck, OnlyTheFrontWindowOfTheProcessCounts) {
    Desktop desktop;
    // Process 9's window lies behind process 7's at this point.
    EXPECT_EQ(RegionProbe(desktop.platform, 9, QPointF(1200, 200)).query(),
              QStringList{QStringLiteral(
                  "FAIL: region-check: no window of process 9 in front at 1200,200")});
    // Outside the card the window alone is no child region.
    EXPECT_EQ(RegionProbe(desktop.platform, 7, QPointF(1600, 450)).query(),
              QStringList{QStringLiteral("FAIL: region-check: no child region at 1600,450")});
    // No display there.
    EXPECT_EQ(RegionProbe(desktop.platform, 7, QPointF(1500, 700)).query().size(), 1);
}

TEST(RegionCheck, CapturesAgainUntilTheWindowAppears) {
    Desktop desktop;
    const auto windows = desktop.windows->list;
    desktop.windows->list.clear();
    RegionProbe probe(desktop.platform, 7, QPointF(1200, 200));
    EXPECT_TRUE(probe.query().front().startsWith(QStringLiteral("FAIL: ")));
    desktop.windows->list = windows;
    EXPECT_EQ(probe.query().front(), QStringLiteral("PASS: region-check: 1150,140 220x170"));
    // Without screen capture or window list: cli.CheckModes.
}
