#include "longshot/longcaptureaxis.h"
#include "longshot/longdocument.h"
#include "longshot/slicearena.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace korvel {
namespace {

bool sameRows(const QImage& slice, const QImage& source, int firstRow) {
    if (slice.format() != longCaptureFormat || slice.width() != source.width())
        return false;
    for (int y = 0; y < slice.height(); ++y) {
        if (std::memcmp(slice.constScanLine(y), source.constScanLine(firstRow + y),
                        size_t(slice.width()) * 4) != 0)
            return false;
    }
    return true;
}

// Slices span several blocks, outlive the arena, and survive their
// neighbours being released in any order.
TEST(SliceArena, SlicesStayExactAcrossBlocksAndReleases) {
    const QImage page = scenes::longDocument(1000, 3000, 5).convertToFormat(longCaptureFormat);
    std::vector<QImage> slices;
    {
        SliceArena arena;
        // 1000 × 997 × 4 bytes each: about 4 MB, so 40 of them fill several
        // blocks, and the odd row count leaves slices unaligned to pages.
        for (int n = 0; n < 40; ++n) {
            auto slice = arena.copy(page, QRect(0, n * 50, 1000, 997));
            ASSERT_TRUE(slice);
            slices.push_back(*slice);
        }
    }
    for (size_t n = 1; n < slices.size(); n += 2)
        slices[n] = QImage(); // every other one dies, the arena already gone
    for (size_t n = 0; n < slices.size(); n += 2)
        EXPECT_TRUE(sameRows(slices[n], page, int(n) * 50)) << n;

    // Writing into a copy must not reach the other slices or the source.
    QImage written = slices[0];
    written.fill(Qt::red);
    EXPECT_TRUE(sameRows(slices[0], page, 0));
    EXPECT_TRUE(sameRows(slices[2], page, 100));
}

TEST(SliceArena, OddInputFallsBackOrFails) {
    SliceArena arena;
    const QImage rgb = scenes::longDocument(200, 400, 1).convertToFormat(QImage::Format_RGB888);
    auto converted = arena.copy(rgb, QRect(10, 20, 100, 50));
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->format(), longCaptureFormat);
    EXPECT_EQ(converted->pixel(0, 0), rgb.pixel(10, 20));

    const QImage page = rgb.convertToFormat(longCaptureFormat);
    EXPECT_FALSE(arena.copy(page, QRect(0, 390, 200, 20))); // past the bottom
    EXPECT_FALSE(arena.copy(page, QRect(0, 0, 0, 10)));
    EXPECT_FALSE(arena.copy(QImage(), QRect(0, 0, 1, 1)));
    // Bigger than a block: gets a block of its own.
    QImage tall(2000, 5000, longCaptureFormat);
    ASSERT_FALSE(tall.isNull());
    tall.fill(Qt::blue);
    auto whole = arena.copy(tall, tall.rect());
    ASSERT_TRUE(whole);
    EXPECT_EQ(whole->size(), tall.size());
}

} // namespace
} // namespace korvel
