#include "longshot/longframebuffer.h"

#include <gtest/gtest.h>

namespace korvel {
namespace {

QImage filled(int width, int height, int shade) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(shade % 256, (shade / 256) % 256, 7));
    return image;
}

TEST(FrameBuffer, RepeatsOfTheLastAcceptedFrameAreIgnored) {
    LongFrameBuffer buffer;
    const QImage a = filled(40, 30, 1);
    buffer.append({a, 1});
    buffer.append({a.copy(), 1});
    EXPECT_EQ(buffer.count(), 1);
    // Another generation is another capture: both are queued.
    buffer.append({a, 2});
    EXPECT_EQ(buffer.count(), 2);
    // The comparison is with the last accepted frame even after it was taken.
    ASSERT_TRUE(buffer.takeFirst());
    ASSERT_TRUE(buffer.takeFirst());
    buffer.append({a, 2});
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_FALSE(buffer.takeDropped());
    // A different size or a single changed pixel is new.
    buffer.append({filled(41, 30, 1), 2});
    QImage changed = filled(41, 30, 1);
    changed.setPixel(40, 29, qRgb(9, 9, 9));
    buffer.append({changed, 2});
    EXPECT_EQ(buffer.count(), 2);
    // A reset forgets the last frame.
    buffer.reset();
    buffer.append({changed, 2});
    EXPECT_EQ(buffer.count(), 1);
    EXPECT_EQ(buffer.bytes(), qint64(changed.bytesPerLine()) * 30);
}

TEST(FrameBuffer, RefusesTheTwentyFifthFrameAndReportsItOnce) {
    LongFrameBuffer buffer;
    for (int i = 0; i < 25; ++i)
        buffer.append({filled(16, 16, i), 0});
    EXPECT_EQ(buffer.count(), 24);
    EXPECT_TRUE(buffer.takeDropped());
    EXPECT_FALSE(buffer.takeDropped());
    // Oldest first; room again after taking one.
    EXPECT_EQ(buffer.takeFirst()->image.pixel(0, 0), filled(1, 1, 0).pixel(0, 0));
    buffer.append({filled(16, 16, 99), 0});
    EXPECT_EQ(buffer.count(), 24);
    EXPECT_FALSE(buffer.takeDropped());
    buffer.reset();
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_EQ(buffer.bytes(), 0);
    EXPECT_FALSE(buffer.takeFirst());
}

TEST(FrameBuffer, BoundedBySixtyFourMebibytesExceptForAFirstHugeFrame) {
    LongFrameBuffer buffer;
    // 4 MiB each: sixteen fill the budget exactly, the seventeenth passes it.
    for (int i = 0; i < 17; ++i)
        buffer.append({filled(1024, 1024, i), 0});
    EXPECT_EQ(buffer.count(), 16);
    EXPECT_EQ(buffer.bytes(), LongFrameBuffer::maximumBytes);
    EXPECT_TRUE(buffer.takeDropped());
    ASSERT_TRUE(buffer.takeFirst());
    EXPECT_EQ(buffer.bytes(), LongFrameBuffer::maximumBytes - 4 * 1024 * 1024);

    LongFrameBuffer empty;
    const QImage huge = filled(4200, 4200, 1); // about 67 MiB
    empty.append({huge, 0});
    EXPECT_EQ(empty.count(), 1);
    EXPECT_GT(empty.bytes(), LongFrameBuffer::maximumBytes);
    empty.append({filled(1, 1, 2), 0});
    EXPECT_EQ(empty.count(), 1);
    EXPECT_TRUE(empty.takeDropped());
}

} // namespace
} // namespace korvel
