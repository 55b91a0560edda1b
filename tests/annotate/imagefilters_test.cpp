#include "annotate/imagefilters.h"
#include "referencefilters.h"

#include <gtest/gtest.h>
#include <QPainter>

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

int maxDifference(const QImage& a, const QImage& b) {
    EXPECT_EQ(a.size(), b.size());
    int worst = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            worst = std::max({worst, std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                              std::abs(qBlue(p) - qBlue(q)), std::abs(qAlpha(p) - qAlpha(q))});
        }
    return worst;
}

} // namespace

TEST(Pixellate, CheckerboardGivesExactBlockAverages) {
    const QImage board = checkerboard(QSize(64, 48), 8);
    const QImage out = pixellate(board, board.rect(), 16);
    // Every 16 × 16 block is half white: 127.5 rounds to 128.
    for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 64; ++x)
            ASSERT_EQ(out.pixel(x, y), qRgb(128, 128, 128)) << x << "," << y;
    // Blocks aligned with the squares keep them.
    EXPECT_EQ(pixellate(board, board.rect(), 8), board);
    EXPECT_EQ(pixellate(board, board.rect(), 1), board);
}

TEST(Pixellate, GridIsAnchoredInTheImageAndEdgeBlocksAverageWhatIsInside) {
    const QImage board = checkerboard(QSize(61, 45), 5);
    const QImage whole = pixellate(board, board.rect(), 12);
    EXPECT_EQ(whole, reference::pixellate(board, board.rect(), 12));
    // A tile cut anywhere equals the same part of the whole image's result.
    const QRect tile(7, 13, 31, 29);
    EXPECT_EQ(pixellate(board, tile, 12), whole.copy(tile));
    const QRect corner(50, 40, 11, 5);
    EXPECT_EQ(pixellate(board, corner, 12), whole.copy(corner));
}

TEST(Pixellate, DegenerateInput) {
    const QImage one = flat(QSize(1, 1), 0xff336699u);
    EXPECT_EQ(pixellate(one, one.rect(), 24), one);
    EXPECT_TRUE(pixellate(one, QRect(5, 5, 10, 10), 24).isNull());
    EXPECT_TRUE(pixellate(QImage(), QRect(0, 0, 10, 10), 24).isNull());
    EXPECT_TRUE(pixellate(one, QRect(0, 0, 0, 0), 24).isNull());
    // Block sizes below one are one; larger than the image, one average.
    const QImage board = checkerboard(QSize(10, 10), 5);
    EXPECT_EQ(pixellate(board, board.rect(), -3), board);
    const QImage mean = pixellate(board, board.rect(), 1 << 30);
    EXPECT_EQ(mean.pixel(0, 0), mean.pixel(9, 9));
    EXPECT_EQ(mean.pixel(0, 0), qRgb(128, 128, 128));
    // Straight, not premultiplied, input is converted first.
    const QImage straight = flat(QSize(8, 8), 0x80ff0000u).convertToFormat(QImage::Format_ARGB32);
    EXPECT_EQ(pixellate(straight, straight.rect(), 4).format(),
              QImage::Format_ARGB32_Premultiplied);
}

TEST(GaussianBlur, FlatColourStaysFlatUpToTheEdges) {
    for (QRgb colour : {0xff000000u, 0xffffffffu, 0xffc86432u, 0x80402010u}) {
        const QImage image = flat(QSize(90, 70), colour);
        for (double sigma : {1.0, 5.0, 24.0, 150.0}) {
            const QImage out = gaussianBlur(image, image.rect(), sigma);
            ASSERT_EQ(out.size(), image.size());
            EXPECT_EQ(out, image) << std::hex << colour << " sigma " << sigma;
            // Tiles at the corners too.
            EXPECT_EQ(gaussianBlur(image, QRect(80, 60, 30, 30), sigma),
                      image.copy(80, 60, 10, 10));
        }
    }
}

TEST(GaussianBlur, StepEdgeIsSymmetric) {
    QImage step = flat(QSize(100, 20), 0xff000000u);
    QPainter(&step).fillRect(QRect(50, 0, 50, 20), Qt::white);
    const QImage out = gaussianBlur(step, step.rect(), 6);
    for (int d = 0; d < 50; ++d) {
        const int left = qRed(out.pixel(49 - d, 10));
        const int right = qRed(out.pixel(50 + d, 10));
        EXPECT_NEAR(left + right, 255, 1) << d;
        EXPECT_LE(left, right);
    }
    // Far from the edge the sides keep their colour; near it they blend.
    EXPECT_EQ(qRed(out.pixel(0, 10)), 0);
    EXPECT_EQ(qRed(out.pixel(99, 10)), 255);
    EXPECT_GT(qRed(out.pixel(49, 10)), 80);
    // Rows are all alike: the vertical passes see a uniform column.
    EXPECT_EQ(out.copy(0, 0, 100, 1), out.copy(0, 19, 100, 1));
}

TEST(GaussianBlur, CloseToATrueGaussian) {
    const QImage board = checkerboard(QSize(80, 60), 7);
    // Privacy blurs use radii of 12 pixels and more; three boxes are close
    // to a Gaussian from a few pixels up.
    for (double sigma : {4.5, 9.0, 16.0}) {
        const QRect area(10, 5, 50, 40);
        const int worst = maxDifference(gaussianBlur(board, area, sigma),
                                        reference::gaussianBlur(board, area, sigma));
        EXPECT_LE(worst, 3) << sigma;
    }
}

TEST(GaussianBlur, DegenerateInput) {
    const QImage one = flat(QSize(1, 1), 0xff336699u);
    EXPECT_EQ(gaussianBlur(one, one.rect(), 24), one);
    const QImage board = checkerboard(QSize(20, 20), 3);
    EXPECT_EQ(gaussianBlur(board, board.rect(), 0), board);
    EXPECT_EQ(gaussianBlur(board, board.rect(), -5), board);
    EXPECT_EQ(gaussianBlur(board, board.rect(), std::numeric_limits<double>::quiet_NaN()), board);
    EXPECT_TRUE(gaussianBlur(board, QRect(30, 30, 5, 5), 3).isNull());
    // An enormous radius is bounded: the result is the image's average.
    const QImage huge = gaussianBlur(board, board.rect(), 1e12);
    ASSERT_EQ(huge.size(), board.size());
    EXPECT_NEAR(qRed(huge.pixel(0, 0)), qRed(huge.pixel(19, 19)), 2);
    const QImage inf = gaussianBlur(board, board.rect(), std::numeric_limits<double>::infinity());
    EXPECT_EQ(inf, board);
}

TEST(GaussianBlur, BoxRadiiMatchTheVariance) {
    for (double sigma : {0.8, 1.0, 3.0, 12.0, 24.0, 48.0, 100.0}) {
        const auto radii = boxRadiiForGaussian(sigma);
        double variance = 0;
        for (int r : radii)
            variance += ((2.0 * r + 1) * (2.0 * r + 1) - 1) / 12;
        EXPECT_NEAR(std::sqrt(variance), sigma, 0.5) << sigma;
    }
    EXPECT_EQ(boxRadiiForGaussian(0), (std::array<int, 3>{0, 0, 0}));
}
