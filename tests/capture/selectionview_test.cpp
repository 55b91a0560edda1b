#include "../qtprinters.h"
#include "../testwait.h"
#include "capture/overlaywindow.h"
#include "capture/pixelmagnifier.h"
#include "capture/selectionadjustment.h"
#include "capture/selectionview.h"
#include "testevents.h"

#include <gtest/gtest.h>
#include <QClipboard>
#include <QThread>
#include <QThreadPool>
#include <QUndoStack>

#include <atomic>
#include <mutex>

using namespace korvel;

namespace {

void settle(int ms) {
    waitFor([] { return false; }, ms);
}

ScreenSnapshot snapshot(QSizeF points, QSize pixels) {
    ScreenSnapshot s;
    s.frame = QRectF(QPointF(0, 0), points);
    s.image = QImage(pixels, QImage::Format_RGB32);
    s.image.fill(Qt::gray);
    return s;
}

// A 400 × 300-point display at scale 2 with a front window overlapping a back
// one; the front window holds one panel. Display-local points, y up.
struct View : ::testing::Test {
    const QRectF front{50, 50, 200, 150};
    const QRectF back{100, 100, 250, 150};
    const QRectF panel{60, 60, 120, 80};
    std::mutex lock;
    std::vector<int> queries; // the window index of each
    std::atomic<int> delayMs{0};
    std::vector<QRectF> selections;
    std::unique_ptr<SelectionView> view;

    void SetUp() override {
        ScreenSnapshot s = snapshot(QSizeF(400, 300), QSize(800, 600));
        s.windows = {front, back};
        s.childRegions = [this](int index, QPointF) {
            std::unique_lock guard(lock);
            queries.push_back(index);
            guard.unlock();
            QThread::msleep(delayMs);
            return index == 0 ? std::vector<QRectF>{panel} : std::vector<QRectF>{};
        };
        view = std::make_unique<SelectionView>(s);
        view->onSelect = [this](const QRectF& r) { selections.push_back(r); };
    }
    void TearDown() override {
        childRegionQueue().waitForDone();
        QCoreApplication::processEvents();
    }
    void send(QEvent::Type type, QPointF local) {
        const bool held = view->pressing() ? type != QEvent::MouseButtonRelease
                                           : type == QEvent::MouseButtonPress;
        test::mouse(view.get(), type, QPointF(local.x(), 300 - local.y()),
                    held ? Qt::LeftButton : Qt::NoButton);
    }
    void drag(std::initializer_list<QPointF> points) {
        send(QEvent::MouseButtonPress, *points.begin());
        for (auto p = points.begin() + 1; p != points.end(); ++p)
            send(QEvent::MouseMove, *p);
        send(QEvent::MouseButtonRelease, *std::prev(points.end()));
    }
    void click(QPointF p) { drag({p}); }
    void wheel(int delta) { test::wheel(view.get(), QPointF(100, 150), QPoint(0, delta)); }
    bool hovered(const QRectF& r) { return view->hoveredWindow() == r; }
    std::optional<QRectF> hover(QPointF p) {
        view->hoverUpdate(p);
        return view->hoveredWindow();
    }
};

TEST_F(View, TheFrontWindowOrTheDesktopIsHighlightedAndTakenByAClick) {
    EXPECT_EQ(hover(QPointF(150, 150)), front);         // inside both windows
    EXPECT_EQ(hover(QPointF(390, 20)), view->bounds()); // on neither
    drag({{390, 20}, {391.5, 21.5}});                   // 2.1 points: still a click
    EXPECT_EQ(selections, std::vector<QRectF>{view->bounds()});
    EXPECT_TRUE(view->selected);
    EXPECT_FALSE(view->magnifier()->isVisible());
    // A locked view ignores hovering and clicks until reset.
    view->hoverUpdate(QPointF(150, 150));
    click(QPointF(150, 150));
    EXPECT_EQ(selections.size(), 1u);
    view->resetSelection();
    EXPECT_FALSE(view->selected);
    EXPECT_FALSE(view->selection);
    EXPECT_FALSE(view->hoveredWindow());
    // A click on a window the hover never reached takes that window.
    view->hoverUpdate(QPointF(390, 20));
    click(QPointF(300, 200));
    EXPECT_EQ(selections.back(), back);
}

TEST_F(View, DragsClampToTheDisplayAndNarrowOnesSelectNothing) {
    // A drag clamps to the display and spans from the anchor.
    drag({{300, 40}, {500, -20}});
    EXPECT_EQ(selections.back(), QRectF(300, 0, 100, 40));
    view->resetSelection();
    // Wide but 2 points tall: nothing is selected and hovering resumes there.
    drag({{10, 10}, {40, 12}});
    EXPECT_EQ(selections.size(), 1u);
    EXPECT_FALSE(view->selected);
    EXPECT_FALSE(view->selection);
    EXPECT_EQ(view->hoveredWindow(), view->bounds());
}

TEST_F(View, APanelTakesOverAfterItsAnswerAndTheWheelStepsOutAndInUnlessWholeWindows) {
    EXPECT_EQ(hover(QPointF(100, 90)), front); // at once, before any answer
    ASSERT_TRUE(waitFor([&] { return hovered(panel); }));
    EXPECT_EQ(view->candidates(), (std::vector<QRectF>{panel, front}));
    for (const auto& [delta, expected] : {std::pair(120, front), std::pair(120, front),
                                          std::pair(-120, panel), std::pair(-120, panel)}) {
        wheel(delta);
        EXPECT_EQ(view->hoveredWindow(), expected);
    }
    view->toggleWindowSelection();
    EXPECT_EQ(view->hoveredWindow(), front);
    wheel(-120);
    EXPECT_EQ(view->hoveredWindow(), front);
    // Off again: the hover runs at the last point and the panel returns.
    view->toggleWindowSelection();
    ASSERT_TRUE(waitFor([&] { return hovered(panel); }));
    click(QPointF(100, 90));
    EXPECT_EQ(selections, std::vector<QRectF>{panel});
}

TEST_F(View, AChildHighlightSurvivesGrazingItsEdge) {
    view->hoverUpdate(QPointF(100, 90));
    ASSERT_TRUE(waitFor([&] { return hovered(panel); }));
    view->hoverUpdate(QPointF(182, 90)); // 2 points right of the panel's edge
    settle(300);
    EXPECT_EQ(view->hoveredWindow(), panel);
    view->hoverUpdate(QPointF(186, 90)); // 6 points: the window after the debounce
    ASSERT_TRUE(waitFor([&] { return hovered(front); }));
}

TEST_F(View, ALateAnswerForAnotherWindowNeverChangesTheHighlight) {
    delayMs = 150;
    view->hoverUpdate(QPointF(100, 90)); // front window: its answer holds the panel
    EXPECT_TRUE(view->queryInFlight());
    view->hoverUpdate(QPointF(300, 200)); // the back window before the answer
    EXPECT_FALSE(waitFor([&] { return view->hoveredWindow() != back; }, 700));
    // The stale answer was replaced by a query for the current window.
    std::lock_guard guard(lock);
    ASSERT_GE(queries.size(), 2u);
    EXPECT_EQ(queries[1], 1);
}

TEST_F(View, AStillPointerAsksThreeMoreTimesThenStops) {
    view->hoverUpdate(QPointF(300, 200));
    ASSERT_TRUE(waitFor([&] { return view->queryRetries() == 3 && !view->queryInFlight(); }, 4000));
    settle(1700);
    EXPECT_EQ(view->hoveredWindow(), back); // no panel there
    std::lock_guard guard(lock);
    EXPECT_EQ(queries.size(), 4u);
}

// A 1920 × 1080 pixel display at one or two pixels per point, with a red
// pixel row right above a blue one and a window whose top row is row 100.
struct Hotspot : ::testing::TestWithParam<int> {
    const double scale = GetParam();
    const QRectF window{100 / scale, (1080 - 300) / scale, 400 / scale, 200 / scale};
    std::unique_ptr<SelectionView> view;

    void SetUp() override {
        ScreenSnapshot s = snapshot(QSizeF(1920 / scale, 1080 / scale), QSize(1920, 1080));
        for (int x = 0; x < 1920; ++x) {
            s.image.setPixel(x, 539, qRgb(255, 0, 0));
            s.image.setPixel(x, 540, qRgb(0, 0, 255));
        }
        s.windows = {window};
        view = std::make_unique<SelectionView>(s);
    }
    // The pointer on pixel (x, y), as Qt reports it: that pixel's corner.
    void pointAt(QEvent::Type type, int x, int y) {
        test::mouse(view.get(), type, QPointF(x / scale, y / scale),
                    type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton);
    }
};

TEST_P(Hotspot, TheLoupeAndEveryHitTestTakeThePixelUnderThePointer) {
    for (const auto& [x, y] : {std::pair(0, 0), std::pair(1919, 1079), std::pair(300, 540)}) {
        pointAt(QEvent::MouseMove, x, y);
        const auto& s = view->magnifier()->sample();
        EXPECT_EQ(s ? std::pair(s->x, s->y) : std::pair(-1, -1), std::pair(x, y));
    }
    EXPECT_EQ(view->magnifier()->sample()->hex(), QStringLiteral("#0000FF")); // not the red above
    // The window's top row belongs to the window, the row above to the desktop.
    pointAt(QEvent::MouseMove, 150, 99);
    EXPECT_EQ(view->hoveredWindow(), view->bounds());
    pointAt(QEvent::MouseMove, 150, 100);
    EXPECT_EQ(view->hoveredWindow(), window);
    pointAt(QEvent::MouseButtonPress, 150, 100);
    pointAt(QEvent::MouseButtonRelease, 150, 100);
    EXPECT_EQ(view->selection, window);
}

INSTANTIATE_TEST_SUITE_P(PixelsPerPoint, Hotspot, ::testing::Values(1, 2));

TEST(RectsOutside, PiecesCoverExactlyWhatTheCutsLeave) {
    const QRectF bounds(0, 0, 100, 100);
    EXPECT_EQ(rectsOutside(bounds, {QRectF(200, 200, 10, 10)}), std::vector<QRectF>{bounds});
    EXPECT_TRUE(rectsOutside(bounds, {QRectF(-10, -10, 200, 200)}).empty());
    const std::vector<QRectF> cuts{QRectF(10, 10, 20, 20), QRectF(20, 20, 50, 10),
                                   QRectF(90, -5, 20, 200)};
    double area = 0;
    for (const QRectF& p : rectsOutside(bounds, cuts)) {
        area += p.width() * p.height();
        EXPECT_TRUE(bounds.contains(p));
        for (const QRectF& c : cuts)
            EXPECT_FALSE(p.intersects(c)) << p.x() << "," << p.y();
    }
    // 10000 − 400 − 500 + 100 (the cuts' overlap) − 1000 (the right strip).
    EXPECT_DOUBLE_EQ(area, 8200);
}

// Overlays outlive their capture, one per display geometry: a window that comes
// back must show the new capture's pixels and none of the old marks.
TEST(OverlayWindows, KeptWindowsComeBackPerGeometryWithFreshContentsAndGoWhenReuseEnds) {
    const auto shot = [](QSize size, QRgb colour, QPointF origin = {}) {
        ScreenSnapshot s = snapshot(size, size);
        s.frame.moveTopLeft(origin);
        s.image.fill(colour);
        return s;
    };
    QPointer<OverlayWindow> single = OverlayWindow::obtain(shot({300, 200}, 0xff0000));
    OverlayWindow::giveBack(single);
    EXPECT_FALSE(single); // without reuse a window given back is gone
    OverlayWindow::setReuse(true);
    OverlayWindow* first = OverlayWindow::obtain(shot({300, 200}, 0xff0000));
    first->edits()->push(new QUndoCommand(QStringLiteral("mark")));
    QPointer<SelectionView> oldView = first->view();
    OverlayWindow::giveBack(first);
    EXPECT_FALSE(oldView);
    EXPECT_FALSE(first->isVisible());
    OverlayWindow* other = OverlayWindow::obtain(shot({200, 100}, 0x00ff00, {300, 0}));
    EXPECT_NE(other, first);
    OverlayWindow* again = OverlayWindow::obtain(shot({300, 200}, 0x0000ff));
    EXPECT_EQ(again, first);
    ASSERT_TRUE(again->view());
    EXPECT_EQ(again->view()->snapshot().image.pixel(0, 0), qRgb(0, 0, 255));
    EXPECT_EQ(again->edits()->count(), 0);
    EXPECT_EQ(again->geometry(), QRect(0, 0, 300, 200));
    // One window per geometry is kept; ending reuse deletes it.
    QPointer<OverlayWindow> kept = again;
    QPointer<OverlayWindow> spare = OverlayWindow::obtain(shot({300, 200}, 0));
    OverlayWindow::giveBack(again);
    OverlayWindow::giveBack(spare);
    EXPECT_TRUE(kept);
    EXPECT_FALSE(spare);
    OverlayWindow::giveBack(other);
    OverlayWindow::setReuse(false);
    EXPECT_FALSE(kept);
}

// A 400 × 300 point overlay over an 800 × 600 pixel snapshot; points y up.
const QRectF bounds(0, 0, 400, 300);

struct Magnifier : ::testing::Test {
    QImage image = [] {
        QImage i(800, 600, QImage::Format_ARGB32_Premultiplied);
        i.fill(QColor(59, 130, 246));
        return i;
    }();
    QWidget overlay;
    PixelMagnifier* magnifier = new PixelMagnifier(image, &overlay);

    void SetUp() override { overlay.resize(400, 300); }
};

TEST(PixelSample, TransparentPixelReadsBlackAndHalfAlphaUnpremultiplies) {
    QImage i(2, 1, QImage::Format_ARGB32);
    i.setPixel(0, 0, qRgba(255, 0, 0, 0));
    i.setPixel(1, 0, qRgba(200, 100, 50, 128));
    EXPECT_EQ(sampleAt(i, QPointF(0.1, 0.5), QRectF(0, 0, 2, 1))->hex(), QStringLiteral("#000000"));
    const QColor half = sampleAt(i, QPointF(1.5, 0.5), QRectF(0, 0, 2, 1))->color;
    EXPECT_NEAR(half.red(), 200, 2);
    EXPECT_NEAR(half.green(), 100, 2);
    EXPECT_EQ(half.alpha(), 255);
}

TEST_F(Magnifier, CopiedLastsUntilThePixelChanges) {
    EXPECT_FALSE(magnifier->copyColor()); // nothing sampled yet
    magnifier->updateAt(QPointF(100.1, 150.1), bounds);
    ASSERT_TRUE(magnifier->copyColor());
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("#3B82F6"));
    magnifier->updateAt(QPointF(100.3, 150.1), bounds); // same pixel 200
    EXPECT_TRUE(magnifier->copied());
    magnifier->updateAt(QPointF(101, 150.1), bounds); // pixel 202
    EXPECT_FALSE(magnifier->copied());
}

TEST_F(Magnifier, BesideThePointerFlippedAndKeptOffTheEdges) {
    const std::pair<QPointF, QPointF> origins[] = {
        {{100, 250}, {122, 54}}, {{380, 250}, {168, 54}}, // flipped left
        {{100, 50}, {122, 72}},                           // flipped above
        {{200, 150}, {8, 118}},                           // neither side fits: held 8 points inside
        {{399, 1}, {187, 23}},
    };
    for (const auto& [pointer, origin] : origins)
        EXPECT_EQ(magnifierOrigin(pointer, bounds), origin) << pointer.x();
    // Hidden until tracked, then placed in widget coordinates, clicks passing.
    EXPECT_TRUE(magnifier->isHidden());
    magnifier->updateAt(QPointF(100, 250), bounds);
    EXPECT_FALSE(magnifier->isHidden());
    EXPECT_EQ(magnifier->geometry(), QRect(122, 300 - (54 + 174), 190, 174));
    EXPECT_EQ(overlay.childAt(QPoint(200, 150)), nullptr);
}

} // namespace
