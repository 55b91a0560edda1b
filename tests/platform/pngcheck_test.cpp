#include "platform/pngcheck.h"

#include <gtest/gtest.h>
#include <QBuffer>

using namespace korvel;

namespace {

QByteArray encoded(QSize size, const char* format = "PNG") {
    QImage image(size, QImage::Format_RGB32);
    image.fill(Qt::darkGreen);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

bool sound(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return soundIfPng(&buffer);
}

} // namespace

// Damaged PNG never reaches the decoder; other formats pass to theirs.
TEST(PngCheck, OnlyWholePngWithChunksInsideIsDecoded) {
    const QByteArray good = encoded(QSize(40, 30));
    EXPECT_EQ(decodedPng(good).size(), QSize(40, 30));
    EXPECT_TRUE(sound(good));

    QByteArray claim = good; // a text chunk claiming 1.8 GB after the header
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    const QByteArray cut = good.left(good.size() - 12); // no end chunk
    for (const QByteArray& bad : {claim, cut, good.left(8), QByteArray()}) {
        EXPECT_TRUE(decodedPng(bad).isNull());
        EXPECT_FALSE(sound(bad) && bad.startsWith("\x89PNG"));
    }
    EXPECT_TRUE(sound(encoded(QSize(4, 4), "BMP")));
    EXPECT_TRUE(decodedPng(encoded(QSize(4, 4), "BMP")).isNull());

    // The header's size, read without a decoder, even when the rest is gone.
    QByteArray header = good.left(24);
    QBuffer buffer(&header);
    buffer.open(QIODevice::ReadOnly);
    EXPECT_EQ(pngHeaderSize(&buffer), QSize(40, 30));
    EXPECT_EQ(buffer.pos(), 0);
    QByteArray bmp = encoded(QSize(4, 4), "BMP");
    QBuffer other(&bmp);
    other.open(QIODevice::ReadOnly);
    EXPECT_FALSE(pngHeaderSize(&other).isValid());
}
