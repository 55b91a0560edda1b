#include "../testpng.h"
#include "ocr/recognizecommand.h"
#include "ocr/textrecognitionwindow.h"
#include "platform/fake/faketextrecognizer.h"
#include "textscenes.h"

#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QPlainTextEdit>
#include <QTemporaryDir>
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

struct Outcome {
    int status = 0;
    QString out;
    QString err;
};

Outcome recognize(const QStringList& paths, QByteArray input = {}) {
    Outcome run;
    QBuffer in(&input);
    in.open(QIODevice::ReadOnly);
    QTextStream out(&run.out);
    QTextStream err(&run.err);
    run.status = recognizeFiles(paths, in, out, err, sizeReader);
    return run;
}

} // namespace

TEST(RecognizeCommand, PrintsEachImageSeparatedByAnEmptyLine) {
    QTemporaryDir dir;
    const QString a = dir.filePath(QStringLiteral("a.png"));
    {
        QFile f(a);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(filledPng(QSize(30, 20), Qt::white));
    }
    const Outcome run = recognize({a, QStringLiteral("-")}, filledPng(QSize(7, 9), Qt::white));
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(run.out, QStringLiteral("30x20\n末行\n\n7x9\n末行\n"));
    EXPECT_EQ(run.err, QString());
}

TEST(RecognizeCommand, BadInputIsNamedAndTheRestStillPrinted) {
    QTemporaryDir dir;
    const auto write = [&](const char* name, const QByteArray& bytes) {
        QFile f(dir.filePath(QLatin1String(name)));
        EXPECT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
        return f.fileName();
    };
    const QString good = write("good.png", filledPng(QSize(5, 4), Qt::white));
    const QByteArray whole = filledPng(QSize(300, 200), Qt::white);
    const QStringList bad = {
        dir.filePath(QStringLiteral("missing.png")),
        dir.path(),
        write("truncated.png", whole.left(whole.size() / 2)),
        write("empty.png", {}),
        write("notes.txt", "plain words\n"),
    };
    const Outcome run = recognize(QStringList{good} + bad + QStringList{good});
    EXPECT_EQ(run.status, 2);
    EXPECT_EQ(run.out, QStringLiteral("5x4\n末行\n\n5x4\n末行\n"));
    const QStringList messages = run.err.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    ASSERT_EQ(messages.size(), bad.size()) << run.err.toStdString();
    for (qsizetype i = 0; i < bad.size(); ++i)
        EXPECT_TRUE(messages[i].contains(bad[i] + QStringLiteral("："))) << run.err.toStdString();

    const Outcome none = recognize({});
    EXPECT_EQ(none.status, 2);
    EXPECT_TRUE(none.err.contains(QStringLiteral("--recognize")));
    const Outcome emptyInput = recognize({QStringLiteral("-")});
    EXPECT_EQ(emptyInput.status, 2);
}

TEST(RecognizeCommand, HugeImageIsRefusedFromItsHeader) {
    // Decoding this would take 14 GB; the header alone refuses it.
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("huge.png"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(scenes::pngHeader(QSize(60000, 60000)));
    }
    QBuffer in;
    const auto loaded = loadImage(path, in);
    ASSERT_TRUE(std::holds_alternative<QString>(loaded));
    EXPECT_TRUE(std::get<QString>(loaded).startsWith(QStringLiteral("图像过大")));
    // The same header at a small size is merely incomplete.
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(scenes::pngHeader(QSize(600, 600)));
    }
    const auto small = loadImage(path, in);
    ASSERT_TRUE(std::holds_alternative<QString>(small));
    EXPECT_EQ(std::get<QString>(small), QStringLiteral("图像数据损坏或不完整"));
    // A whole small PNG with a chunk claiming 1.8 GB never reaches the decoder.
    QImage image(40, 30, QImage::Format_RGB32);
    image.fill(Qt::white);
    QByteArray claim;
    QBuffer out(&claim);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly) && image.save(&out, "PNG"));
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    QBuffer claimed(&claim);
    claimed.open(QIODevice::ReadOnly);
    const auto refused = loadImage(QStringLiteral("-"), claimed);
    ASSERT_TRUE(std::holds_alternative<QString>(refused));
    EXPECT_EQ(std::get<QString>(refused), QStringLiteral("图像数据损坏或不完整"));
}

TEST(RecognizeCommand, CommandLineAndWindowShareOneRecognition) {
    const QImage image = scenes::textColumn(300, 5000, 30, 900, 16, QStringLiteral("x"));
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    const Outcome run = recognize({QStringLiteral("-")}, bytes);
    ASSERT_EQ(run.status, 0);

    TextRecognitionWindow* w =
        TextRecognitionWindow::open(image, false, nullptr, nullptr, sizeReader);
    QElapsedTimer timer;
    timer.start();
    while (w->isRecognizing() && timer.elapsed() < 5000)
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    // Three bands, each read as its own size; the window shows exactly what
    // the command line prints.
    EXPECT_EQ(run.out, w->textView()->toPlainText() + QLatin1Char('\n'));
    EXPECT_EQ(w->textView()->toPlainText().count(QStringLiteral("末行")), 3);
    w->closeWindow();
    TextRecognitionWindow::active().clear();
}
