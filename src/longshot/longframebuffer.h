#pragma once

#include <QImage>
#include <QSizeF>

#include <deque>
#include <optional>

namespace korvel {

// One frame of a long capture, cut to the region and normalised for the
// axis, stamped with the generation it was converted under.
struct LongCaptureFrame {
    QImage image;
    qint64 generation = 0;
};

// The bounded FIFO between the frame stream and the stitching loop. It never
// blocks the producer: when full, the new frame is lost and `dropped` tells
// the consumer. Not synchronised itself; the stream guards it with its lock.
class LongFrameBuffer {
public:
    static constexpr int maximumCount = 24;
    static constexpr qint64 maximumBytes = qint64(64) * 1024 * 1024;

    // Queues the frame unless it repeats the last accepted one byte for byte
    // (same generation and size), or the buffer is full.
    void append(LongCaptureFrame frame);
    // The oldest frame, removed from the queue.
    std::optional<LongCaptureFrame> takeFirst();
    // Whether a frame was refused since the last call.
    bool takeDropped();
    void reset();

    int count() const { return int(frames_.size()); }
    qint64 bytes() const { return bytes_; }

private:
    std::deque<LongCaptureFrame> frames_; // oldest first
    qint64 bytes_ = 0;                    // bytes-per-row × height over the queue
    bool dropped_ = false;
    // The last accepted frame, remembered even after the consumer took it.
    // Frames are never written to once queued, so sharing the image is as
    // good as copying its pixels.
    std::optional<QImage> lastPixels_;
    std::optional<qint64> lastGeneration_;
    QSizeF lastSize_;
};

} // namespace korvel
