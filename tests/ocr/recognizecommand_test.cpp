#include "../testpng.h"
#include "ocr/recognizecommand.h"

#include <QBuffer>

#include <gtest/gtest.h>

using namespace korvel;

// Files, standard input, bad files and huge ones (refused from the header)
// through the real binary: cli.CommandLine.
TEST(RecognizeCommand, AChunkClaimingMoreThanTheInputNeverReachesTheDecoder) {
    QByteArray claim = filledPng(QSize(40, 30), Qt::white); // a chunk claiming 1.8 GB
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    QBuffer in(&claim);
    in.open(QIODevice::ReadOnly);
    const auto loaded = loadImage(QStringLiteral("-"), in);
    ASSERT_TRUE(std::holds_alternative<QString>(loaded));
    EXPECT_EQ(std::get<QString>(loaded), u"图像数据损坏或不完整");
}
