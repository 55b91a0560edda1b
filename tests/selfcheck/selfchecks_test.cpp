#include "capture/regionscenes.h"
#include "platform/fake/fakeplatform.h"
#include "selfcheck/longlivecheck.h"
#include "selfcheck/regioncheck.h"

#include <gtest/gtest.h>

using namespace korvel;
using namespace korvel::selfcheck;

// Out-of-bounds arguments on the real binary: cli.CommandLine.
TEST(LongLiveCheck, ArgumentsAreFourPixelCountsWithinBounds) {
    const auto parse = [](const char* arguments) {
        return parseLongLiveArguments(QString::fromLatin1(arguments).split(QLatin1Char(' ')));
    };
    const auto p = std::get<LongLiveParameters>(parse("420 300 2400 100"));
    EXPECT_EQ(std::tuple(p.width, p.viewport, p.length, p.step), std::tuple(420, 300, 2400, 100));
    // Steps of a third of the viewport at most, for overlap; lengths within limits.
    for (const char* good : {"420 300 301 10", "420 300 30000 10"})
        EXPECT_TRUE(std::holds_alternative<LongLiveParameters>(parse(good))) << good;
    for (const char* bad :
         {"420 300 2400 101", "420 300 2400 0", "420 300 300 10", "420 300 30001 10",
          "79 300 2400 10", "420 159 2400 10", "420 300 2400 1e2", "420 300 2400"})
        EXPECT_TRUE(std::holds_alternative<QString>(parse(bad))) << bad;
    EXPECT_TRUE(std::get<QString>(parse("420 x 2400 10")).contains(QStringLiteral("\"x\"")));
}

// Process 7's window at (1100, 100) holds a card at (50, 40); process 9's is
// behind. No capture or window list: cli.CommandLine; a real desktop: e2e.Checks.
TEST(RegionCheck, FindsTheCardOfTheFrontWindowOfTheProcess) {
    fake::Platform fake;
    Platform& platform = *fake.platform;
    platform.accessibility.reset(); // regions from the pixels only
    fake.screens->list = {{1, QStringLiteral("left"), QRect(0, 0, 1000, 800), true},
                          {2, QStringLiteral("right"), QRect(1000, 0, 800, 600), false}};
    // Display-local, y up: 100 from the left, 600 − 100 − 400 from below.
    fake.screens->images[2] =
        scenes::display(QSizeF(800, 600), 1, QRectF(100, 100, 600, 400), [](QPainter& p) {
            p.fillRect(QRectF(0, 0, 600, 400), QColor(240, 240, 240));
            scenes::card(p, QRectF(50, 40, 220, 170));
        });
    // Until the window appears the probe captures again at each query.
    RegionProbe probe(platform, 7, QPointF(1200, 200));
    EXPECT_TRUE(probe.query().front().startsWith(QStringLiteral("FAIL: ")));
    for (const auto& [pid, bounds] :
         {std::pair(7, QRectF(1100, 100, 600, 400)), std::pair(9, QRectF(1000, 0, 800, 600))})
        fake.windows->list.push_back({0, pid, 0, {}, bounds, {}, {}});
    const QStringList lines = probe.query();
    ASSERT_GE(lines.size(), 2) << lines.join(QLatin1Char('|')).toStdString();
    EXPECT_EQ(lines.front(), QStringLiteral("PASS: region-check: 1150,140 220x170"));
    EXPECT_EQ(lines.back(), QStringLiteral("PASS: region-check: 1100,100 600x400"));
    // Later queries ask the same snapshot again.
    const int grabbed = fake.screens->grabs;
    EXPECT_EQ(probe.query(), lines);
    EXPECT_EQ(fake.screens->grabs, grabbed);
    // Process 9's window lies behind process 7's at this point.
    EXPECT_EQ(RegionProbe(platform, 9, QPointF(1200, 200)).query(),
              QStringList{QStringLiteral(
                  "FAIL: region-check: no window of process 9 in front at 1200,200")});
    // Outside the card the window alone is no child region.
    EXPECT_EQ(RegionProbe(platform, 7, QPointF(1600, 450)).query(),
              QStringList{QStringLiteral("FAIL: region-check: no child region at 1600,450")});
    // No display there.
    EXPECT_EQ(RegionProbe(platform, 7, QPointF(1500, 700)).query().size(), 1);
}
