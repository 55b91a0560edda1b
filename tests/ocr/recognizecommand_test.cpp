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

// Files, standard input and bad files through the real binary: cli.Recognize.
TEST(RecognizeCommand, HugeImageIsRefusedFromItsHeader) {
    const auto refusal = [](QByteArray bytes) {
        QBuffer in(&bytes);
        in.open(QIODevice::ReadOnly);
        const auto loaded = loadImage(QStringLiteral("-"), in);
        return std::holds_alternative<QString>(loaded) ? std::get<QString>(loaded) : QString();
    };
    // Decoding this would take 14 GB; the header alone refuses it. The same
    // header at a small size is merely incomplete.
    EXPECT_TRUE(refusal(scenes::pngHeader(QSize(60000, 60000))).startsWith(u"图像过大"));
    EXPECT_EQ(refusal(scenes::pngHeader(QSize(600, 600))), u"图像数据损坏或不完整");
    // A whole small PNG with a chunk claiming 1.8 GB never reaches the decoder.
    QByteArray claim = filledPng(QSize(40, 30), Qt::white);
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    EXPECT_EQ(refusal(claim), u"图像数据损坏或不完整");
}

TEST(RecognizeCommand, CommandLineAndWindowShareOneRecognition) {
    const QImage image = scenes::textColumn(300, 5000, 30, 900, 16, QStringLiteral("x"));
    QByteArray input = pngOf(image);
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    QString printed, errors;
    QTextStream out(&printed), err(&errors);
    ASSERT_EQ(recognizeFiles({QStringLiteral("-")}, in, out, err, sizeReader), 0);

    TextRecognitionWindow* w =
        TextRecognitionWindow::open(image, false, nullptr, nullptr, sizeReader);
    waitFor([w] { return !w->isRecognizing(); });
    // Three bands, each read as its own size; the window shows exactly what
    // the command line prints.
    EXPECT_EQ(printed, w->textView()->toPlainText() + QLatin1Char('\n'));
    EXPECT_EQ(w->textView()->toPlainText().count(QStringLiteral("末行")), 3);
    w->closeWindow();
    TextRecognitionWindow::active().clear();
}
