#include "platform/pngcheck.h"
#include "pngbytes.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QImageWriter>
#include <QTemporaryDir>

using namespace korvel;

namespace {

// A dark green image as Qt writes it, interlaced on request.
QByteArray encoded(QSize size, bool interlaced = false) {
    QImage image(size, QImage::Format_ARGB32);
    image.fill(QColor(0, 128, 0, interlaced ? 40 : 255));
    QByteArray bytes;
    QBuffer buffer(&bytes); // the writer opens it
    QImageWriter writer(&buffer, "PNG");
    writer.setProgressiveScanWrite(interlaced);
    writer.write(image);
    return bytes;
}

PngVerdict verdict(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const PngVerdict v = checkPng(&buffer);
    EXPECT_EQ(buffer.pos(), 0);
    return v;
}

} // namespace

// What reaches a decoder: only whole PNGs whose chunks lie inside the data
// and whose image data inflates to exactly the declared size.
TEST(PngCheck, OnlySoundPngWithinItsDeclaredSizeIsDecoded) {
    using namespace pngbytes;
    using enum PngVerdict;
    const QByteArray good = encoded(QSize(40, 30));
    QByteArray claim = good; // a text chunk claiming 1.8 GB after the header
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    QByteArray late = good; // image data split by another chunk
    late.insert(late.size() - 12,
                chunk("tEXt", QByteArray("a\0b", 3)) + chunk("IDAT", compressed("x")));
    const struct {
        const char* name;
        QByteArray bytes;
        PngVerdict verdict;
    } cases[] = {
        {"encoder's own", good, sound},
        {"interlaced", encoded(QSize(37, 23), true), sound},
        {"exact rows", rgb(100, 100, 100 * 301), sound},
        {"1-bit grey", file(header(9, 2, 1, 0), compressed(QByteArray(2 * 3, 0))), sound},
        {"16-bit RGBA", file(header(3, 2, 16, 6), compressed(QByteArray(2 * 25, 0))), sound},
        {"one byte too many", rgb(100, 100, 100 * 301 + 1), damaged},
        {"one byte short", rgb(100, 100, 100 * 301 - 1), damaged},
        {"inflates to 64 MiB", bomb(100, 100, 64 << 20), damaged},
        {"chunk past the end", claim, damaged},
        {"no end chunk", good.left(good.size() - 12), damaged},
        {"no image data", good.left(33) + chunk("IEND", {}), damaged},
        {"data after another chunk", late, damaged},
        {"RGB at depth 4", file(header(4, 4, 4, 2), compressed(QByteArray(4 * 7, 0))), damaged},
        {"zero width", file(header(0, 4), compressed({})), damaged},
        {"header only", good.left(33), damaged},
        {"signature only", good.left(8), damaged},
        {"over 64 megapixels", file(header(8193, 8192), compressed("x")), tooLarge},
        {"nothing", QByteArray(), notPng},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(verdict(c.bytes), c.verdict) << c.name;
        EXPECT_EQ(decodedPng(c.bytes).isNull(), c.verdict != sound) << c.name;
    }
}

// FIFOs, which must not block: Stitch.RefusesWhatItCannotStitchOrWrite, e2e.Instance.
TEST(PngCheck, FilesAreReadOnlyWhenRegularAndSound) {
    QTemporaryDir dir;
    auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(path(name));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    };
    write("good.png", encoded(QSize(5, 6)));
    write("empty.png", {});
    write("notes.png", "just words\n");
    write("bomb.png", pngbytes::bomb(10, 10, 8 << 20));
    using Kind = PngFileFault::Kind;
    const std::pair<const char*, Kind> faults[] = {
        {"missing.png", Kind::missing}, {".", Kind::directory},      {"empty.png", Kind::empty},
        {"notes.png", Kind::notPng},    {"bomb.png", Kind::damaged},
    };
    for (const auto& [name, kind] : faults) {
        const auto result = readPngFile(path(name));
        ASSERT_TRUE(std::holds_alternative<PngFileFault>(result)) << name;
        EXPECT_EQ(std::get<PngFileFault>(result).kind, kind) << name;
    }
    const auto good = readPngFile(path("good.png"));
    ASSERT_TRUE(std::holds_alternative<PngFile>(good));
    EXPECT_EQ(std::get<PngFile>(good).size, QSize(5, 6));
    const auto huge = checkedPngBytes(pngbytes::file(pngbytes::header(60000, 60000), "x"));
    ASSERT_TRUE(std::holds_alternative<PngFileFault>(huge));
    EXPECT_EQ(describe(std::get<PngFileFault>(huge)),
              QStringLiteral("the image is too large (60000 × 60000)"));
}
