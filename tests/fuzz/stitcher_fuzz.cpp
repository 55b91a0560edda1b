// The stitcher fed with frames built from the fuzz bytes: a small page of
// pixels from the data and frames that are views of it at offsets the data
// picks, now and then raw bytes or a frame of another size. Whatever comes,
// every offer ends in a result, and the long image keeps the size the
// stitcher reports.
#include "fuzzrequire.h"
#include "longshot/scrollstitcher.h"

#include <QImage>

#include <algorithm>
#include <cstdint>
#include <cstring>

using namespace korvel;

namespace {

struct Bytes {
    const std::uint8_t* data;
    std::size_t size;
    std::size_t at = 0;

    std::uint8_t next() { return size ? data[at++ % size] : 0; }
};

// Pixels from the data, repeated as needed; opaque unless asked otherwise,
// as frames from the screen are.
QImage pixels(Bytes& in, int width, int height, bool opaque) {
    QImage image(width, height, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < height; ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < width; ++x) {
            const int level = in.next();
            const int alpha = opaque ? 255 : in.next();
            // Premultiplied: no channel above alpha.
            const int c = level * alpha / 255;
            line[x] = qRgba(c, (c * 7 + y) % (alpha + 1), (c + x) % (alpha + 1), alpha);
        }
    }
    return image;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 6)
        return 0;
    Bytes in{data + 6, size - 6};
    const int width = 1 + data[0] % 48;
    const int height = 1 + data[1] % 64;
    const int frames = 1 + data[2] % 5;
    const bool opaque = !(data[3] & 1);
    const bool automaticCrop = data[3] & 2;
    // A budget from the first frame itself up to room for a few frames.
    const qint64 budget = qint64(width) * height * (1 + data[4] % 6);
    const int pageHeight = height + data[5] % 160;

    const QImage page = pixels(in, width, pageHeight, opaque);
    ScrollStitcher stitcher(page.copy(0, 0, width, height), budget);
    for (int i = 0; i < frames; ++i) {
        const std::uint8_t kind = in.next();
        QImage frame;
        if (kind % 8 == 0)
            frame = pixels(in, width, height, opaque);
        else if (kind % 8 == 1)
            frame = pixels(in, std::max(1, width - 1), height + 1, opaque);
        else
            frame = page.copy(0, in.next() % (pageHeight - height + 1), width, height);
        const int before = stitcher.height();
        const ScrollAppendResult result = stitcher.append(frame, automaticCrop);
        switch (result.kind) {
        case ScrollAppendResult::Kind::appended:
            require(result.rows > 0 && stitcher.height() == before + result.rows);
            break;
        case ScrollAppendResult::Kind::cropped:
            require(result.rows > 0 && stitcher.height() == before - result.rows);
            break;
        case ScrollAppendResult::Kind::unchanged:
        case ScrollAppendResult::Kind::unmatched:
        case ScrollAppendResult::Kind::limit:
            require(result.rows == 0 && stitcher.height() == before);
            break;
        }
        require(stitcher.height() >= height && stitcher.height() <= ScrollStitcher::maximumHeight);
    }
    const std::optional<QImage> image = stitcher.image();
    require(image && image->width() == width && image->height() == stitcher.height());
    const std::optional<QImage> preview = stitcher.image(true, 120);
    require(preview && !preview->isNull());
    return 0;
}
