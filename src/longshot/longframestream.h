#pragma once

#include "longcaptureaxis.h"
#include "longframebuffer.h"
#include "platform/error.h"
#include "platform/serialqueue.h"
#include "platform/windowstream.h"

#include <QRect>

#include <memory>
#include <mutex>
#include <optional>

namespace korvel {

// The live frames of one long capture: the platform streams the source
// window onto a serial worker, where every complete frame is cut to the
// region, normalised for the axis and queued in a bounded buffer for the
// stitching loop. Frames are stamped with the generation they were converted
// under, so a reconfiguration never lets an old region's frame through.
class LongFrameStream {
public:
    static constexpr char queueLabel[] = "local.dastra.long-capture.frames";

    explicit LongFrameStream(std::unique_ptr<WindowStream> source);
    ~LongFrameStream();

    LongFrameStream(const LongFrameStream&) = delete;
    LongFrameStream& operator=(const LongFrameStream&) = delete;

    // `crop` is in window pixels, origin at the window's top-left corner.
    // A new region, axis or generation empties the buffer and, when
    // accepting, converts the latest window image again at once, so a new
    // region gets its first frame even while the screen stands still.
    void configure(const QRect& crop, LongCaptureAxis axis, qint64 generation, bool accepting);
    // Throws korvel::Error when the platform stream cannot start.
    void start(WindowStreamConfiguration configuration);
    // Ends the stream; the buffer is empty afterwards and frames converted
    // before cannot enter it.
    void stop();
    // Returns after every conversion queued before it has finished.
    void flush();

    int queuedCount() const;
    std::optional<LongCaptureFrame> takeFrame();
    bool takeDropped();
    std::optional<Error> failure() const;

private:
    void deliver(const WindowFrame& frame);
    void stoppedWithError(const Error& error);
    void convert(const QImage& window, const QRect& area);
    void invalidate();

    // Guards every field up to `failure_`. Never held while converting, or
    // the stitching loop would stall behind a 4K crop and rotation.
    mutable std::mutex lock_;
    LongFrameBuffer buffer_;
    QRect crop_;
    LongCaptureAxis axis_ = LongCaptureAxis::vertical;
    qint64 generation_ = 0;
    bool accepting_ = false;
    std::optional<Error> failure_;

    // Touched by the owner's thread only (start, stop).
    std::unique_ptr<WindowStream> stream_;
    bool running_ = false;
    // The most recent complete frame and what it shows (empty: the whole
    // window); touched on the queue only.
    QImage latest_;
    QRect latestArea_;
    // Declared last so that its thread ends before the state its jobs use.
    SerialQueue queue_;
};

} // namespace korvel
