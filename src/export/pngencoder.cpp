#include "pngencoder.h"

#include <spng.h>

#include <cstdlib>
#include <memory>
#include <vector>

namespace korvel {
namespace {

struct ContextDeleter {
    void operator()(spng_ctx* ctx) const { spng_ctx_free(ctx); }
};

} // namespace

bool isOpaqueImage(const QImage& image) {
    if (!image.hasAlphaChannel())
        return true;
    // Both 32-bit ARGB layouts keep alpha in the top byte; others convert.
    const bool direct = image.format() == QImage::Format_ARGB32 ||
                        image.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage argb = direct ? image : image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < argb.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(argb.constScanLine(y));
        for (int x = 0; x < argb.width(); ++x) {
            if ((line[x] >> 24) != 0xff)
                return false;
        }
    }
    return true;
}

std::optional<QByteArray> encodePng(const QImage& source) {
    if (source.isNull())
        return std::nullopt;
    const bool opaque = isOpaqueImage(source);
    // Opaque rows are converted one at a time while encoding, which saves a
    // whole second copy of the image; others are converted up front to
    // straight RGBA. Opaque 32-bit ARGB already reads as RGB32, premultiplied
    // or not: converting it would copy a long image whole for nothing.
    const bool rgb32 = source.format() == QImage::Format_RGB32 ||
                       source.format() == QImage::Format_ARGB32 ||
                       source.format() == QImage::Format_ARGB32_Premultiplied;
    const QImage image = opaque ? (rgb32 ? source : source.convertToFormat(QImage::Format_RGB32))
                                : source.convertToFormat(QImage::Format_RGBA8888);
    if (image.isNull())
        return std::nullopt;

    std::unique_ptr<spng_ctx, ContextDeleter> ctx(spng_ctx_new(SPNG_CTX_ENCODER));
    if (!ctx)
        return std::nullopt;
    spng_set_option(ctx.get(), SPNG_ENCODE_TO_BUFFER, 1);
    spng_set_option(ctx.get(), SPNG_IMG_COMPRESSION_LEVEL, 1);
    spng_set_option(ctx.get(), SPNG_FILTER_CHOICE, SPNG_FILTER_CHOICE_NONE);
    spng_ihdr ihdr{};
    ihdr.width = uint32_t(image.width());
    ihdr.height = uint32_t(image.height());
    ihdr.bit_depth = 8;
    ihdr.color_type = opaque ? SPNG_COLOR_TYPE_TRUECOLOR : SPNG_COLOR_TYPE_TRUECOLOR_ALPHA;
    if (spng_set_ihdr(ctx.get(), &ihdr) != 0)
        return std::nullopt;
    if (spng_encode_image(ctx.get(), nullptr, 0, SPNG_FMT_PNG,
                          SPNG_ENCODE_PROGRESSIVE | SPNG_ENCODE_FINALIZE) != 0)
        return std::nullopt;
    const size_t rowBytes = size_t(image.width()) * (opaque ? 3 : 4);
    std::vector<uint8_t> row(opaque ? rowBytes : 0);
    int status = 0;
    for (int y = 0; y < image.height(); ++y) {
        const uint8_t* data = image.constScanLine(y);
        if (opaque) {
            const auto* pixels = reinterpret_cast<const quint32*>(data);
            for (int x = 0; x < image.width(); ++x) {
                row[size_t(x) * 3] = uint8_t(pixels[x] >> 16);
                row[size_t(x) * 3 + 1] = uint8_t(pixels[x] >> 8);
                row[size_t(x) * 3 + 2] = uint8_t(pixels[x]);
            }
            data = row.data();
        }
        status = spng_encode_row(ctx.get(), data, rowBytes);
        // The last row reports the end of the image rather than success.
        if (status != 0 && !(status == SPNG_EOI && y == image.height() - 1))
            return std::nullopt;
    }
    size_t length = 0;
    int error = 0;
    void* buffer = spng_get_png_buffer(ctx.get(), &length, &error);
    if (!buffer || error != 0) {
        std::free(buffer);
        return std::nullopt;
    }
    QByteArray bytes(static_cast<const char*>(buffer), qsizetype(length));
    std::free(buffer);
    return bytes;
}

} // namespace korvel
