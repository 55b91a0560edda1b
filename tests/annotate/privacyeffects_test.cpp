#include "annotate/imagefilters.h"
#include "annotate/privacyeffects.h"
#include "testimages.h"

#include <gtest/gtest.h>
#include <QPainter>

#include <cmath>
#include <limits>

using namespace korvel;

namespace {

using test::gradient;

QImage checkerboard(QSize size, int square) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, ((x / square + y / square) % 2) ? 0xffffffffu : 0xff000000u);
    return image;
}

QImage flat(QSize size, QRgb colour) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    image.fill(colour);
    return image;
}

// The rounded mean of the pixels of a block that lie inside the image.
QRgb blockMean(const QImage& image, QPoint p, int block) {
    const QRect b =
        QRect(p.x() / block * block, p.y() / block * block, block, block).intersected(image.rect());
    qint64 sum[4] = {};
    for (int y = b.top(); y <= b.bottom(); ++y)
        for (int x = b.left(); x <= b.right(); ++x)
            for (int c = 0; c < 4; ++c)
                sum[c] += image.pixel(x, y) >> (8 * c) & 0xff;
    const qint64 n = qint64(b.width()) * b.height();
    QRgb mean = 0;
    for (int c = 0; c < 4; ++c)
        mean |= QRgb((sum[c] + n / 2) / n) << (8 * c);
    return mean;
}

Mark privacy(Tool tool, QRectF area, double strength = 3, bool brush = false) {
    return test::mark(tool, {area.topLeft(), area.bottomRight()}, strength, brush);
}

// A surface whose view covers the image at `ratio` pixels per point.
PrivacySurface surface(const QImage& image, double ratio = 1) {
    return {image, QSizeF(image.width() / ratio, image.height() / ratio), image.size(),
            QPointF(0, 0)};
}

// The image, then the mark over it, as an export (or a repaint of `exposed`) draws them.
QImage render(const Mark& m, const PrivacySurface& s, PrivacyTileCache& cache,
              std::optional<QRectF> exposed = {}) {
    QImage out(s.pixelSize, QImage::Format_ARGB32_Premultiplied);
    out.fill(Qt::white);
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

TEST(PrivacyEffects, MosaicBlocksFollowThePixelRatioAndBlurReachesTheEdges) {
    const QImage image = gradient(QSize(240, 192));
    PrivacyTileCache cache;
    // 1×, 24-pixel blocks (the self-check's effects case), cached for the blur below.
    render(privacy(Tool::mosaic, QRectF(24, 48, 96, 72)), surface(image), cache);
    // 2×: the same strength gives 48-pixel blocks.
    const QImage b =
        render(privacy(Tool::mosaic, QRectF(24, 24, 48, 48)), surface(image, 2), cache);
    EXPECT_EQ(b.copy(48, 48, 96, 96), pixellate(image, QRect(48, 48, 96, 96), 48));
    // The blur is not the mosaic's cached tile; past the corner it is clipped.
    const QImage c = render(privacy(Tool::blur, QRectF(24, 48, 96, 72)), surface(image), cache);
    EXPECT_EQ(c.copy(24, 72, 96, 72), gaussianBlur(image, QRect(24, 72, 96, 72), 24));
    const QImage d = render(privacy(Tool::blur, QRectF(180, -40, 120, 90)), surface(image), cache);
    EXPECT_EQ(d.copy(180, 142, 60, 50), gaussianBlur(image, QRect(180, 142, 60, 50), 24));
    EXPECT_EQ(d.copy(0, 0, 180, 192), image.copy(0, 0, 180, 192));
}

TEST(PrivacyEffects, BrushShowsTheEffectOnlyInsideItsBand) {
    const QImage image = gradient(QSize(300, 200));
    PrivacyTileCache cache;
    // Band 20 points wide; the block size stays that of strength 1.5.
    const QImage out =
        render(privacy(Tool::mosaic, QRectF(50, 100, 200, 0), 2, true), surface(image), cache);
    const QImage blocks = pixellate(image, image.rect(), 12);
    EXPECT_EQ(out.pixel(150, 100), blocks.pixel(150, 100)); // on the centre line
    EXPECT_EQ(out.pixel(150, 92), blocks.pixel(150, 92));
    EXPECT_EQ(out.pixel(150, 60), image.pixel(150, 60)); // well outside the band
    EXPECT_EQ(out.pixel(20, 100), image.pixel(20, 100));
}

TEST(PrivacyEffects, CacheIsBoundedByCountAndPixels) {
    const QImage image = gradient(QSize(400, 300));
    PrivacyTileCache cache;
    for (int i = 0; i < 32; ++i)
        render(privacy(Tool::mosaic, QRectF(i * 10, 10, 20, 20)), surface(image), cache);
    EXPECT_EQ(cache.size(), 32);
    render(privacy(Tool::mosaic, QRectF(0, 10, 20, 20)), surface(image), cache); // a hit
    EXPECT_EQ(cache.size(), 32);
    // The 33rd distinct tile empties the cache first.
    render(privacy(Tool::blur, QRectF(5, 5, 50, 50)), surface(image), cache);
    EXPECT_EQ(cache.size(), 1);
    EXPECT_EQ(cache.pixels(), 50 * 50);

    // Tiles passing 8,000,000 pixels together empty it; one larger alone is never kept.
    PrivacyTileCache big;
    const auto insert = [&big](const char* key, int w, int h) {
        big.insert(QString::fromLatin1(key), QImage(w, h, QImage::Format_ARGB32_Premultiplied));
    };
    insert("a", 2000, 2000);
    insert("b", 2000, 1000);
    EXPECT_EQ(big.pixels(), 6'000'000);
    insert("c", 2000, 1001);
    EXPECT_EQ(big.size(), 1);
    EXPECT_EQ(big.pixels(), 2'002'000);
    insert("d", 4000, 2001);
    EXPECT_EQ(big.size(), 0);
    EXPECT_EQ(big.pixels(), 0);
}

// Nothing to filter: black, never the original; degenerate marks draw nothing.
TEST(PrivacyEffects, WithoutAnImageBlackAndDegenerateMarksNothing) {
    PrivacyTileCache cache;
    const QImage out = render(privacy(Tool::blur, QRectF(10, 10, 30, 30)),
                              {QImage(), QSizeF(100, 100), QSize(100, 100), QPointF()}, cache);
    EXPECT_EQ(out.pixel(20, 70), qRgb(0, 0, 0));
    EXPECT_EQ(out.pixel(5, 5), qRgb(255, 255, 255));
    EXPECT_EQ(cache.size(), 0);

    const QImage image = gradient(QSize(50, 50));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const std::pair<Mark, bool> marks[] = {
        {privacy(Tool::mosaic, QRectF(10, 10, 0.5, 20)), true}, // under a point wide
        {privacy(Tool::blur, QRectF(500, 500, 20, 20)), true},  // outside the view
        {privacy(Tool::blur, QRectF(nan, 10, 20, 20)), false},
        {privacy(Tool::blur, QRectF(10, 10, 20, 20), nan), false},
        {privacy(Tool::mosaic, QRectF(10, 10, 20, 20), 1e300), false},
    };
    for (const auto& [m, untouched] : marks)
        EXPECT_TRUE(render(m, surface(image), cache) == image || !untouched) << m.points[0].x();
    render(privacy(Tool::blur, QRectF(0, 0, 1, 1)), surface(QImage(1, 1, QImage::Format_RGB32)),
           cache);
}

// Tiles filtered from a window around them equal the whole image's filter, in either format.
TEST(PrivacyEffects, TilesOfATallImageMatchTheWholeImageFilterAndOnlyTheExposedPartIfHuge) {
    for (QImage::Format format : {QImage::Format_RGB32, QImage::Format_ARGB32_Premultiplied}) {
        const QImage image = gradient(QSize(120, 2400)).convertToFormat(format);
        const QImage whole = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        PrivacyTileCache cache;
        // Rows 2000 … 2100 and 300 … 370, columns 13 … 95.
        const QImage a =
            render(privacy(Tool::blur, QRectF(13, 300, 82, 100)), surface(image), cache);
        EXPECT_EQ(a.copy(13, 2000, 82, 100), gaussianBlur(whole, QRect(13, 2000, 82, 100), 24));
        const QImage b =
            render(privacy(Tool::mosaic, QRectF(13, 2030, 82, 70), 1.5), surface(image), cache);
        EXPECT_EQ(b.copy(13, 300, 82, 70), pixellate(whole, QRect(13, 300, 82, 70), 12));
    }
    // An area too large to cache is filtered and cached only where the view is repainted.
    const QImage image = gradient(QSize(1000, 9000));
    PrivacyTileCache cache;
    // Rows 4700 … 5000.
    const QImage out = render(privacy(Tool::mosaic, QRectF(0, 0, 1000, 9000)), surface(image),
                              cache, QRectF(0, 4000, 1000, 300));
    EXPECT_EQ(cache.pixels(), 1000 * 300);
    const QImage whole = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(out.copy(0, 4700, 1000, 300), pixellate(whole, QRect(0, 4700, 1000, 300), 24));
    EXPECT_EQ(out.copy(0, 0, 1000, 100), whole.copy(0, 0, 1000, 100));
}

// Edge blocks average what is inside, half up; a tile equals the same part of the whole.
TEST(Pixellate, BlocksAreMeansOnAGridAnchoredInTheImage) {
    const std::tuple<QSize, int, int> cases[] = {
        {{64, 48}, 8, 16}, {{64, 48}, 8, 8}, {{61, 45}, 5, 12}, {{10, 10}, 5, 1 << 30}};
    for (const auto& [size, square, block] : cases) {
        const QImage board = checkerboard(size, square);
        const QImage whole = pixellate(board, board.rect(), block);
        int wrong = 0;
        for (int y = 0; y < size.height(); ++y)
            for (int x = 0; x < size.width(); ++x)
                wrong += whole.pixel(x, y) != blockMean(board, QPoint(x, y), block);
        EXPECT_EQ(wrong, 0) << block;
        for (const QRect tile : {QRect(7, 3, 31, 29), QRect(size.width() - 11, 0, 11, 5)})
            EXPECT_EQ(pixellate(board, tile, block), whole.copy(tile & board.rect())) << block;
    }
}

// Three box passes each way are close to a true Gaussian: a step becomes 255 Φ(d / σ).
TEST(GaussianBlur, FlatColourStaysFlatUpToTheEdgesAndAStepBecomesTheNormalCurve) {
    for (QRgb colour : {0xff000000u, 0xffffffffu, 0xffc86432u, 0x80402010u}) {
        const QImage image = flat(QSize(90, 70), colour);
        for (double sigma : {1.0, 5.0, 24.0, 150.0}) {
            EXPECT_EQ(gaussianBlur(image, image.rect(), sigma), image)
                << std::hex << colour << " sigma " << sigma;
            EXPECT_EQ(gaussianBlur(image, QRect(80, 60, 30, 30), sigma),
                      image.copy(80, 60, 10, 10));
        }
    }
    for (double sigma : {4.5, 9.0, 16.0}) {
        for (const bool down : {false, true}) {
            QImage step = flat(QSize(160, 160), 0xff000000u);
            QPainter(&step).fillRect(down ? QRect(0, 80, 160, 80) : QRect(80, 0, 80, 160),
                                     Qt::white);
            const QImage out = gaussianBlur(step, step.rect(), sigma);
            double worst = 0;
            for (int i = 0; i < 160; ++i) {
                const double curve = 127.5 * std::erfc((80 - i - 0.5) / (sigma * std::sqrt(2.0)));
                worst = std::max(worst,
                                 std::abs(qRed(out.pixel(down ? 40 : i, down ? i : 40)) - curve));
            }
            EXPECT_LE(worst, 3) << sigma << (down ? " down" : " across");
        }
    }
}

TEST(ImageFilters, DegenerateInput) {
    const QImage one = flat(QSize(1, 1), 0xff336699u);
    EXPECT_EQ(pixellate(one, one.rect(), 24), one);
    EXPECT_EQ(gaussianBlur(one, one.rect(), 24), one);
    EXPECT_TRUE(pixellate(one, QRect(5, 5, 10, 10), 24).isNull());
    EXPECT_TRUE(pixellate(QImage(), QRect(0, 0, 10, 10), 24).isNull());
    EXPECT_TRUE(pixellate(one, QRect(0, 0, 0, 0), 24).isNull());
    const QImage board = checkerboard(QSize(20, 20), 3);
    EXPECT_EQ(pixellate(board, board.rect(), -3), board); // blocks below one are one
    for (double sigma : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()})
        EXPECT_EQ(gaussianBlur(board, board.rect(), sigma), board) << sigma;
    EXPECT_TRUE(gaussianBlur(board, QRect(30, 30, 5, 5), 3).isNull());
    // An enormous radius is bounded: the result is the image's average.
    const QImage huge = gaussianBlur(board, board.rect(), 1e12);
    ASSERT_EQ(huge.size(), board.size());
    EXPECT_NEAR(qRed(huge.pixel(0, 0)), qRed(huge.pixel(19, 19)), 2);
    // Straight, not premultiplied, input is converted first.
    const QImage straight = flat(QSize(8, 8), 0x80ff0000u).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(pixellate(straight, straight.rect(), 4).format(),
              QImage::Format_ARGB32_Premultiplied);
}
