#include "ocr/readableimage.h"
#include "textscenes.h"

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// A line of 14-pixel text in `ink` on `ground` (which may be transparent).
struct Sample {
    const char* name;
    QColor ink;
    QColor ground;
};

QImage line(const QColor& ink, const QColor& ground) {
    QImage image(360, 80, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setCompositionMode(QPainter::CompositionMode_Source);
    p.fillRect(QRect(0, 20, 360, 30), ground);
    p.setCompositionMode(QPainter::CompositionMode_SourceOver);
    p.setPen(ink);
    p.setFont(scenes::screenFont(14));
    p.drawText(QPoint(20, 40), QStringLiteral("截图快捷键 Ctrl+1"));
    return image;
}

class Readable : public testing::TestWithParam<Sample> {};

} // namespace

// Highlighted rows, terminals and greyed text read like black on white.
TEST_P(Readable, TextReadsDarkOnWhite) {
    const Sample& s = GetParam();
    const QImage readable = readableImage(line(s.ink, s.ground), 14);
    const QImage reference = line(Qt::black, Qt::white).convertToFormat(QImage::Format_Grayscale8);
    ASSERT_EQ(readable.format(), QImage::Format_Grayscale8);
    int inkMissed = 0, groundDark = 0, darkest = 255;
    for (int y = 0; y < readable.height(); ++y) {
        for (int x = 0; x < readable.width(); ++x) {
            const int want = reference.constScanLine(y)[x], got = readable.constScanLine(y)[x];
            inkMissed += want < 100 && got > 128;
            groundDark += want == 255 && got < 200;
            if (QRect(20, 25, 200, 20).contains(x, y))
                darkest = std::min(darkest, got);
        }
    }
    EXPECT_EQ(inkMissed, 0);
    EXPECT_EQ(groundDark, 0);
    EXPECT_LT(darkest, 100);
}

INSTANTIATE_TEST_SUITE_P(
    ReadableImage, Readable,
    testing::Values(Sample{"BlackOnWhite", Qt::black, Qt::white},
                    Sample{"WhiteOnHighlight", Qt::white, QColor(53, 132, 228)},
                    Sample{"TerminalGrey", QColor(208, 208, 208), Qt::black},
                    Sample{"Greyed", QColor(146, 149, 149), Qt::white},
                    Sample{"GreyedOnDark", QColor(145, 145, 145), QColor(53, 53, 53)},
                    Sample{"BlackOnTransparent", Qt::black, Qt::transparent}),
    [](const auto& info) { return std::string(info.param.name); });

// Black on white otherwise passes: the BlackOnWhite sample.
TEST(ReadableImage, FramesTurnWhite) {
    QImage framed = line(Qt::black, Qt::white).convertToFormat(QImage::Format_Grayscale8);
    QPainter(&framed).drawRect(QRect(4, 4, 300, 60));
    EXPECT_EQ(readableImage(framed, 14).pixel(4, 30), qRgb(255, 255, 255));
}

// Blocks part at gutters of 1.5 text heights across, 1 down; even lines stay one.
TEST(ReadableImage, BlocksAreCutAtGutters) {
    const auto blocks = [](const std::vector<std::pair<QPoint, QString>>& texts) {
        QImage image(400, 200, QImage::Format_Grayscale8);
        image.fill(255);
        QPainter p(&image);
        p.setFont(scenes::screenFont(14));
        for (const auto& [at, text] : texts)
            p.drawText(at, text);
        return textBlocks(image, 14);
    };
    const std::vector<QRect> columns = blocks({{{10, 20}, QStringLiteral("新建(N)")},
                                               {{200, 20}, QStringLiteral("Ctrl+N")},
                                               {{10, 44}, QStringLiteral("另存为(A)…")},
                                               {{200, 44}, QStringLiteral("Shift+Ctrl+S")}});
    ASSERT_EQ(columns.size(), 2u);
    EXPECT_LT(columns[0].right(), 150);
    EXPECT_GE(columns[1].left(), 195);
    EXPECT_EQ(1u, blocks({{{4, 20}, QStringLiteral("总用量 16  wang  2048  会议纪要.txt")},
                          {{4, 38}, QStringLiteral("drwxr-xr-x 2 wang 4096 图片")},
                          {{4, 56}, QStringLiteral("位于分支 main")}})
                      .size());
    EXPECT_EQ(2u, blocks({{{4, 20}, QStringLiteral("快速入门指南")},
                          {{4, 80}, QStringLiteral("本指南介绍如何安装")}})
                      .size());
    EXPECT_TRUE(blocks({}).empty());
}
