// The frame buffer and stream between two threads; CI also runs these under ThreadSanitizer.
#include "longshot/longframestream.h"
#include "platform/fake/fakewindowstream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace korvel {
namespace {

// A window image whose every pixel tells its own coordinates and the stamp.
QImage window(int width, int height, int stamp = 0) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x % 256, y % 256, stamp % 256);
    }
    return image;
}

// One colour that tells `shade` up to 65,535 in its red and green.
QImage filled(int width, int height, int shade) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    image.fill(qRgb(shade % 256, (shade / 256) % 256, 7));
    return image;
}

TEST(FrameBuffer, RepeatsOfTheLastAcceptedFrameAreIgnored) {
    LongFrameBuffer buffer;
    const QImage a = filled(40, 30, 1);
    // Another generation is another capture: queued again.
    for (const int generation : {1, 1, 2})
        buffer.append({a.copy(), generation});
    EXPECT_EQ(buffer.count(), 2);
    // The comparison is with the last accepted frame even after it was taken.
    ASSERT_TRUE(buffer.takeFirst());
    ASSERT_TRUE(buffer.takeFirst());
    buffer.append({a, 2});
    EXPECT_EQ(buffer.count(), 0);
    EXPECT_FALSE(buffer.takeDropped());
    // A different size or a single changed pixel is new; a reset forgets the last frame.
    QImage changed = filled(41, 30, 1);
    buffer.append({changed, 2});
    changed.setPixel(40, 29, qRgb(9, 9, 9));
    buffer.append({changed, 2});
    EXPECT_EQ(buffer.count(), 2);
    buffer.reset();
    buffer.append({changed, 2});
    EXPECT_EQ(buffer.count(), 1);
}

// The bound in count and the order are Stream.FastProducerSlowConsumer's.
TEST(FrameBuffer, BoundedInBytesAndReportsTheLossOnce) {
    LongFrameBuffer buffer;
    // 4 MiB each: sixteen fill the budget exactly, the seventeenth passes it.
    for (int i = 0; i < 17; ++i)
        buffer.append({filled(1024, 1024, i), 0});
    EXPECT_EQ(buffer.count(), 16);
    EXPECT_EQ(buffer.bytes(), LongFrameBuffer::maximumBytes);
    EXPECT_TRUE(buffer.takeDropped());
    EXPECT_FALSE(buffer.takeDropped());
    ASSERT_TRUE(buffer.takeFirst());
    EXPECT_EQ(buffer.bytes(), LongFrameBuffer::maximumBytes - 4 * 1024 * 1024);
    buffer.reset();

    // A first frame over the budget is still taken, alone.
    buffer.append({filled(4200, 4200, 1), 0}); // about 67 MiB
    EXPECT_EQ(buffer.count(), 1);
    EXPECT_GT(buffer.bytes(), LongFrameBuffer::maximumBytes);
    buffer.append({filled(1, 1, 2), 0});
    EXPECT_EQ(buffer.count(), 1);
    EXPECT_TRUE(buffer.takeDropped());
}

struct Stream : ::testing::Test {
    fake::WindowStream* source = nullptr;
    std::unique_ptr<LongFrameStream> stream;

    void SetUp() override {
        auto fake = std::make_unique<fake::WindowStream>();
        source = fake.get();
        stream = std::make_unique<LongFrameStream>(std::move(fake));
        stream->start({});
    }
    void deliver(const QImage& image, bool complete = true) {
        source->deliver(image, complete);
        stream->flush();
    }
    void configure(QRect crop, qint64 generation, bool accepting = true,
                   LongCaptureAxis axis = LongCaptureAxis::vertical) {
        stream->configure(crop, axis, generation, accepting);
        stream->flush();
    }
};

TEST_F(Stream, ConvertsCompleteFramesToTheRegionAndAxis) {
    // Not accepting yet: nothing is converted.
    deliver(window(200, 100));
    EXPECT_EQ(stream->queuedCount(), 0);
    // Accepting a region converts the latest window image at once.
    configure(QRect(10, 20, 50, 30), 3);
    ASSERT_EQ(stream->queuedCount(), 1);
    auto frame = stream->takeFrame();
    EXPECT_EQ(frame->image.size(), QSize(50, 30));
    EXPECT_EQ(frame->image.pixel(0, 0), qRgb(10, 20, 0));
    // The same settings again neither reset nor convert anew; incomplete frames are skipped.
    deliver(window(200, 100, 1));
    configure(QRect(10, 20, 50, 30), 3);
    deliver(window(200, 100, 2), false);
    EXPECT_EQ(stream->queuedCount(), 1);
    // A horizontal capture turns the region a quarter clockwise.
    configure(QRect(10, 20, 50, 30), 3, true, LongCaptureAxis::horizontal);
    ASSERT_EQ(stream->queuedCount(), 1);
    frame = stream->takeFrame();
    EXPECT_EQ(frame->image.size(), QSize(30, 50));
    EXPECT_EQ(frame->image.pixel(0, 0), qRgb(10, 49, 1));
}

TEST_F(Stream, CropOutsideTheWindowIsAConversionFailure) {
    configure(QRect(180, 0, 40, 40), 1, false);
    deliver(window(200, 100));
    EXPECT_FALSE(stream->failure()) << "not accepting: no failure";
    configure(QRect(180, 0, 40, 40), 1);
    EXPECT_EQ(stream->queuedCount(), 0);
    const auto failure = stream->failure();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->domain(), QStringLiteral("Dastra"));
    EXPECT_EQ(failure->code(), 6);
    EXPECT_EQ(failure->description(), QStringLiteral("无法转换滚动区域的视频帧，请重新选择区域。"));
}

TEST_F(Stream, StreamErrorsAndStopping) {
    configure(QRect(0, 0, 100, 50), 1);
    deliver(window(200, 100));
    deliver(window(200, 100, 1));
    EXPECT_EQ(stream->queuedCount(), 2);
    stream->stop();
    EXPECT_EQ(source->stops, 1);
    EXPECT_EQ(stream->queuedCount(), 0);
    // Nothing reaches the buffer after the stop, not even by reconverting.
    deliver(window(200, 100, 5));
    EXPECT_EQ(stream->queuedCount(), 0);
    stream->stop();
    EXPECT_EQ(source->stops, 1);

    // Refused or missing streams do not start; one failing later is
    // LongCapture.ALostSourceEndsTheCaptureButKeepsTheImage's.
    auto refusing = std::make_unique<fake::WindowStream>();
    refusing->startError = Error(QStringLiteral("Korvel"), 2, QStringLiteral("窗口已关闭"));
    EXPECT_THROW(LongFrameStream(std::move(refusing)).start({}), Error);
    EXPECT_THROW(LongFrameStream(nullptr).start({}), Error);
}

// A fast platform: bounded, loss reported, FIFO order, no old generation after reconfiguring.
TEST_F(Stream, FastProducerSlowConsumer) {
    stream->configure(QRect(0, 0, 256, 128), LongCaptureAxis::vertical, 1, true);
    std::atomic<bool> producing = true;
    std::atomic<int> delivered = 0;
    std::thread producer([&] {
        for (int i = 1; i <= 600; ++i) {
            source->deliver(filled(256, 128, i));
            ++delivered;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        producing = false;
    });

    // Nothing taken yet: the buffer fills to its bound and reports the loss.
    while (delivered < 100)
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    stream->flush();
    EXPECT_EQ(stream->queuedCount(), LongFrameBuffer::maximumCount);
    EXPECT_TRUE(stream->takeDropped());

    int taken = 0;
    int lastStamp = 0;
    bool reconfigured = false;
    bool firstAfterReconfiguring = false;
    while (producing || stream->queuedCount() > 0) {
        if (auto frame = stream->takeFrame()) {
            const QRgb p = frame->image.pixel(0, 0);
            const int stamp = qRed(p) + 256 * qGreen(p);
            // Reconverted for the new generation, the latest image may come twice.
            EXPECT_GE(stamp, lastStamp + (firstAfterReconfiguring ? 0 : 1)) << "out of order";
            firstAfterReconfiguring = false;
            lastStamp = stamp;
            EXPECT_EQ(frame->generation, reconfigured ? 2 : 1);
            ++taken;
        }
        if (!reconfigured && taken == 20) {
            stream->configure(QRect(0, 0, 256, 128), LongCaptureAxis::vertical, 2, true);
            reconfigured = firstAfterReconfiguring = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    producer.join();
    // The reconverted latest image may land only after the producer ended.
    stream->flush();
    while (auto frame = stream->takeFrame()) {
        EXPECT_EQ(frame->generation, 2);
        ++taken;
    }
    EXPECT_GT(taken, 20);
}

} // namespace
} // namespace korvel
