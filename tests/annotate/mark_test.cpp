#include "annotate/mark.h"
#include "testimages.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>

using namespace korvel;

using test::mark;

namespace {

// `size` points at `ratio` pixels per point, annotation space (y up) mapped onto it.
QImage render(const Mark& m, QSize size, double ratio = 1.0) {
    QImage image(size * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    painter.translate(0, size.height());
    painter.scale(1, -1);
    m.draw(painter);
    return image;
}

const double notANumber = std::numeric_limits<double>::quiet_NaN();

} // namespace

TEST(Tool, RawValuesAreFixed) {
    const Tool tools[] = {Tool::rectangle, Tool::arrow, Tool::pen,    Tool::text,     Tool::ellipse,
                          Tool::mosaic,    Tool::blur,  Tool::number, Tool::highlight};
    for (int raw = 0; raw < 9; ++raw)
        EXPECT_EQ(toolFromRaw(raw), tools[raw]);
    for (qint64 bad : {qint64(-1), qint64(9), std::numeric_limits<qint64>::max()})
        EXPECT_FALSE(toolFromRaw(bad));
    EXPECT_EQ(mosaicModeFromRaw(0), MosaicMode::brush);
    EXPECT_EQ(mosaicModeFromRaw(1), MosaicMode::rectangle);
    EXPECT_FALSE(mosaicModeFromRaw(2));
}

// Outlines are hit within max(width / 2 + 3, 6) points; highlights paint 12 points
// at width 1, mosaic brushes 18 at width 1 and 30 at 3.
TEST(Mark, BoundsAndHitsFollowThePaintedShape) {
    const QList<QPointF> flat{{0, 0}, {100, 0}};
    const Mark dot = mark(Tool::mosaic, {{50, 40}}, 1, true);
    const Mark pen = mark(Tool::pen, flat, 1);
    const Mark rect = mark(Tool::rectangle, {{100, 100}, {0, 0}}, 2);
    const Mark ellipse = mark(Tool::ellipse, {{0, 0}, {200, 100}}, 2);
    const Mark arrow = mark(Tool::arrow, {{0, 0}, {100, 100}}, 3);
    const QPointF normal(-std::sqrt(0.5), std::sqrt(0.5));
    const struct {
        Mark m;
        QPointF at;
        bool hit;
    } hits[] = {
        {dot, {50, 48.5}, true},
        {dot, {58, 48}, false}, // inside the box, outside the circle
        {mark(Tool::mosaic, flat, 3, true), {50, 14}, true},
        {mark(Tool::mosaic, flat, 3, true), {50, 16}, false},
        {mark(Tool::highlight, flat, 1), {50, 9}, true},
        {mark(Tool::highlight, flat, 1), {50, 9.01}, false},
        {pen, {50, -6}, true},
        {pen, {50, 6.01}, false},
        {pen, {106, 0}, true}, // beyond the end, within the tolerance
        {mark(Tool::pen, flat, 10), {50, 8}, true},
        {mark(Tool::pen, flat, 10), {50, 8.01}, false},
        {mark(Tool::pen, {{5, 5}}), {5, 5}, false}, // one point is no segment
        {rect, {50, 50}, false},                    // inside, away from the edges
        {rect, {6.01, 50}, false},
        {rect, {50, 0}, true}, // the closing edge counts
        {ellipse, {100, 50}, false},
        {ellipse, {100, 99}, true},
        {ellipse, {3, 3}, false}, // corner of the box, far from the curve
        {arrow, QPointF(50, 50) + normal * 6, true},
        {arrow, QPointF(50, 50) + normal * 9, false},
        {arrow, {97, 97}, true}, // inside the head
        {mark(Tool::arrow, {{5, 5}, {5, 5}}), {5, 5}, false},
        {mark(Tool::rectangle, {}), {0, 0}, false},
        {rect, {notANumber, 0}, false},
    };
    for (const auto& c : hits)
        EXPECT_EQ(c.m.hitTest(c.at), c.hit)
            << int(c.m.tool) << " at " << c.at.x() << ", " << c.at.y();

    const std::pair<Mark, QRectF> bounds[] = {
        {dot, {41, 31, 18, 18}},
        {mark(Tool::mosaic, {{50, 40}, {50, 40}, {50, 40}}, 3, true), {35, 25, 30, 30}},
        {mark(Tool::highlight, {{0, 0}, {100, 50}}, 1), {-6, -6, 112, 62}},
        {mark(Tool::pen, {{0, 0}, {100, 50}}, 8), {0, 0, 100, 50}}, // not grown
        {mark(Tool::blur, {{100, 80}, {20, 10}}), {20, 10, 80, 70}}};
    for (const auto& [m, expected] : bounds)
        EXPECT_EQ(m.bounds(), expected) << int(m.tool);
    const QRectF stroke = mark(Tool::mosaic, flat, 3, true).bounds();
    EXPECT_NEAR(stroke.left(), -15, 0.5);
    EXPECT_NEAR(stroke.right(), 115, 0.5);
    EXPECT_NEAR(stroke.height(), 30, 0.5);
    EXPECT_FALSE(dot.canResize());
    EXPECT_FALSE(arrow.canResize());
    for (Tool tool : {Tool::rectangle, Tool::ellipse, Tool::arrow, Tool::pen, Tool::highlight,
                      Tool::number, Tool::mosaic, Tool::blur}) {
        const Mark m =
            mark(tool, {{notANumber, 0}, {10, std::numeric_limits<double>::infinity()}}, 3, true);
        EXPECT_TRUE(m.path().isEmpty());
        EXPECT_FALSE(m.hitTest(QPointF(0, 0)));
        EXPECT_TRUE(m.brushMask().isEmpty());
        render(m, QSize(20, 20)); // must not crash
    }
}

TEST(Mark, TextMeasuresEveryLineAndIsDrawnUprightInsideItsBounds) {
    Mark t = mark(Tool::text, {{10, 20}});
    t.fontSize = 20;
    t.text = QStringLiteral("截图");
    const QRectF one = t.bounds();
    EXPECT_EQ(one.topLeft(), QPointF(10, 20));
    EXPECT_GT(one.width(), 30); // two wide glyphs at 20 points
    t.text = QStringLiteral("第一行\n第二行 second");
    EXPECT_NEAR(t.bounds().height(), 2 * one.height(), 2.0);
    EXPECT_TRUE(t.hitTest(QPointF(7, 18))); // 4 points around the block count
    EXPECT_FALSE(t.hitTest(QPointF(5, 18)));
    t.width = 8; // the width buttons set the weight
    EXPECT_EQ(t.textFont().weight(), QFont::Bold);
    t.width = 1.5;
    EXPECT_EQ(t.textFont().weight(), QFont::Light);
    t.points.clear(); // no point: placed at the origin
    EXPECT_EQ(t.bounds().topLeft(), QPointF(0, 0));

    // Ink appears only within the bounds (converted to y-down pixels).
    t = mark(Tool::text, {{10, 10}});
    t.text = QStringLiteral("截图");
    t.fontSize = 24;
    t.color = Qt::black;
    const QImage image = render(t, QSize(120, 80), 2.0);
    const QRectF b = t.bounds().adjusted(-1, -1, 1, 1);
    int inside = 0, outside = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (qAlpha(image.pixel(x, y)) >= 128)
                (b.contains(QPointF(x / 2.0, 80 - y / 2.0)) ? inside : outside)++;
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

TEST(Mark, NumberMarkers) {
    Mark n = mark(Tool::number, {{50, 50}});
    n.fontSize = 10; // radius max(7, 12) = 12
    EXPECT_EQ(n.bounds(), QRectF(38, 38, 24, 24));
    EXPECT_TRUE(n.hitTest(QPointF(50, 61)));
    EXPECT_FALSE(n.hitTest(QPointF(39, 39))); // box corner, outside the circle

    // Labels shrink to fit 0.78 of the circle, never below 6.
    const double three = numberLabelSize(QStringLiteral("123"), 10, 24);
    EXPECT_LE(QFontMetricsF(numberFont(three)).horizontalAdvance(QStringLiteral("123")), 0.78 * 24);
    EXPECT_EQ(numberLabelSize(QStringLiteral("123456789012"), 24, 24), 6);
    EXPECT_EQ(numberLabelSize(QStringLiteral("1"), 24, 40), 24);

    // Black digits above a luminance of 0.65, white below.
    const std::pair<QColor, QColor> digits[] = {{QColor(255, 255, 0), Qt::black},
                                                {QColor::fromRgbF(0.66f, 0.66f, 0.66f), Qt::black},
                                                {QColor::fromRgbF(0.64f, 0.64f, 0.64f), Qt::white},
                                                {QColor(), Qt::white}};
    for (const auto& [fill, expected] : digits)
        EXPECT_EQ(numberDigitColor(fill), expected) << fill.name().toStdString();

    // Rendered: the circle is the fill colour, with digits of the other shade.
    n.fontSize = 24;
    n.number = 8;
    n.color = QColor(255, 255, 0);
    const QImage image = render(n, QSize(100, 100));
    int dark = 0;
    for (int y = 35; y < 65; ++y)
        for (int x = 35; x < 65; ++x)
            dark += qGray(image.pixel(x, y)) < 60;
    EXPECT_GT(dark, 10);
    EXPECT_EQ(image.pixel(50, 50 - 15), qRgb(255, 255, 0));

    // Numbering stops rather than overflows.
    n.number = std::numeric_limits<int>::max();
    EXPECT_EQ(nextMarkerNumber({n}), std::numeric_limits<int>::max());
}

TEST(Mark, HighlightsPaintTranslucently) {
    Mark h = mark(Tool::highlight, {{10, 10}, {90, 10}}, 1);
    h.color = QColor(255, 0, 0, 255);
    EXPECT_NEAR(qAlpha(render(h, QSize(100, 20)).pixel(50, 10)), 0.28 * 255, 2);
}

TEST(ConstrainedEndpoint, SquaresAndFortyFiveDegreeArrowsStayInside) {
    const QRectF limits(0, 0, 200, 100);
    const QPointF s(50, 50);
    const std::tuple<QPointF, Tool, QPointF> cases[] = {
        {{80, 60}, Tool::rectangle, {80, 80}},
        {{20, 40}, Tool::ellipse, {20, 20}},
        // Toward a corner: clipped to the smaller room (50 up, 150 right).
        {{190, 99}, Tool::rectangle, {100, 100}},
        {{-100, -10}, Tool::rectangle, {0, 0}},
        {{300, 300}, Tool::pen, {300, 300}}, // not constrained
        // Arrows too long are shortened to end on the border.
        {{400, 350}, Tool::arrow, {100, 100}},
        {{-500, 51}, Tool::arrow, {0, 50}},
        {s, Tool::arrow, s},
    };
    for (const auto& [end, tool, expected] : cases) {
        const QPointF got = constrainedEndpoint(s, end, tool, limits);
        EXPECT_NEAR(got.x(), expected.x(), 1e-9) << int(tool) << " to " << end.x();
        EXPECT_NEAR(got.y(), expected.y(), 1e-9) << int(tool) << " to " << end.y();
    }
    // Every octant snaps to its 45° step, keeping the length.
    const QPointF c(100, 100);
    for (int k = -4; k <= 4; ++k) {
        const double angle = k * M_PI / 4 + 0.3;
        const QPointF e(c.x() + 40 * std::cos(angle), c.y() + 40 * std::sin(angle));
        const QPointF r = constrainedEndpoint(c, e, Tool::arrow, QRectF(0, 0, 200, 200));
        EXPECT_NEAR(r.x() - c.x(), 40 * std::cos(k * M_PI / 4), 1e-9) << k;
        EXPECT_NEAR(r.y() - c.y(), 40 * std::sin(k * M_PI / 4), 1e-9) << k;
    }
}
