#pragma once

#include <QImage>
#include <QRect>

#include <optional>

namespace korvel {

// Every image the long capture creates (crops, rotations, compositions) is a
// fresh 8-bit premultiplied bitmap in this format; the stitcher's slices and
// the composed image share it so composing is a plain row copy.
inline constexpr QImage::Format longCaptureFormat = QImage::Format_ARGB32_Premultiplied;

// The stitcher only knows "content enters at the bottom"; a horizontal capture
// is turned a quarter so that its new columns become new rows.
enum class LongCaptureAxis { vertical, horizontal };

// Rotates a horizontal frame 90 degrees clockwise (the left column becomes
// the top row); vertical frames come back as they are. Nothing when the
// bitmap cannot be created.
std::optional<QImage> normalize(LongCaptureAxis axis, const QImage& image);
// The exact inverse of normalize.
std::optional<QImage> restore(LongCaptureAxis axis, const QImage& image);

// Rows cut from the two ends of a long image, in stitching orientation: for a
// horizontal capture they are the left and right ends.
struct LongCaptureCrop {
    int leading = 0;
    int trailing = 0;

    // Nothing when either edge is negative or together they leave no row.
    std::optional<QImage> apply(const QImage& image) const;

    friend bool operator==(const LongCaptureCrop&, const LongCaptureCrop&) = default;
};

// A new image of the same size turned by 180 degrees.
std::optional<QImage> reversedScrollImage(const QImage& image);

// A deep copy of `rect` in its own bitmap of exactly that size. Nothing when
// the rectangle is empty or not wholly inside the image, or on allocation
// failure.
std::optional<QImage> copiedCrop(const QImage& image, const QRect& rect);

} // namespace korvel
