#pragma once

#include <QImage>
#include <QRect>

#include <cstddef>
#include <memory>
#include <optional>

namespace korvel {

// Storage for the stitcher's slices. Each append adds a slice of about a
// megabyte that is written once and kept; from the general heap every page of
// it faults in separately, which costs more than the copy itself. Slices are
// carved one after another out of large blocks advised for huge pages, so a
// frame touches one or two pages. A block lives until the last image carved
// from it is gone, so slices can be shared and outlive the arena.
class SliceArena {
public:
    static constexpr size_t blockBytes = size_t(32) << 20;

    // A deep copy of `rect` of an image in the long capture format, in arena
    // memory; other formats and failures fall back to `copiedCrop`.
    std::optional<QImage> copy(const QImage& image, const QRect& rect);

private:
    struct Block;
    struct Slice;

    std::shared_ptr<Block> block_;
};

} // namespace korvel
