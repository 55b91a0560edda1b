#include "longshot/longframestream.h"
#include "platform/fake/fakewindowstream.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

namespace korvel {
namespace {

// A window image whose every pixel tells its own coordinates.
QImage window(int width, int height, int stamp = 0) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x)
            line[x] = qRgb(x % 256, y % 256, stamp % 256);
    }
    return image;
}

struct Stream : ::testing::Test {
    fake::WindowStream* source = nullptr;
    std::unique_ptr<LongFrameStream> stream;

    void SetUp() override {
        auto fake = std::make_unique<fake::WindowStream>();
        source = fake.get();
        stream = std::make_unique<LongFrameStream>(std::move(fake));
        WindowStreamConfiguration configuration;
        configuration.window = 42;
        configuration.size = QSize(200, 100);
        stream->start(configuration);
    }
    void deliver(const QImage& image, bool complete = true) {
        source->deliver(image, complete);
        stream->flush();
    }
};

TEST_F(Stream, ConvertsCompleteFramesToTheRegionAndAxis) {
    EXPECT_EQ(source->configuration.window, 42u);
    EXPECT_EQ(source->configuration.queueDepth, 6);
    EXPECT_EQ(source->configuration.minimumFrameInterval.count(), 1'000'000 / 60);

    // Not accepting yet: nothing is converted.
    deliver(window(200, 100));
    EXPECT_EQ(stream->queuedCount(), 0);

    // Accepting a region converts the latest window image at once.
    stream->configure(QRect(10, 20, 50, 30), LongCaptureAxis::vertical, 3, true);
    stream->flush();
    ASSERT_EQ(stream->queuedCount(), 1);
    auto frame = stream->takeFrame();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->generation, 3);
    EXPECT_EQ(frame->image.size(), QSize(50, 30));
    EXPECT_EQ(frame->image.pixel(0, 0), qRgb(10, 20, 0));

    // The same settings again neither reset nor convert anew.
    deliver(window(200, 100, 1));
    stream->configure(QRect(10, 20, 50, 30), LongCaptureAxis::vertical, 3, true);
    stream->flush();
    EXPECT_EQ(stream->queuedCount(), 1);

    // Incomplete frames are skipped.
    deliver(window(200, 100, 2), false);
    EXPECT_EQ(stream->queuedCount(), 1);

    // A horizontal capture turns the region a quarter clockwise.
    stream->configure(QRect(10, 20, 50, 30), LongCaptureAxis::horizontal, 3, true);
    stream->flush();
    ASSERT_EQ(stream->queuedCount(), 1);
    frame = stream->takeFrame();
    EXPECT_EQ(frame->image.size(), QSize(30, 50));
    EXPECT_EQ(frame->image.pixel(0, 0), qRgb(10, 49, 1));
    EXPECT_FALSE(stream->failure());
}

TEST_F(Stream, CropOutsideTheWindowIsAConversionFailure) {
    stream->configure(QRect(180, 0, 40, 40), LongCaptureAxis::vertical, 1, false);
    deliver(window(200, 100));
    EXPECT_FALSE(stream->failure()) << "not accepting: no failure";
    stream->configure(QRect(180, 0, 40, 40), LongCaptureAxis::vertical, 1, true);
    stream->flush();
    EXPECT_EQ(stream->queuedCount(), 0);
    const auto failure = stream->failure();
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->domain(), QStringLiteral("Dastra"));
    EXPECT_EQ(failure->code(), 6);
    EXPECT_EQ(failure->description(), QStringLiteral("无法转换滚动区域的视频帧，请重新选择区域。"));
}

TEST_F(Stream, StreamErrorsAndStopping) {
    stream->configure(QRect(0, 0, 100, 50), LongCaptureAxis::vertical, 1, true);
    deliver(window(200, 100));
    deliver(window(200, 100, 1));
    EXPECT_EQ(stream->queuedCount(), 2);

    source->fail(Error(QStringLiteral("Korvel"), 2, QStringLiteral("窗口已关闭")));
    stream->flush();
    ASSERT_TRUE(stream->failure());
    EXPECT_EQ(stream->failure()->description(), QStringLiteral("窗口已关闭"));

    stream->stop();
    EXPECT_EQ(source->stops, 1);
    EXPECT_EQ(stream->queuedCount(), 0);
    // Nothing reaches the buffer after the stop, not even by reconverting.
    deliver(window(200, 100, 5));
    stream->flush();
    EXPECT_EQ(stream->queuedCount(), 0);
    stream->stop();
    EXPECT_EQ(source->stops, 1);
}

TEST(StreamStart, PlatformRefusalIsThrown) {
    auto fake = std::make_unique<fake::WindowStream>();
    fake->startError =
        Error(QStringLiteral("Korvel"), 2, QStringLiteral("无法读取窗口画面（窗口已关闭）"));
    LongFrameStream stream(std::move(fake));
    EXPECT_THROW(stream.start({}), Error);
    LongFrameStream none(nullptr);
    EXPECT_THROW(none.start({}), Error);
}

// The producer (the platform, on the stream's queue) outpaces the consumer:
// the buffer stays within its bounds, reports the loss, keeps FIFO order,
// and a reconfiguration lets no frame of the old generation through.
TEST_F(Stream, FastProducerSlowConsumer) {
    constexpr int frames = 600;
    stream->configure(QRect(0, 0, 256, 128), LongCaptureAxis::vertical, 1, true);
    std::atomic<bool> producing = true;
    std::atomic<int> delivered = 0;
    std::thread producer([&] {
        for (int i = 1; i <= frames; ++i) {
            QImage image(256, 128, QImage::Format_ARGB32_Premultiplied);
            image.fill(qRgb(i % 256, i / 256, 0));
            source->deliver(image);
            ++delivered;
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        }
        producing = false;
    });

    // A consumer that has not taken anything yet while the producer runs on:
    // the buffer fills to its bound and reports the loss.
    int maximum = 0;
    while (delivered < 100) {
        maximum = std::max(maximum, stream->queuedCount());
        std::this_thread::sleep_for(std::chrono::microseconds(500));
    }
    stream->flush();
    EXPECT_EQ(stream->queuedCount(), LongFrameBuffer::maximumCount);
    EXPECT_TRUE(stream->takeDropped());

    int taken = 0;
    int lastStamp = 0;
    bool reconfigured = false;
    bool firstAfterReconfiguring = false;
    while (producing || stream->queuedCount() > 0) {
        maximum = std::max(maximum, stream->queuedCount());
        if (auto frame = stream->takeFrame()) {
            const QRgb p = frame->image.pixel(0, 0);
            const int stamp = qRed(p) + 256 * qGreen(p);
            // The latest window image is converted again for the new
            // generation, so it may come once more right after.
            if (firstAfterReconfiguring)
                EXPECT_GE(stamp, lastStamp) << "frames out of order";
            else
                EXPECT_GT(stamp, lastStamp) << "frames out of order";
            firstAfterReconfiguring = false;
            lastStamp = stamp;
            EXPECT_EQ(frame->generation, reconfigured ? 2 : 1);
            ++taken;
        }
        if (!reconfigured && taken == 20) {
            stream->configure(QRect(0, 0, 256, 128), LongCaptureAxis::vertical, 2, true);
            reconfigured = true;
            firstAfterReconfiguring = true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
    }
    producer.join();
    // However slow this thread was, the new region gets the latest window
    // image converted again; it may land only after the producer ended.
    stream->flush();
    while (auto frame = stream->takeFrame()) {
        EXPECT_EQ(frame->generation, 2);
        ++taken;
    }
    EXPECT_LE(maximum, LongFrameBuffer::maximumCount);
    EXPECT_GT(taken, 20);
}

} // namespace
} // namespace korvel
