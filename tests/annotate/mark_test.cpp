#include "annotate/mark.h"

#include <gtest/gtest.h>
#include <QFontMetricsF>
#include <QImage>
#include <QPainter>

#include <cmath>
#include <limits>

using namespace korvel;

namespace {

Mark mark(Tool tool, QList<QPointF> points, double width = 3) {
    Mark m;
    m.tool = tool;
    m.points = std::move(points);
    m.width = width;
    return m;
}

// Renders a mark into an image of `size` points at `ratio` pixels per point,
// with annotation space (y up) mapped onto it.
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

} // namespace

TEST(Tool, RawValuesAreFixed) {
    const std::pair<int, Tool> expected[] = {
        {0, Tool::rectangle}, {1, Tool::arrow},   {2, Tool::pen},
        {3, Tool::text},      {4, Tool::ellipse}, {5, Tool::mosaic},
        {6, Tool::blur},      {7, Tool::number},  {8, Tool::highlight},
    };
    for (const auto& [raw, tool] : expected) {
        EXPECT_EQ(int(tool), raw);
        EXPECT_EQ(toolFromRaw(raw), tool);
    }
    EXPECT_FALSE(toolFromRaw(-1));
    EXPECT_FALSE(toolFromRaw(9));
    EXPECT_FALSE(toolFromRaw(std::numeric_limits<qint64>::max()));
    EXPECT_EQ(mosaicModeFromRaw(0), MosaicMode::brush);
    EXPECT_EQ(mosaicModeFromRaw(1), MosaicMode::rectangle);
    EXPECT_FALSE(mosaicModeFromRaw(2));
    EXPECT_FALSE(mosaicModeFromRaw(-1));
}

TEST(Mark, PaintWidthOfWideStrokes) {
    EXPECT_EQ(mark(Tool::highlight, {}, 1).paintWidth(), 12);
    EXPECT_EQ(mark(Tool::highlight, {}, 4).paintWidth(), 24);
    Mark brush = mark(Tool::mosaic, {}, 1);
    brush.mosaicBrush = true;
    EXPECT_EQ(brush.paintWidth(), 18);
    brush.width = 3;
    EXPECT_EQ(brush.paintWidth(), 30);
    brush.mosaicBrush = false;
    EXPECT_EQ(brush.paintWidth(), 3);
    EXPECT_EQ(mark(Tool::pen, {}, 5).paintWidth(), 5);
}

TEST(Mark, BrushDotIsACircleOfThePaintWidth) {
    Mark dot = mark(Tool::mosaic, {QPointF(50, 40)}, 1);
    dot.mosaicBrush = true;
    EXPECT_EQ(dot.bounds(), QRectF(41, 31, 18, 18));
    EXPECT_TRUE(dot.hitTest(QPointF(50, 48.5)));
    EXPECT_FALSE(dot.hitTest(QPointF(58, 48))); // inside the box, outside the circle
    dot.points = {QPointF(50, 40), QPointF(50, 40), QPointF(50, 40)};
    dot.width = 3;
    EXPECT_EQ(dot.bounds(), QRectF(35, 25, 30, 30));
    EXPECT_FALSE(dot.canResize());

    Mark stroke = dot;
    stroke.points = {QPointF(0, 0), QPointF(100, 0)};
    const QRectF b = stroke.bounds();
    EXPECT_NEAR(b.left(), -15, 0.5);
    EXPECT_NEAR(b.right(), 115, 0.5);
    EXPECT_NEAR(b.top(), -15, 0.5);
    EXPECT_NEAR(b.bottom(), 15, 0.5);
    EXPECT_TRUE(stroke.hitTest(QPointF(50, 14)));
    EXPECT_FALSE(stroke.hitTest(QPointF(50, 16)));
}

TEST(Mark, HighlightBoundsIncludeHalfTheBand) {
    const Mark h = mark(Tool::highlight, {QPointF(0, 0), QPointF(100, 50)}, 1);
    EXPECT_EQ(h.bounds(), QRectF(-6, -6, 112, 62));
    // Tolerance: max(12 / 2 + 3, 6) = 9 from the centre line.
    const Mark flat = mark(Tool::highlight, {QPointF(0, 0), QPointF(100, 0)}, 1);
    EXPECT_TRUE(flat.hitTest(QPointF(50, 9)));
    EXPECT_FALSE(flat.hitTest(QPointF(50, 9.01)));
    // A pen stroke's bounds are its points' box, not grown.
    EXPECT_EQ(mark(Tool::pen, {QPointF(0, 0), QPointF(100, 50)}, 8).bounds(),
              QRectF(0, 0, 100, 50));
}

TEST(Mark, OutlineHitTestingAtTheEdgesOfThinStrokes) {
    // Width 1: tolerance max(0.5 + 3, 6) = 6.
    const Mark pen = mark(Tool::pen, {QPointF(0, 0), QPointF(100, 0)}, 1);
    EXPECT_TRUE(pen.hitTest(QPointF(50, 6)));
    EXPECT_TRUE(pen.hitTest(QPointF(50, -6)));
    EXPECT_FALSE(pen.hitTest(QPointF(50, 6.01)));
    EXPECT_TRUE(pen.hitTest(QPointF(106, 0))); // beyond the end, within the tolerance
    EXPECT_FALSE(pen.hitTest(QPointF(106.1, 0)));
    // Width 10: tolerance 8.
    const Mark wide = mark(Tool::pen, {QPointF(0, 0), QPointF(100, 0)}, 10);
    EXPECT_TRUE(wide.hitTest(QPointF(50, 8)));
    EXPECT_FALSE(wide.hitTest(QPointF(50, 8.01)));
    // A single-point pen stroke has no segment and is never hit.
    EXPECT_FALSE(mark(Tool::pen, {QPointF(5, 5)}).hitTest(QPointF(5, 5)));

    const Mark rect = mark(Tool::rectangle, {QPointF(100, 100), QPointF(0, 0)}, 2);
    EXPECT_FALSE(rect.hitTest(QPointF(50, 50))); // inside, away from the edges
    EXPECT_TRUE(rect.hitTest(QPointF(6, 50)));
    EXPECT_FALSE(rect.hitTest(QPointF(6.01, 50)));
    EXPECT_TRUE(rect.hitTest(QPointF(50, 105.9))); // outside, near the top edge
    EXPECT_TRUE(rect.hitTest(QPointF(50, 0)));     // the closing edge counts

    const Mark ellipse = mark(Tool::ellipse, {QPointF(0, 0), QPointF(200, 100)}, 2);
    EXPECT_FALSE(ellipse.hitTest(QPointF(100, 50)));
    EXPECT_TRUE(ellipse.hitTest(QPointF(100, 99)));
    EXPECT_TRUE(ellipse.hitTest(QPointF(1, 50)));
    EXPECT_FALSE(ellipse.hitTest(QPointF(3, 3))); // corner of the box, far from the curve
}

TEST(Mark, ArrowGeometryAndRotatedHits) {
    // Short arrow at width 2: head = 0.4 of the length.
    const Mark shortArrow = mark(Tool::arrow, {QPointF(0, 0), QPointF(20, 0)}, 2);
    const QPainterPath p = shortArrow.path();
    ASSERT_EQ(p.elementCount(), 7);
    EXPECT_EQ(QPointF(p.elementAt(3).x, p.elementAt(3).y), QPointF(20, 0));
    EXPECT_NEAR(p.elementAt(2).x, 12, 1e-9);
    EXPECT_NEAR(p.elementAt(2).y, 8 * 0.48, 1e-9);
    EXPECT_NEAR(p.elementAt(1).y, 8 * 0.48 * 0.38, 1e-9);
    // A long one caps the head at max(width × 5, 10).
    const QPainterPath longPath = mark(Tool::arrow, {QPointF(0, 0), QPointF(200, 0)}, 4).path();
    EXPECT_NEAR(longPath.elementAt(2).x, 180, 1e-9);

    const Mark zero = mark(Tool::arrow, {QPointF(5, 5), QPointF(5, 5)});
    EXPECT_TRUE(zero.path().isEmpty());
    EXPECT_FALSE(zero.hitTest(QPointF(5, 5)));
    EXPECT_FALSE(zero.canResize());

    // Rotated 45°: a point on the axis, one near the outline, one off it.
    const Mark diagonal = mark(Tool::arrow, {QPointF(0, 0), QPointF(100, 100)}, 3);
    const QPointF axis(50, 50);
    const QPointF normal(-std::sqrt(0.5), std::sqrt(0.5));
    EXPECT_TRUE(diagonal.hitTest(axis));
    EXPECT_TRUE(diagonal.hitTest(axis + normal * 6));
    EXPECT_FALSE(diagonal.hitTest(axis + normal * 9));
    EXPECT_TRUE(diagonal.hitTest(QPointF(97, 97))); // inside the head
    EXPECT_FALSE(diagonal.hitTest(QPointF(110, 110)));
}

TEST(Mark, ZeroNegativeAndNonFiniteGeometry) {
    // Dragged up and to the left: the same rectangle.
    const Mark backwards = mark(Tool::rectangle, {QPointF(100, 80), QPointF(20, 10)});
    EXPECT_EQ(backwards.bounds(), QRectF(20, 10, 80, 70));
    EXPECT_EQ(mark(Tool::blur, {QPointF(100, 80), QPointF(20, 10)}).bounds(),
              QRectF(20, 10, 80, 70));
    EXPECT_TRUE(mark(Tool::rectangle, {}).path().isEmpty());
    EXPECT_FALSE(mark(Tool::rectangle, {}).hitTest(QPointF(0, 0)));
    const Mark flat = mark(Tool::rectangle, {QPointF(10, 10), QPointF(10, 10)});
    EXPECT_TRUE(flat.bounds().isEmpty());

    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    for (Tool tool : {Tool::rectangle, Tool::ellipse, Tool::arrow, Tool::pen, Tool::highlight,
                      Tool::number, Tool::mosaic, Tool::blur}) {
        Mark m = mark(tool, {QPointF(nan, 0), QPointF(10, inf)});
        EXPECT_TRUE(m.path().isEmpty());
        EXPECT_FALSE(m.hitTest(QPointF(0, 0)));
        m.mosaicBrush = true;
        EXPECT_TRUE(m.brushMask().isEmpty());
        render(m, QSize(20, 20)); // must not crash
    }
    EXPECT_FALSE(mark(Tool::rectangle, {QPointF(0, 0), QPointF(10, 10)}).hitTest(QPointF(nan, 0)));
}

TEST(Mark, TextMeasuresEveryLineIncludingChinese) {
    Mark t = mark(Tool::text, {QPointF(10, 20)});
    t.fontSize = 20;
    t.text = QStringLiteral("截图");
    const QRectF one = t.bounds();
    EXPECT_EQ(one.topLeft(), QPointF(10, 20));
    EXPECT_GT(one.width(), 30); // two wide glyphs at 20 points
    t.text = QStringLiteral("截图 Korvel 123");
    EXPECT_GT(t.bounds().width(), one.width());
    t.text = QStringLiteral("第一行\n第二行 second");
    EXPECT_NEAR(t.bounds().height(), 2 * one.height(), 2.0);
    EXPECT_TRUE(t.hitTest(QPointF(7, 18))); // 4 points around the block count
    EXPECT_FALSE(t.hitTest(QPointF(5, 18)));
    EXPECT_TRUE(t.canResize());
    // No point: placed at the origin.
    t.points.clear();
    EXPECT_EQ(t.bounds().topLeft(), QPointF(0, 0));

    t.width = 8;
    EXPECT_EQ(t.textFont().weight(), QFont::Bold);
    t.width = 1;
    EXPECT_EQ(t.textFont().weight(), QFont::Light);
    t.width = 3;
    EXPECT_EQ(t.textFont().weight(), QFont::Normal);
}

TEST(Mark, TextIsDrawnUprightInsideItsBounds) {
    Mark t = mark(Tool::text, {QPointF(10, 10)});
    t.text = QStringLiteral("截图");
    t.fontSize = 24;
    t.color = Qt::black;
    const QImage image = render(t, QSize(120, 80), 2.0);
    const QRectF b = t.bounds();
    // Ink appears only within the bounds (converted to y-down pixels).
    int inside = 0, outside = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (qAlpha(image.pixel(x, y)) < 128)
                continue;
            const QPointF p(x / 2.0, 80 - y / 2.0);
            (b.adjusted(-1, -1, 1, 1).contains(p) ? inside : outside)++;
        }
    }
    EXPECT_GT(inside, 50);
    EXPECT_EQ(outside, 0);
}

TEST(Mark, NumberMarkers) {
    Mark n = mark(Tool::number, {QPointF(50, 50)});
    n.fontSize = 10; // radius max(7, 12) = 12
    EXPECT_EQ(n.bounds(), QRectF(38, 38, 24, 24));
    EXPECT_TRUE(n.hitTest(QPointF(50, 61)));
    EXPECT_FALSE(n.hitTest(QPointF(39, 39))); // box corner, outside the circle
    n.fontSize = 40;
    EXPECT_EQ(n.bounds(), QRectF(22, 22, 56, 56));

    // Three digits in a small circle shrink, never below 6.
    const double three = numberLabelSize(QStringLiteral("123"), 10, 24);
    EXPECT_LE(three, 10);
    EXPECT_GE(three, 6);
    if (three > 6) {
        EXPECT_LE(QFontMetricsF(numberFont(three)).horizontalAdvance(QStringLiteral("123")),
                  0.78 * 24);
    }
    EXPECT_EQ(numberLabelSize(QStringLiteral("123456789012"), 24, 24), 6);
    EXPECT_EQ(numberLabelSize(QStringLiteral("1"), 24, 40), 24);

    EXPECT_EQ(numberDigitColor(Qt::white), QColor(Qt::black));
    EXPECT_EQ(numberDigitColor(QColor(255, 255, 0)), QColor(Qt::black));
    EXPECT_EQ(numberDigitColor(QColor(255, 0, 0)), QColor(Qt::white));
    EXPECT_EQ(numberDigitColor(QColor(0, 0, 255)), QColor(Qt::white));
    EXPECT_EQ(numberDigitColor(Qt::black), QColor(Qt::white));
    EXPECT_EQ(numberDigitColor(QColor()), QColor(Qt::white));
    // Just above and below the 0.65 threshold.
    EXPECT_EQ(numberDigitColor(QColor::fromRgbF(0.66f, 0.66f, 0.66f)), QColor(Qt::black));
    EXPECT_EQ(numberDigitColor(QColor::fromRgbF(0.64f, 0.64f, 0.64f)), QColor(Qt::white));

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
}

TEST(Mark, NextMarkerNumberContinuesAfterTheHighest) {
    QList<Mark> marks;
    EXPECT_EQ(nextMarkerNumber(marks), 1);
    for (int i = 1; i <= 3; ++i) {
        Mark m = mark(Tool::number, {QPointF(i * 30, 30)});
        m.number = nextMarkerNumber(marks);
        marks.append(m);
    }
    EXPECT_EQ(marks[2].number, 3);
    marks.removeAt(1); // delete 2: the next is still 4
    EXPECT_EQ(nextMarkerNumber(marks), 4);
    // Other tools' numbers do not count.
    Mark rect = mark(Tool::rectangle, {QPointF(0, 0), QPointF(1, 1)});
    rect.number = 99;
    marks.append(rect);
    EXPECT_EQ(nextMarkerNumber(marks), 4);
    marks[0].number = std::numeric_limits<int>::max();
    EXPECT_EQ(nextMarkerNumber(marks), std::numeric_limits<int>::max());
}

TEST(Mark, StrokesDrawAntialiasedAtAnyPixelRatio) {
    const Mark line = mark(Tool::pen, {QPointF(10, 5), QPointF(90, 15)}, 4);
    for (double ratio : {1.0, 1.25, 2.0}) {
        const QImage image = render(line, QSize(100, 20), ratio);
        // The middle of the line (at y = 10 from the bottom) is the ink colour.
        EXPECT_EQ(image.pixelColor(int(50 * ratio), int(10 * ratio)).rgb(), line.color.rgb())
            << ratio;
        // The slanted edges are partly covered pixels: anti-aliasing at work.
        int partial = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x)
                partial += qAlpha(image.pixel(x, y)) % 255 != 0;
        EXPECT_GT(partial, 50) << ratio;
    }
    // Highlights are translucent whatever the colour's own alpha.
    Mark h = mark(Tool::highlight, {QPointF(10, 10), QPointF(90, 10)}, 1);
    h.color = QColor(255, 0, 0, 255);
    const QImage hi = render(h, QSize(100, 20));
    EXPECT_NEAR(qAlpha(hi.pixel(50, 10)), 0.28 * 255, 2);
}

TEST(ConstrainedEndpoint, SquaresInEveryQuadrantStayInside) {
    const QRectF limits(0, 0, 200, 100);
    const QPointF s(50, 50);
    EXPECT_EQ(constrainedEndpoint(s, QPointF(80, 60), Tool::rectangle, limits), QPointF(80, 80));
    EXPECT_EQ(constrainedEndpoint(s, QPointF(20, 60), Tool::rectangle, limits), QPointF(20, 80));
    EXPECT_EQ(constrainedEndpoint(s, QPointF(20, 40), Tool::ellipse, limits), QPointF(20, 20));
    EXPECT_EQ(constrainedEndpoint(s, QPointF(80, 40), Tool::ellipse, limits), QPointF(80, 20));
    // Toward a corner: clipped to the smaller room (50 up, 150 right).
    EXPECT_EQ(constrainedEndpoint(s, QPointF(190, 99), Tool::rectangle, limits), QPointF(100, 100));
    EXPECT_EQ(constrainedEndpoint(s, QPointF(-100, -10), Tool::rectangle, limits), QPointF(0, 0));
    // Other tools are not constrained.
    EXPECT_EQ(constrainedEndpoint(s, QPointF(190, 99), Tool::pen, limits), QPointF(190, 99));
    EXPECT_EQ(constrainedEndpoint(s, QPointF(300, 300), Tool::blur, limits), QPointF(300, 300));
}

TEST(ConstrainedEndpoint, ArrowsSnapTo45DegreesAndEndOnTheBorder) {
    const QRectF limits(0, 0, 200, 200);
    const QPointF s(100, 100);
    // 30° snaps to 45°, keeping the length.
    const double len = 50;
    const QPointF e30(s.x() + len * std::cos(M_PI / 6), s.y() + len * std::sin(M_PI / 6));
    const QPointF snapped = constrainedEndpoint(s, e30, Tool::arrow, limits);
    EXPECT_NEAR(snapped.x(), 100 + len * std::sqrt(0.5), 1e-9);
    EXPECT_NEAR(snapped.y(), 100 + len * std::sqrt(0.5), 1e-9);
    // Every octant.
    for (int k = -4; k <= 4; ++k) {
        const double angle = k * M_PI / 4 + 0.1;
        const QPointF e(s.x() + 40 * std::cos(angle), s.y() + 40 * std::sin(angle));
        const QPointF r = constrainedEndpoint(s, e, Tool::arrow, limits);
        EXPECT_NEAR(r.x() - s.x(), 40 * std::cos(k * M_PI / 4), 1e-9) << k;
        EXPECT_NEAR(r.y() - s.y(), 40 * std::sin(k * M_PI / 4), 1e-9) << k;
    }
    // Too long: shortened to end on the border.
    const QPointF far = constrainedEndpoint(s, QPointF(400, 390), Tool::arrow, limits);
    EXPECT_NEAR(far.x(), 200, 1e-9);
    EXPECT_NEAR(far.y(), 200, 1e-9);
    const QPointF left = constrainedEndpoint(s, QPointF(-500, 101), Tool::arrow, limits);
    EXPECT_NEAR(left.x(), 0, 1e-9);
    EXPECT_NEAR(left.y(), 100, 1e-9);
    EXPECT_EQ(constrainedEndpoint(s, s, Tool::arrow, limits), s);
}
