#include "capture/accessiblechildregions.h"
#include "capture/childregionresolver.h"
#include "platform/fake/fakeplatform.h"

#include "../qtprinters.h"

#include <gtest/gtest.h>

#include <thread>

using namespace korvel;
using namespace std::chrono_literals;

namespace {

// One 1920 × 1080 display at scale 1; root pixels equal global top-left
// points, and display-local y is 1080 − y − height.
QRectF local(double x, double y, double w, double h) {
    return QRectF(x, 1080 - y - h, w, h);
}

struct Reader : ::testing::Test {
    fake::Accessibility tree;
    AccessibilityPlacement placement{QRectF(0, 0, 1920, 1080), 1080, {}};
    // Unique per test: preparation is remembered per process id for the run.
    qint32 pid = 1000 + ::testing::UnitTest::GetInstance()->random_seed() % 1000 +
                 qint32(::testing::UnitTest::GetInstance()->current_test_info()->line());

    void SetUp() override {
        tree.trusted = true;
        tree.applications[pid] = QStringLiteral("app");
        tree.add(QStringLiteral("app"), {}, std::nullopt);
        tree.add(QStringLiteral("win"), QStringLiteral("app"), QRectF(100, 100, 800, 600));
        tree.add(QStringLiteral("sidebar"), QStringLiteral("win"), QRectF(100, 100, 200, 600));
        tree.add(QStringLiteral("button"), QStringLiteral("sidebar"), QRectF(120, 160, 80, 30));
        tree.add(QStringLiteral("content"), QStringLiteral("win"), QRectF(300, 100, 600, 600));
        tree.add(QStringLiteral("pane"), QStringLiteral("content"), std::nullopt);
        tree.add(QStringLiteral("card"), QStringLiteral("pane"), QRectF(400, 200, 300, 200));
        tree.add(QStringLiteral("label"), QStringLiteral("card"), QRectF(420, 220, 50, 20));
    }
    std::vector<QRectF> read(QPointF point,
                             std::optional<QRectF> window = local(100, 100, 800, 600)) {
        return accessibleChildRegions(tree, pid, point, placement, window);
    }
};

} // namespace

TEST_F(Reader, AButtonInASidebarGivesTheSidebarFirstAndTheWindowLast) {
    const QPointF onButton(150, 1080 - 170);
    const std::vector<QRectF> found = read(onButton);
    const std::vector<QRectF> ancestors{local(120, 160, 80, 30), local(100, 100, 200, 600),
                                        local(100, 100, 800, 600)};
    EXPECT_EQ(found, ancestors); // the fast path: no search
    EXPECT_EQ(childRegionCandidates(found, onButton, local(100, 100, 800, 600)),
              (std::vector<QRectF>{local(100, 100, 200, 600), local(100, 100, 800, 600)}));
    EXPECT_EQ(tree.timeout, 600);
    EXPECT_EQ(tree.prepared, 1);
    read(onButton);
    EXPECT_EQ(tree.prepared, 1);
}

TEST_F(Reader, SearchesAroundThePointWhenAncestorsGiveNothingUsable) {
    // The hit (a small label) sits in a card inside an element without
    // extents: the ancestors are label, card, content, window, and the card
    // is usable, so no search. Cut the parent links and the search finds it.
    tree.nodes[QStringLiteral("label")].parent.clear();
    const QPointF onLabel(430, 1080 - 230);
    const std::vector<QRectF> found = read(onLabel);
    const std::vector<QRectF> expected{local(420, 220, 50, 20), // ancestors: the hit
                                       local(420, 220, 50, 20), local(100, 100, 800, 600),
                                       local(300, 100, 600, 600),
                                       local(400, 200, 300, 200)}; // search: hit, window, ...
    EXPECT_EQ(found, expected);

    // Without a window rectangle the search runs from the application.
    EXPECT_EQ(read(onLabel, std::nullopt).back(), local(400, 200, 300, 200));
    // Not trusted, an unknown process: nothing, and nothing asked.
    tree.trusted = false;
    EXPECT_TRUE(read(onLabel).empty());
    tree.trusted = true;
    EXPECT_TRUE(accessibleChildRegions(tree, pid + 1, onLabel, placement, std::nullopt).empty());
}

TEST_F(Reader, CyclesHugeExtentsAndSlowApplicationsStayBounded) {
    // Parent and child links that loop, and extents far beyond the display.
    tree.add(QStringLiteral("loop"), QStringLiteral("card"), QRectF(-1e9, -1e9, 4e9, 4e9));
    tree.nodes[QStringLiteral("loop")].children.push_back(QStringLiteral("card"));
    tree.nodes[QStringLiteral("card")].parent = QStringLiteral("loop");
    tree.nodes[QStringLiteral("loop")].parent = QStringLiteral("card");
    tree.add(QStringLiteral("negative"), QStringLiteral("loop"), QRectF(500, 300, -20, -20));
    const QPointF onCard(600, 1080 - 300);
    const std::vector<QRectF> found = read(onCard);
    ASSERT_FALSE(found.empty());
    for (const QRectF& r : found)
        EXPECT_TRUE(QRectF(0, 0, 1920, 1080).contains(r));
    EXPECT_LE(found.size(), 12u + 96u);

    // Every call takes 50 ms: the 0.6-second budget ends the query.
    tree.beforeCall = [] { std::this_thread::sleep_for(50ms); };
    const auto start = std::chrono::steady_clock::now();
    read(QPointF(150, 1080 - 170), std::nullopt);
    EXPECT_LT(std::chrono::steady_clock::now() - start, 900ms);
}
