#include "../testpng.h"
#include "../testwait.h"
#include "ocr/recognizecommand.h"
#include "ocr/textrecognitionwindow.h"
#include "platform/fake/faketextrecognizer.h"
#include "textscenes.h"

#include <QBuffer>
#include <QPlainTextEdit>
#include <QTextStream>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// Reads every image (or band) as the lines "<width>x<height>" and "末行",
// in its upper and lower half.
std::unique_ptr<TextRecognizer> sizeReader() {
    auto fake = std::make_unique<fake::TextRecognizer>();
    fake->read = [](const QImage& image, int) {
        const int w = image.width(), h = image.height();
        return std::vector<RecognizedLine>{
            {QStringLiteral("%1x%2").arg(w).arg(h), QRect(0, 0, w, std::max(1, h / 2))},
            {QStringLiteral("末行"), QRect(0, h / 2, w, std::max(1, h - h / 2))}};
    };
    return fake;
}

} // namespace

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

TEST(RecognizeCommand, CommandLineAndWindowShareOneRecognition) {
    QByteArray input = filledPng(QSize(300, 5000), Qt::white); // the fake reads no text
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    QString printed, errors;
    QTextStream out(&printed), err(&errors);
    ASSERT_EQ(recognizeFiles({QStringLiteral("-")}, in, out, err, sizeReader), 0);

    TextRecognitionWindow* w =
        TextRecognitionWindow::open(QImage::fromData(input), false, nullptr, nullptr, sizeReader);
    waitFor([w] { return !w->isRecognizing(); });
    // Three bands, each read as its own size; the window shows exactly what
    // the command line prints.
    EXPECT_EQ(printed, w->textView()->toPlainText() + QLatin1Char('\n'));
    EXPECT_EQ(w->textView()->toPlainText().count(QStringLiteral("末行")), 3);
    w->closeWindow();
    TextRecognitionWindow::active().clear();
}
