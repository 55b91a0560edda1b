#include "longcaptureaxis.h"

#include <cstring>

namespace korvel {
namespace {

// The source in the common format without copying when it already is.
std::optional<QImage> inCommonFormat(const QImage& image) {
    if (image.isNull())
        return std::nullopt;
    QImage converted =
        image.format() == longCaptureFormat ? image : image.convertToFormat(longCaptureFormat);
    if (converted.isNull())
        return std::nullopt;
    return converted;
}

const quint32* row(const QImage& image, int y) {
    return reinterpret_cast<const quint32*>(image.constScanLine(y));
}

// Quarter turns by hand: exact, and the direction reads off the index maths.
std::optional<QImage> quarterTurn(const QImage& image, bool clockwise) {
    auto source = inCommonFormat(image);
    if (!source)
        return std::nullopt;
    const int w = source->width();
    const int h = source->height();
    QImage out(h, w, longCaptureFormat);
    if (out.isNull())
        return std::nullopt;
    for (int y = 0; y < w; ++y) {
        auto* dst = reinterpret_cast<quint32*>(out.scanLine(y));
        if (clockwise) {
            // Output row y is source column y read from the bottom up.
            for (int x = 0; x < h; ++x)
                dst[x] = row(*source, h - 1 - x)[y];
        } else {
            // Output row y is source column w-1-y read from the top down.
            for (int x = 0; x < h; ++x)
                dst[x] = row(*source, x)[w - 1 - y];
        }
    }
    return out;
}

} // namespace

std::optional<QImage> normalize(LongCaptureAxis axis, const QImage& image) {
    if (axis == LongCaptureAxis::vertical)
        return image.isNull() ? std::nullopt : std::optional(image);
    return quarterTurn(image, true);
}

std::optional<QImage> restore(LongCaptureAxis axis, const QImage& image) {
    if (axis == LongCaptureAxis::vertical)
        return image.isNull() ? std::nullopt : std::optional(image);
    return quarterTurn(image, false);
}

std::optional<QImage> LongCaptureCrop::apply(const QImage& image) const {
    const int h = image.height();
    if (image.isNull() || leading < 0 || trailing < 0 || leading >= h || trailing >= h - leading)
        return std::nullopt;
    // Nothing to cut: the image itself, not a second copy of a long image
    // while the first is still held.
    if (leading == 0 && trailing == 0 && image.format() == longCaptureFormat)
        return image;
    return copiedCrop(image, QRect(0, leading, image.width(), h - leading - trailing));
}

std::optional<QImage> reversedScrollImage(const QImage& image) {
    auto source = inCommonFormat(image);
    if (!source)
        return std::nullopt;
    const int w = source->width();
    const int h = source->height();
    QImage out(w, h, longCaptureFormat);
    if (out.isNull())
        return std::nullopt;
    for (int y = 0; y < h; ++y) {
        const quint32* src = row(*source, h - 1 - y);
        auto* dst = reinterpret_cast<quint32*>(out.scanLine(y));
        for (int x = 0; x < w; ++x)
            dst[x] = src[w - 1 - x];
    }
    return out;
}

std::optional<QImage> copiedCrop(const QImage& image, const QRect& rect) {
    if (image.isNull() || rect.isEmpty() || !image.rect().contains(rect))
        return std::nullopt;
    // Convert only the rows we need: a slice of a 4K frame is a tenth of it.
    if (image.format() == longCaptureFormat) {
        QImage out(rect.size(), longCaptureFormat);
        if (out.isNull())
            return std::nullopt;
        const size_t bytes = size_t(rect.width()) * 4;
        for (int y = 0; y < rect.height(); ++y)
            std::memcpy(out.scanLine(y), row(image, rect.y() + y) + rect.x(), bytes);
        return out;
    }
    QImage converted = image.copy(rect).convertToFormat(longCaptureFormat);
    if (converted.isNull() || converted.size() != rect.size())
        return std::nullopt;
    return converted;
}

} // namespace korvel
