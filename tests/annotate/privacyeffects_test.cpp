#include "annotate/imagefilters.h"
#include "annotate/privacyeffects.h"

#include "testimages.h"

#include <gtest/gtest.h>
#include <QPainter>

using namespace korvel;

namespace {

using test::gradient;

Mark privacy(Tool tool, QRectF area, double strength = 3) {
    Mark m;
    m.tool = tool;
    m.points = {area.topLeft(), area.bottomRight()};
    m.width = strength;
    return m;
}

// A surface whose view covers the image at `ratio` pixels per point.
PrivacySurface surface(const QImage& image, double ratio = 1) {
    return {image, QSizeF(image.width() / ratio, image.height() / ratio), image.size(),
            QPointF(0, 0)};
}

// Draws the image, then the mark over it, as a canvas export does (or, with
// an exposed part, as a repaint of that part does).
QImage render(const Mark& m, const PrivacySurface& s, PrivacyTileCache& cache,
              std::optional<QRectF> exposed = {}) {
    QImage out(s.pixelSize, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::transparent);
    QPainter painter(&out);
    painter.drawImage(QPoint(0, 0), s.image);
    const double ratio = s.pixelSize.width() / s.viewSize.width();
    painter.scale(ratio, ratio);
    painter.translate(0, s.viewSize.height());
    painter.scale(1, -1);
    drawPrivacyMark(painter, m, s, cache, exposed);
    return out;
}

} // namespace

TEST(PrivacyEffects, MosaicBlockSizeFollowsThePixelRatio) {
    const QImage image = gradient(QSize(240, 192));
    PrivacyTileCache cache;
    // 1×: strength 3 gives 24-pixel blocks.
    const PrivacySurface one = surface(image, 1);
    const QRectF area(24, 48, 96, 72); // y up: pixels rows 72 … 144
    const QImage a = render(privacy(Tool::mosaic, area), one, cache);
    EXPECT_EQ(a.copy(24, 72, 96, 72), pixellate(image, QRect(24, 72, 96, 72), 24));
    EXPECT_EQ(a.copy(0, 0, 240, 72), image.copy(0, 0, 240, 72)); // untouched above
    // 2×: the same strength gives 48-pixel blocks.
    const PrivacySurface two = surface(image, 2);
    const QImage b = render(privacy(Tool::mosaic, QRectF(24, 24, 48, 48)), two, cache);
    EXPECT_EQ(b.copy(48, 48, 96, 96), pixellate(image, QRect(48, 48, 96, 96), 48));
    EXPECT_EQ(privacyAmount(1.5, one), 12);
    EXPECT_EQ(privacyAmount(6, two), 96);
}

TEST(PrivacyEffects, BlurBeyondTheEdgeIsClippedAndHasNoFringe) {
    QImage image(200, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(30, 160, 220));
    PrivacyTileCache cache;
    const PrivacySurface s = surface(image);
    // Reaches past the right and bottom edges (bottom = y 0 in annotation space).
    const QImage out = render(privacy(Tool::blur, QRectF(150, -40, 120, 90)), s, cache);
    EXPECT_EQ(out.size(), image.size());
    EXPECT_EQ(out, image); // a flat colour blurs into itself, right up to the edge pixels
}

TEST(PrivacyEffects, BlurReachesTheEdgePixels) {
    const QImage image = gradient(QSize(120, 80));
    PrivacyTileCache cache;
    const QImage out = render(privacy(Tool::blur, QRectF(60, 0, 60, 40)), surface(image), cache);
    EXPECT_EQ(out.copy(60, 40, 60, 40), gaussianBlur(image, QRect(60, 40, 60, 40), 24));
    EXPECT_NE(out.pixel(119, 79), image.pixel(119, 79));
}

TEST(PrivacyEffects, BrushShowsTheEffectOnlyInsideItsBand) {
    const QImage image = gradient(QSize(300, 200));
    PrivacyTileCache cache;
    Mark brush;
    brush.tool = Tool::mosaic;
    brush.mosaicBrush = true;
    brush.width = 2; // band 20 points wide; the block size stays that of strength 1.5
    brush.points = {QPointF(50, 100), QPointF(250, 100)};
    const QImage out = render(brush, surface(image), cache);
    const QImage blocks = pixellate(image, image.rect(), 12);
    EXPECT_EQ(out.pixel(150, 100), blocks.pixel(150, 100)); // on the centre line
    EXPECT_EQ(out.pixel(150, 92), blocks.pixel(150, 92));
    EXPECT_EQ(out.pixel(150, 60), image.pixel(150, 60)); // well outside the band
    EXPECT_EQ(out.pixel(20, 100), image.pixel(20, 100));
    EXPECT_EQ(privacyStrength(brush), 1.5);
}

TEST(PrivacyEffects, CacheIsBoundedByCountAndPixels) {
    const QImage image = gradient(QSize(400, 300));
    PrivacyTileCache cache;
    const PrivacySurface s = surface(image);
    for (int i = 0; i < 32; ++i)
        render(privacy(Tool::mosaic, QRectF(i * 10, 10, 20, 20)), s, cache);
    EXPECT_EQ(cache.size(), 32);
    // The same mark again is a hit, not a new tile.
    render(privacy(Tool::mosaic, QRectF(0, 10, 20, 20)), s, cache);
    EXPECT_EQ(cache.size(), 32);
    // The 33rd distinct tile empties the cache first.
    const QImage out = render(privacy(Tool::blur, QRectF(5, 5, 50, 50)), s, cache);
    EXPECT_EQ(cache.size(), 1);
    EXPECT_EQ(cache.pixels(), 50 * 50);
    EXPECT_EQ(out.copy(5, 245, 50, 50), gaussianBlur(image, QRect(5, 245, 50, 50), 24));

    // Pixels: tiles that would pass 8,000,000 together empty it; a tile
    // larger than that alone is drawn but never kept.
    PrivacyTileCache big;
    big.insert(QStringLiteral("a"), QImage(2000, 2000, QImage::Format_ARGB32_Premultiplied));
    big.insert(QStringLiteral("b"), QImage(2000, 1000, QImage::Format_ARGB32_Premultiplied));
    EXPECT_EQ(big.pixels(), 6'000'000);
    big.insert(QStringLiteral("c"), QImage(2000, 1001, QImage::Format_ARGB32_Premultiplied));
    EXPECT_EQ(big.size(), 1);
    EXPECT_EQ(big.pixels(), 2'002'000);
    big.insert(QStringLiteral("d"), QImage(4000, 2001, QImage::Format_ARGB32_Premultiplied));
    EXPECT_EQ(big.size(), 0);
    EXPECT_EQ(big.pixels(), 0);
    EXPECT_FALSE(big.find(QStringLiteral("d")));
}

TEST(PrivacyEffects, KeysTellToolStrengthAndPixelsApart) {
    const QRect p(1, 2, 3, 4);
    EXPECT_EQ(privacyTileKey(Tool::mosaic, 3, p), QStringLiteral("5:3:1,2,3,4"));
    EXPECT_EQ(privacyTileKey(Tool::blur, 1.5, p), QStringLiteral("6:1.5:1,2,3,4"));
    EXPECT_NE(privacyTileKey(Tool::blur, 1.5, p),
              privacyTileKey(Tool::blur, 1.5, QRect(1, 2, 3, 5)));
}

TEST(PrivacyEffects, WithoutAnImageTheAreaIsBlack) {
    QImage background(100, 100, QImage::Format_ARGB32_Premultiplied);
    background.fill(Qt::white);
    PrivacySurface s{QImage(), QSizeF(100, 100), QSize(100, 100), QPointF(0, 0)};
    PrivacyTileCache cache;
    QImage out = background;
    {
        QPainter painter(&out);
        painter.translate(0, 100);
        painter.scale(1, -1);
        drawPrivacyMark(painter, privacy(Tool::blur, QRectF(10, 10, 30, 30)), s, cache);
    }
    EXPECT_EQ(out.pixel(20, 70), qRgb(0, 0, 0));
    EXPECT_EQ(out.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(cache.size(), 0);
}

TEST(PrivacyEffects, DegenerateMarksDrawNothing) {
    const QImage image = gradient(QSize(50, 50));
    PrivacyTileCache cache;
    const PrivacySurface s = surface(image);
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const Mark& m : {privacy(Tool::mosaic, QRectF(10, 10, 0.5, 20)),   // under a point wide
                          privacy(Tool::blur, QRectF(500, 500, 20, 20)),    // outside the view
                          privacy(Tool::blur, QRectF(nan, 10, 20, 20)),     // not a number
                          privacy(Tool::blur, QRectF(10, 10, 20, 20), nan), // no strength
                          privacy(Tool::mosaic, QRectF(10, 10, 20, 20), 1e300)}) {
        const QImage out = render(m, s, cache);
        EXPECT_EQ(out.size(), image.size());
    }
    EXPECT_EQ(render(privacy(Tool::mosaic, QRectF(10, 10, 0.5, 20)), s, cache), image);
    EXPECT_EQ(render(privacy(Tool::blur, QRectF(500, 500, 20, 20)), s, cache), image);
    // One pixel image.
    const QImage one(1, 1, QImage::Format_ARGB32_Premultiplied);
    render(privacy(Tool::blur, QRectF(0, 0, 1, 1)), surface(one), cache);
}

// Tiles of a tall image are filtered from a window around them, yet come out
// as from the whole image, for either format the image may arrive in.
TEST(PrivacyEffects, TilesOfATallImageMatchTheWholeImageFilter) {
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const QImage image = gradient(QSize(120, 2400)).convertToFormat(format);
        const QImage whole = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        const PrivacySurface s = surface(image);
        PrivacyTileCache cache;
        // Rows 2000 … 2100 and 300 … 370, columns 13 … 95.
        const Mark blur = privacy(Tool::blur, QRectF(13, 300, 82, 100));
        const Mark mosaic = privacy(Tool::mosaic, QRectF(13, 2030, 82, 70), 1.5);
        const QImage a = render(blur, s, cache);
        EXPECT_EQ(a.copy(13, 2000, 82, 100), gaussianBlur(whole, QRect(13, 2000, 82, 100), 24));
        const QImage b = render(mosaic, s, cache);
        EXPECT_EQ(b.copy(13, 300, 82, 70), pixellate(whole, QRect(13, 300, 82, 70), 12));
    }
}

// A privacy area too large to cache is filtered, on screen, only where the
// view is repainted; the cache holds that part alone.
TEST(PrivacyEffects, AnUncachableAreaOnScreenIsFilteredOnlyWhereExposed) {
    const QImage image = gradient(QSize(1000, 9000));
    const PrivacySurface s = surface(image);
    PrivacyTileCache cache;
    // Rows 4700 … 5000.
    const QImage out = render(privacy(Tool::mosaic, QRectF(0, 0, 1000, 9000)), s, cache,
                              QRectF(0, 4000, 1000, 300));
    EXPECT_EQ(cache.pixels(), 1000 * 300);
    const QImage whole = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(out.copy(0, 4700, 1000, 300), pixellate(whole, QRect(0, 4700, 1000, 300), 24));
    // Outside the exposed part the painter was given nothing new.
    EXPECT_EQ(out.copy(0, 0, 1000, 100), whole.copy(0, 0, 1000, 100));
}
