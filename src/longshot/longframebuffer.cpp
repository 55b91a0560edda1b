#include "longframebuffer.h"

#include <cstring>

namespace korvel {
namespace {

qint64 imageBytes(const QImage& image) {
    return qint64(image.bytesPerLine()) * image.height();
}

// Pixel rows only: padding at the end of a row may hold anything.
bool samePixels(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.format() != b.format())
        return false;
    const size_t rowBytes = size_t(a.width()) * size_t(a.depth()) / 8;
    for (int y = 0; y < a.height(); ++y) {
        if (std::memcmp(a.constScanLine(y), b.constScanLine(y), rowBytes) != 0)
            return false;
    }
    return true;
}

} // namespace

void LongFrameBuffer::append(LongCaptureFrame frame) {
    const QImage& image = frame.image;
    const QSizeF size(image.width(), image.height());
    if (lastGeneration_ && *lastGeneration_ == frame.generation && lastSize_ == size &&
        !image.isNull() && lastPixels_ && samePixels(*lastPixels_, image))
        return;
    if (frames_.size() >= size_t(maximumCount)) {
        dropped_ = true;
        return;
    }
    // An empty buffer takes a frame of any size, or a huge region would
    // never get a frame at all.
    const qint64 frameBytes = imageBytes(image);
    if (!frames_.empty() && bytes_ + frameBytes > maximumBytes) {
        dropped_ = true;
        return;
    }
    lastPixels_ = image.isNull() ? std::nullopt : std::optional(image);
    lastGeneration_ = frame.generation;
    lastSize_ = size;
    bytes_ += frameBytes;
    frames_.push_back(std::move(frame));
}

std::optional<LongCaptureFrame> LongFrameBuffer::takeFirst() {
    if (frames_.empty())
        return std::nullopt;
    LongCaptureFrame frame = std::move(frames_.front());
    frames_.pop_front();
    bytes_ -= imageBytes(frame.image);
    return frame;
}

bool LongFrameBuffer::takeDropped() {
    const bool was = dropped_;
    dropped_ = false;
    return was;
}

void LongFrameBuffer::reset() {
    frames_.clear();
    bytes_ = 0;
    dropped_ = false;
    lastPixels_.reset();
    lastGeneration_.reset();
    lastSize_ = QSizeF();
}

} // namespace korvel
