#include "longframestream.h"

namespace korvel {
namespace {

Error conversionError() {
    return Error(QStringLiteral("Dastra"), 6,
                 QStringLiteral("无法转换滚动区域的视频帧，请重新选择区域。"));
}

} // namespace

LongFrameStream::LongFrameStream(std::unique_ptr<WindowStream> source)
    : stream_(std::move(source))
    , queue_(QString::fromLatin1(queueLabel)) {}

LongFrameStream::~LongFrameStream() {
    stop();
}

void LongFrameStream::configure(const QRect& crop, LongCaptureAxis axis, qint64 generation,
                                bool accepting) {
    bool reconvert = false;
    {
        std::lock_guard guard(lock_);
        const bool changed = crop != crop_ || axis != axis_ || generation != generation_;
        const bool wasAccepting = accepting_;
        crop_ = crop;
        axis_ = axis;
        generation_ = generation;
        accepting_ = accepting;
        if (changed)
            buffer_.reset();
        reconvert = accepting && (changed || !wasAccepting);
    }
    // A stream that reads parts reads the new area at once, and nothing
    // while paused.
    if (stream_)
        stream_->setArea(crop, accepting);
    // The queue is ours and joined before we go, so `this` outlives the job.
    if (reconvert) {
        queue_.post([this] {
            if (!latest_.isNull())
                convert(latest_, latestArea_);
        });
    }
}

void LongFrameStream::start(WindowStreamConfiguration configuration) {
    if (!stream_) {
        throw Error(QStringLiteral("Dastra"), 4,
                    QStringLiteral("目标窗口尚未准备好，请取消后重新选择。 "));
    }
    configuration.minimumFrameInterval = std::chrono::microseconds(1'000'000 / 60);
    configuration.queueDepth = 6;
    stream_->start(
        configuration, queue_, [this](const WindowFrame& frame) { deliver(frame); },
        [this](const Error& error) { stoppedWithError(error); });
    running_ = true;
}

void LongFrameStream::invalidate() {
    std::lock_guard guard(lock_);
    accepting_ = false;
    ++generation_;
    buffer_.reset();
}

void LongFrameStream::stop() {
    invalidate();
    if (running_) {
        stream_->stop();
        running_ = false;
    }
    queue_.post([this] {
        latest_ = QImage();
        latestArea_ = QRect();
    });
}

void LongFrameStream::flush() {
    queue_.sync();
}

int LongFrameStream::queuedCount() const {
    std::lock_guard guard(lock_);
    return buffer_.count();
}

std::optional<LongCaptureFrame> LongFrameStream::takeFrame() {
    std::lock_guard guard(lock_);
    return buffer_.takeFirst();
}

bool LongFrameStream::takeDropped() {
    std::lock_guard guard(lock_);
    return buffer_.takeDropped();
}

std::optional<Error> LongFrameStream::failure() const {
    std::lock_guard guard(lock_);
    return failure_;
}

void LongFrameStream::deliver(const WindowFrame& frame) {
    if (!frame.complete || frame.image.isNull())
        return;
    latest_ = frame.image;
    latestArea_ = frame.area;
    convert(latest_, latestArea_);
}

void LongFrameStream::stoppedWithError(const Error& error) {
    std::lock_guard guard(lock_);
    failure_ = error;
}

void LongFrameStream::convert(const QImage& window, const QRect& area) {
    QRect crop;
    LongCaptureAxis axis = LongCaptureAxis::vertical;
    qint64 generation = 0;
    {
        std::lock_guard guard(lock_);
        if (!accepting_ || crop_.isEmpty())
            return;
        crop = crop_;
        axis = axis_;
        generation = generation_;
    }

    // Window images have their origin at the top-left, like the crop, so
    // the rectangle needs no flipping. A frame of just the area is the crop
    // already; one read for an earlier area is stale.
    std::optional<QImage> image;
    if (!area.isEmpty()) {
        if (area != crop)
            return;
        image = normalize(axis, window);
    } else if (window.rect().contains(crop)) {
        if (auto cut = copiedCrop(window, crop))
            image = normalize(axis, *cut);
    }

    std::lock_guard guard(lock_);
    if (!image) {
        if (accepting_ && generation_ == generation)
            failure_ = conversionError();
        return;
    }
    if (generation_ == generation && crop_ == crop && axis_ == axis)
        buffer_.append({std::move(*image), generation});
}

} // namespace korvel
