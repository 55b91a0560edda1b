#include "capture/visualchildregions.h"

#include "capture/regionscenes.h"

#include "../qtprinters.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace korvel;

namespace {

const QSizeF screen(1200, 800);
const QRectF window(100, 50, 1000, 700);

std::vector<QRectF> sorted(std::vector<QRectF> v) {
    std::sort(v.begin(), v.end(), [](const QRectF& a, const QRectF& b) {
        return std::tuple(a.x(), a.y(), a.width()) < std::tuple(b.x(), b.y(), b.width());
    });
    return v;
}

// Expected: each panel grown by 1 point and clipped to the window; cards
// are found from their white inside, so the outline brings them back to
// their drawn size.
std::vector<QRectF> expectedPanels(const std::vector<QRectF>& panels) {
    std::vector<QRectF> expected;
    for (size_t i = 0; i < panels.size(); ++i) {
        const QRectF r = i < 2 ? panels[i].adjusted(-1, -1, 1, 1) : panels[i];
        expected.push_back(scenes::local(window, r).intersected(window));
    }
    return expected;
}

template <typename Draw>
std::vector<QRectF> regionsOf(Draw&& draw, double scale = 1, QRectF w = window) {
    return visualChildRegions(scenes::display(screen, scale, w, draw), screen, w);
}

} // namespace

TEST(VisualChildRegions, FindsExactlyTheToolbarSidebarAndCardsAtEveryScale) {
    std::vector<QRectF> panels;
    const QImage one =
        scenes::display(screen, 1, window, [&](QPainter& p) { panels = scenes::appWindow(p); });
    const std::vector<QRectF> expected = sorted(expectedPanels(panels));
    const std::vector<QRectF> atOne = visualChildRegions(one, screen, window);
    EXPECT_EQ(sorted(atOne), expected);
    // Smallest first: the nine cards, then sidebar and toolbar.
    for (size_t i = 1; i < atOne.size(); ++i)
        EXPECT_LE(atOne[i - 1].width() * atOne[i - 1].height(),
                  atOne[i].width() * atOne[i].height());
    const QImage two = scenes::display(screen, 2, window, scenes::appWindow);
    EXPECT_EQ(sorted(visualChildRegions(two, screen, window)), expected);
}

TEST(VisualChildRegions, GradientsSmallItemsAndWeakEdgesAreNotPanels) {
    // A gradient background splits into bands with soft edges: none counts,
    // while a card drawn on it still does.
    const QRectF cardRect(300, 200, 240, 160);
    const auto onGradient = regionsOf([&](QPainter& p) {
        QLinearGradient g(0, 0, 0, 700);
        g.setColorAt(0, QColor(190, 190, 200));
        g.setColorAt(1, QColor(255, 255, 255));
        p.fillRect(QRectF(0, 0, 1000, 700), g);
        scenes::card(p, cardRect);
    });
    EXPECT_EQ(onGradient, std::vector<QRectF>{scenes::local(window, cardRect)});

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
              std::vector<QRectF>{scenes::local(window, QRectF(299, 199, 202, 122))});
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
    EXPECT_TRUE(visualChildRegions(QImage(), screen, window).empty());
    EXPECT_TRUE(
        visualChildRegions(QImage(1200, 800, QImage::Format_RGB32), screen, QRectF()).empty());
    EXPECT_TRUE(
        visualChildRegions(QImage(1200, 800, QImage::Format_RGB32), QSizeF(), window).empty());
    // Formats other than 32-bit are converted, only within the window.
    QImage gray = scenes::display(screen, 1, window, scenes::appWindow)
                      .convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(visualChildRegions(gray, screen, window).size(), 11u);

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
