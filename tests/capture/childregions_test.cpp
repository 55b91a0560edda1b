#include "capture/accessiblechildregions.h"
#include "capture/childregionpermissionguide.h"
#include "capture/childregionresolver.h"
#include "capture/regionscenes.h"
#include "capture/visualchildregions.h"
#include "platform/fake/fakeplatform.h"

#include "../qtprinters.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <QMessageBox>

#include <atomic>
#include <thread>

using namespace korvel;
using namespace std::chrono_literals;
using ::testing::UnorderedElementsAreArray;

namespace {

// A 1200 × 800 display holding the scene's application window.
const QSizeF screen(1200, 800);
const QRectF appWindow(100, 50, 1000, 700);
// The card grid as an element: it holds the cards the pixels show, cutting none.
const QRectF element = scenes::local(appWindow, QRectF(240, 80, 740, 600));

// Window 0 belongs to process 7, window 1 to 8, window 2 names no process.
// The pixels alone give 11 regions at the window's cards.
struct Resolver : ::testing::Test {
    ChildAccessibilityWorker worker;
    double now = 100;
    std::atomic<int> queries = 0;
    std::vector<QRectF> answer{element};

    std::shared_ptr<ChildRegionResolver> make(AccessibilityQuery query) {
        const QImage image = scenes::display(screen, 1, appWindow, scenes::appWindow);
        return std::make_shared<ChildRegionResolver>(
            image,
            std::vector<ChildRegionTarget>{
                {appWindow, 7}, {QRectF(50, 20, 300, 200), 8}, {QRectF(800, 20, 300, 200), 0}},
            QRectF(QPointF(0, 0), screen), worker, std::move(query), [this] { return now; });
    }
    AccessibilityQuery counting() {
        return [this](qint32 pid, QPointF, const QRectF& window) {
            ++queries;
            EXPECT_EQ(pid, 7);
            EXPECT_EQ(window, appWindow);
            return answer;
        };
    }
    // The regions at `p` once any query it started has answered.
    std::vector<QRectF> settled(ChildRegionResolver& r, QPointF p) {
        r.regions(0, p);
        EXPECT_TRUE(worker.waitForIdle(5s));
        return r.regions(0, p);
    }
    void TearDown() override { EXPECT_TRUE(worker.waitForIdle(5s)); }
};

template <typename Draw>
std::vector<QRectF> regionsOf(Draw&& draw, double scale = 1, QRectF w = appWindow) {
    return visualChildRegions(scenes::display(screen, scale, w, draw), screen, w);
}

// One 1920 × 1080 display at scale 1: display-local y is 1080 − y − height.
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

// At scale 1 the self-test's region check makes the same comparison.
TEST(VisualChildRegions, FindsExactlyTheToolbarSidebarAndCardsAtScaleTwo) {
    std::vector<QRectF> panels;
    const auto found = regionsOf([&](QPainter& p) { panels = scenes::appWindow(p); }, 2);
    // Toolbar and sidebar grown by 1 point and clipped to the window; cards are
    // found from their white inside, which their outline brings to drawn size.
    std::vector<QRectF> expected;
    for (size_t i = 0; i < panels.size(); ++i) {
        const QRectF r = i < 2 ? panels[i].adjusted(-1, -1, 1, 1) : panels[i];
        expected.push_back(scenes::local(appWindow, r).intersected(appWindow));
    }
    EXPECT_THAT(found, UnorderedElementsAreArray(expected));
    // Smallest first: the nine cards, then sidebar and toolbar.
    for (size_t i = 1; i < found.size(); ++i)
        EXPECT_LE(found[i - 1].width() * found[i - 1].height(),
                  found[i].width() * found[i].height());
}

TEST(VisualChildRegions, GradientsSmallItemsAndWeakEdgesAreNotPanels) {
    // A gradient splits into bands with soft edges: none counts, a card on it does.
    const QRectF cardRect(300, 200, 240, 160);
    const auto onGradient = regionsOf([&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 700);
        g.setColorAt(0, QColor(190, 190, 200));
        g.setColorAt(1, QColor(255, 255, 255));
        p.fillRect(QRectF(0, 0, 1000, 700), g);
        scenes::card(p, cardRect);
    });
    EXPECT_EQ(onGradient, std::vector<QRectF>{scenes::local(appWindow, cardRect)});
    // An icon, a text line and a button, all in strong contrast.
    EXPECT_TRUE(regionsOf([](QPainter& p) {
                    p.fillRect(QRectF(0, 0, 1000, 700), QColor(240, 240, 240));
                    p.fillRect(QRectF(100, 100, 40, 40), QColor(20, 20, 20));
                    p.fillRect(QRectF(100, 200, 400, 14), QColor(20, 20, 20));
                    p.fillRect(QRectF(100, 300, 90, 30), QColor(20, 20, 200));
                    p.fillRect(QRectF(100, 400, 57, 200), QColor(20, 200, 20));
                }).empty());
    // Without an outline, a card needs more than 13 of contrast in a channel.
    auto plainCard = [&](int value) {
        return regionsOf([&](QPainter& p) {
            p.fillRect(QRectF(0, 0, 1000, 700), QColor(240, 240, 240));
            p.fillRect(QRectF(300, 200, 200, 120), QColor(240, 240 + value, 240));
        });
    };
    EXPECT_EQ(plainCard(14),
              std::vector<QRectF>{scenes::local(appWindow, QRectF(299, 199, 202, 122))});
    EXPECT_TRUE(plainCard(13).empty());
    // An L shape and a sparse frame fail the fill and frame tests.
    EXPECT_TRUE(regionsOf([](QPainter& p) {
                    p.fillRect(QRectF(0, 0, 1000, 700), QColor(240, 240, 240));
                    p.fillRect(QRectF(100, 100, 300, 80), Qt::white);
                    p.fillRect(QRectF(100, 100, 80, 300), Qt::white);
                    // Open at the top, so its inside is the background.
                    p.fillRect(QRectF(500, 100, 20, 300), Qt::white);
                    p.fillRect(QRectF(780, 100, 20, 300), Qt::white);
                    p.fillRect(QRectF(500, 380, 300, 20), Qt::white);
                }).empty());
}

TEST(VisualChildRegions, StaysInsideOddWindowsAndKeepsTheSmallest256) {
    // A window partly off the display: the caller passes it clipped, and
    // every region lies inside it; the whole background equals the window.
    const QRectF clipped(700, 50, 500, 700);
    for (const QRectF& r : regionsOf(scenes::appWindow, 1, clipped))
        EXPECT_TRUE(clipped.contains(r)) << r.x() << "," << r.y();
    EXPECT_TRUE(
        regionsOf([](QPainter& p) { p.fillRect(QRectF(0, 0, 1000, 700), Qt::white); }).empty());
    const QImage blank(1200, 800, QImage::Format_RGB32);
    EXPECT_TRUE(visualChildRegions(QImage(), screen, appWindow).empty());
    EXPECT_TRUE(visualChildRegions(blank, screen, QRectF()).empty());
    EXPECT_TRUE(visualChildRegions(blank, QSizeF(), appWindow).empty());
    // Formats other than 32-bit are converted, only within the window.
    const QImage rgb888 = scenes::display(screen, 1, appWindow, scenes::appWindow)
                              .convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(visualChildRegions(rgb888, screen, appWindow).size(), 11u);
    // 320 cards, the first four rows larger: a window wider than 1536 points
    // is analysed at a lower resolution and still yields the 256 smallest.
    const QSizeF big(2100, 2000);
    const QRectF huge(0, 0, 2000, 1920);
    const QImage many = scenes::display(big, 1, huge, [](QPainter& p) {
        p.fillRect(QRectF(0, 0, 2000, 1920), QColor(240, 240, 240));
        for (int row = 0; row < 16; ++row) {
            for (int col = 0; col < 20; ++col) {
                const double grow = row < 4 ? 6 : 0;
                p.fillRect(QRectF(col * 100 + 2, row * 120 + 2, 90 + grow, 110 + grow),
                           QColor(200, 200, 240));
            }
        }
    });
    const std::vector<QRectF> found = visualChildRegions(many, big, huge);
    ASSERT_EQ(found.size(), 256u);
    for (size_t i = 0; i < 240; ++i)
        EXPECT_LT(found[i].width(), 95) << i;
    EXPECT_GT(found.back().width(), 95);
}

TEST_F(Resolver, AnswersFromPixelsAtOnceAndReusesAccessibilityForOneSecond) {
    auto resolver = make(counting());
    EXPECT_TRUE(resolver->regions(-1, {}).empty());
    EXPECT_TRUE(resolver->regions(3, {}).empty());

    const QPointF p(500, 400);
    const std::vector<QRectF> visual = resolver->regions(0, p);
    EXPECT_EQ(visual.size(), 11u);
    ASSERT_TRUE(worker.waitForIdle(5s));
    EXPECT_EQ(queries, 1);
    // Within 12 points and 1.0 s: the answer first, no second query.
    now += 0.9;
    const std::vector<QRectF> withAnswer = settled(*resolver, p + QPointF(8, 8));
    ASSERT_EQ(withAnswer.size(), 12u);
    EXPECT_EQ(withAnswer.front(), element);
    EXPECT_EQ(queries, 1);
    // Older than a second: still returned, but refreshed.
    now += 0.2;
    EXPECT_EQ(resolver->regions(0, p).front(), element);
    ASSERT_TRUE(worker.waitForIdle(5s));
    EXPECT_EQ(queries, 2);
    // Farther than 12 points is another question.
    answer = {};
    now += 0.1;
    EXPECT_EQ(settled(*resolver, p + QPointF(12, 0)).size(), 11u);
    EXPECT_EQ(queries, 3);
    // Nearer, but past the named element's edge: another element, another answer.
    answer = {element};
    EXPECT_EQ(settled(*resolver, QPointF(element.right() - 4, 400)).front(), element);
    EXPECT_NE(resolver->regions(0, QPointF(element.right() + 4, 400)).front(), element);
    ASSERT_TRUE(worker.waitForIdle(5s));
    EXPECT_EQ(queries, 5);
    // Bounds that cut through what the pixels show (a browser's stale page
    // box at the window's corner, half over the toolbar) are not offered.
    const QRectF stale = scenes::local(appWindow, QRectF(0, 0, 820, 618));
    answer = {stale, element};
    now += 2;
    const std::vector<QRectF> checked = settled(*resolver, p);
    EXPECT_EQ(std::count(checked.begin(), checked.end(), stale), 0);
    EXPECT_EQ(checked.front(), element);
    // A window naming no process, or a resolver without a query: pixels only.
    resolver->regions(2, QPointF(900, 100));
    ASSERT_TRUE(worker.waitForIdle(5s));
    EXPECT_EQ(queries, 6);
    EXPECT_EQ(make({})->regions(0, p), visual);
    EXPECT_FALSE(worker.busy());
}

TEST_F(Resolver, KeepsTheNewest48Answers) {
    auto resolver = make(counting());
    auto at = [](int i) { return QPointF(150 + i * 15, 400); };
    for (int i = 0; i < 48; ++i)
        settled(*resolver, at(i));
    EXPECT_EQ(settled(*resolver, at(48)).size(), 12u);
    EXPECT_EQ(queries, 49);
    // The oldest was dropped: asking again queries again.
    EXPECT_EQ(resolver->regions(0, at(0)).size(), 11u);
}

TEST(ChildRegionCandidates, KeepsUsableRegionsAroundThePointSmallestFirstThenTheWindow) {
    const QRectF window(0, 0, 800, 600);
    const QPointF p(150, 150);
    const std::vector<QRectF> regions{
        QRectF(100, 100, 300, 300), // kept
        QRectF(100, 100, 100, 80),  // kept: 100 × 80 = 8000
        QRectF(100, 100, 59, 200),  // too thin
        QRectF(100, 100, 99, 99),   // too short
        QRectF(100, 100, 90, 88),   // too small an area
        QRectF(400, 400, 200, 200), // not at the point
        QRectF(100, 100, 300, 300), // repeated
        QRectF(-50, -50, 900, 700), // the window once clipped
        QRectF(140, 140, 300, 300), // same area as the first: keeps its place
        QRectF(50, 50, 100, 100),   // the point lies on its open maximum edge
    };
    EXPECT_EQ(childRegionCandidates(regions, p, window),
              (std::vector<QRectF>{QRectF(100, 100, 100, 80), QRectF(100, 100, 300, 300),
                                   QRectF(140, 140, 300, 300), window}));
    // A window below the size limits is still its own candidate.
    EXPECT_EQ(childRegionCandidates({}, p, QRectF(0, 0, 40, 40)),
              std::vector<QRectF>{QRectF(0, 0, 40, 40)});
}

// Its text and buttons: Delegate.TheAccessibilityGuideComesOnceAndCanSwitchItOnInstead.
TEST(ChildRegionPermissionGuide, SaysWhenDesktopAccessibilityCannotBeSwitchedOn) {
    fake::Accessibility tree;
    tree.enableSucceeds = false;
    auto refused = ChildRegionPermissionGuide::openSettings(tree);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->text(), QStringLiteral("无法开启桌面辅助功能"));
}

TEST_F(Reader, SearchesAroundThePointWhenAncestorsGiveNothingUsable) {
    // The label's ancestors give its card (inside an element without extents)
    // and no search; with the label's parent link cut, the search finds it.
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
    EXPECT_EQ(tree.timeout, 600);
    EXPECT_EQ(tree.prepared, 1); // once per application
    // A later program given the same process id is prepared in its turn.
    tree.applications[pid] = QStringLiteral("next");
    read(onLabel);
    EXPECT_EQ(tree.prepared, 2);
    tree.applications[pid] = QStringLiteral("app");
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
