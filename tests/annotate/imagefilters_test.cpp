#include "annotate/imagefilters.h"

#include <gtest/gtest.h>
#include <QPainter>

#include <cmath>
#include <limits>

using namespace korvel;

namespace {

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

} // namespace

// The grid is anchored in the image, edge blocks average what is inside, and
// averages round half up; a tile looks as the same part of the whole does.
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

TEST(Pixellate, DegenerateInput) {
    const QImage one = flat(QSize(1, 1), 0xff336699u);
    EXPECT_EQ(pixellate(one, one.rect(), 24), one);
    EXPECT_TRUE(pixellate(one, QRect(5, 5, 10, 10), 24).isNull());
    EXPECT_TRUE(pixellate(QImage(), QRect(0, 0, 10, 10), 24).isNull());
    EXPECT_TRUE(pixellate(one, QRect(0, 0, 0, 0), 24).isNull());
    const QImage board = checkerboard(QSize(10, 10), 5);
    EXPECT_EQ(pixellate(board, board.rect(), -3), board); // blocks below one are one
    // Straight, not premultiplied, input is converted first.
    const QImage straight = flat(QSize(8, 8), 0x80ff0000u).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(pixellate(straight, straight.rect(), 4).format(),
              QImage::Format_ARGB32_Premultiplied);
}

TEST(GaussianBlur, FlatColourStaysFlatUpToTheEdges) {
    for (QRgb colour : {0xff000000u, 0xffffffffu, 0xffc86432u, 0x80402010u}) {
        const QImage image = flat(QSize(90, 70), colour);
        for (double sigma : {1.0, 5.0, 24.0, 150.0}) {
            EXPECT_EQ(gaussianBlur(image, image.rect(), sigma), image)
                << std::hex << colour << " sigma " << sigma;
            EXPECT_EQ(gaussianBlur(image, QRect(80, 60, 30, 30), sigma),
                      image.copy(80, 60, 10, 10));
        }
    }
}

// Privacy blurs use radii of 12 pixels and more; from a few pixels up the
// three box passes each way are close to a true Gaussian, which turns a step
// into the normal curve 255 Φ(d / σ).
TEST(GaussianBlur, AStepBecomesTheNormalCurveEitherWay) {
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

TEST(GaussianBlur, DegenerateInput) {
    const QImage one = flat(QSize(1, 1), 0xff336699u);
    EXPECT_EQ(gaussianBlur(one, one.rect(), 24), one);
    const QImage board = checkerboard(QSize(20, 20), 3);
    for (double sigma : {0.0, -5.0, std::numeric_limits<double>::quiet_NaN(),
                         std::numeric_limits<double>::infinity()})
        EXPECT_EQ(gaussianBlur(board, board.rect(), sigma), board) << sigma;
    EXPECT_TRUE(gaussianBlur(board, QRect(30, 30, 5, 5), 3).isNull());
    // An enormous radius is bounded: the result is the image's average.
    const QImage huge = gaussianBlur(board, board.rect(), 1e12);
    ASSERT_EQ(huge.size(), board.size());
    EXPECT_NEAR(qRed(huge.pixel(0, 0)), qRed(huge.pixel(19, 19)), 2);
}
