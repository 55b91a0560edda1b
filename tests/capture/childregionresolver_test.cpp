#include "capture/childregionpermissionguide.h"
#include "capture/childregionresolver.h"
#include "platform/fake/fakeplatform.h"

#include "capture/regionscenes.h"

#include <QPushButton>

#include "../qtprinters.h"

#include <gtest/gtest.h>

#include <atomic>
#include <future>

using namespace korvel;
using namespace std::chrono_literals;

namespace {

const QSizeF screen(1200, 800);
const QRectF appWindow(100, 50, 1000, 700);
// The card grid of the window, as an element: it holds the cards the pixels
// show and cuts through nothing.
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

} // namespace

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

    // Nearer, but past the edge of the element the answer named: the pointer
    // is on another element, which needs its own answer.
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

    // A window that names no process has pixels only, as has a resolver
    // without a query function.
    resolver->regions(2, QPointF(900, 100));
    ASSERT_TRUE(worker.waitForIdle(5s));
    EXPECT_EQ(queries, 6);
    EXPECT_EQ(make({})->regions(0, p), visual);
    EXPECT_FALSE(worker.busy());
}

TEST_F(Resolver, KeepsTheNewest48Answers) {
    auto resolver = make(counting());
    auto at = [](int i) { return QPointF(150 + i * 15, 400); };
    for (int i = 0; i < 49; ++i) {
        resolver->regions(0, at(i));
        ASSERT_TRUE(worker.waitForIdle(5s));
    }
    EXPECT_EQ(settled(*resolver, at(48)).size(), 12u);
    EXPECT_EQ(queries, 49);
    // The oldest was dropped: asking again queries again.
    EXPECT_EQ(resolver->regions(0, at(0)).size(), 11u);
}

TEST_F(Resolver, AHangingApplicationNeverBlocksTheVisualAnswers) {
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    auto resolver = make([&, released](qint32, QPointF, const QRectF&) {
        ++queries;
        released.wait();
        return answer;
    });
    EXPECT_EQ(resolver->regions(0, {500, 400}).size(), 11u);
    EXPECT_TRUE(worker.busy());
    // Other windows and points keep their visual answers; the worker refuses.
    EXPECT_EQ(resolver->regions(1, {100, 100}), make({})->regions(1, {100, 100}));
    EXPECT_EQ(resolver->regions(0, {800, 200}).size(), 11u);
    EXPECT_FALSE(worker.submit([] {}));
    EXPECT_FALSE(worker.waitForIdle(50ms));
    release.set_value();
    ASSERT_TRUE(worker.waitForIdle(5s));
    EXPECT_EQ(queries, 1);
    EXPECT_EQ(resolver->regions(0, {500, 400}).front(), element);

    // A resolver gone before its answer arrives is left alone.
    std::promise<void> late;
    std::shared_future<void> lateDone = late.get_future().share();
    auto doomed = make([lateDone](qint32, QPointF, const QRectF&) {
        lateDone.wait();
        return std::vector<QRectF>{element};
    });
    doomed->regions(0, {500, 400});
    doomed.reset();
    late.set_value();
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

// Its place in a capture: Delegate.TheAccessibilityGuideComesOnceAndCanSwitchItOnInstead.
TEST(ChildRegionPermissionGuide, ExplainsAndSaysWhenDesktopAccessibilityCannotBeSwitchedOn) {
    auto box = ChildRegionPermissionGuide::alert(QStringLiteral("Ctrl+1"));
    EXPECT_TRUE(box->informativeText().contains(QStringLiteral("再按 Ctrl+1。\n\n选择“先截图”")));
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->buttons()[0]->text(), QStringLiteral("去开启"));
    EXPECT_EQ(box->buttons()[1]->text(), QStringLiteral("先截图"));
    fake::Accessibility tree;
    tree.enableSucceeds = false;
    auto refused = ChildRegionPermissionGuide::openSettings(tree);
    ASSERT_NE(refused, nullptr);
    EXPECT_EQ(refused->text(), QStringLiteral("无法开启桌面辅助功能"));
}
