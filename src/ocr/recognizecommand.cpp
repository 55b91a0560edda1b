#include "recognizecommand.h"

#include "platform/error.h"
#include "platform/pngcheck.h"
#include "textrecognition.h"

#include <QIODevice>
#include <QTextStream>

namespace korvel {
namespace {

QString reason(const PngFileFault& fault) {
    using Kind = PngFileFault::Kind;
    switch (fault.kind) {
    case Kind::missing:
        return QStringLiteral("文件不存在");
    case Kind::directory:
        return QStringLiteral("这是一个文件夹，不是图像");
    case Kind::notRegular:
        return QStringLiteral("不是普通文件");
    case Kind::unreadable:
        return QStringLiteral("无法读取文件");
    case Kind::empty:
        return QStringLiteral("文件为空");
    case Kind::tooLong:
        return QStringLiteral("文件过大");
    case Kind::notPng:
        return QStringLiteral("不是 PNG 图像");
    case Kind::damaged:
        break;
    case Kind::tooLarge:
        return QStringLiteral("图像过大（%1 × %2 像素，上限 %3 万像素）")
            .arg(fault.size.width())
            .arg(fault.size.height())
            .arg(maximumImagePixels / 10000);
    }
    return QStringLiteral("图像数据损坏或不完整");
}

} // namespace

std::variant<QImage, QString> loadImage(const QString& path, QIODevice& standardInput) {
    std::variant<PngFile, PngFileFault> file = PngFileFault{PngFileFault::Kind::empty, {}, {}};
    if (path == QStringLiteral("-")) {
        QByteArray bytes = standardInput.read(maximumPngFileBytes + 1);
        if (bytes.size() > maximumPngFileBytes)
            return QStringLiteral("输入过大");
        if (bytes.isEmpty())
            return QStringLiteral("输入为空");
        file = checkedPngBytes(std::move(bytes));
    } else {
        file = readPngFile(path);
    }
    if (const auto* fault = std::get_if<PngFileFault>(&file))
        return reason(*fault);
    QImage image = decodedPng(std::get<PngFile>(file));
    if (image.isNull())
        return reason({PngFileFault::Kind::damaged, {}, {}});
    return image;
}

int recognizeFiles(const QStringList& paths, QIODevice& standardInput, QTextStream& out,
                   QTextStream& err,
                   const std::function<std::unique_ptr<TextRecognizer>()>& engine) {
    if (paths.isEmpty()) {
        err << "korvel: --recognize 需要至少一个图像文件（\"-\" 表示标准输入）\n";
        err.flush();
        return 2;
    }
    // One recognition for all images, so the language data loads once.
    TextRecognition recognition(engine ? engine() : createTextRecognizer());
    int status = 0;
    bool first = true;
    for (const QString& path : paths) {
        std::variant<QImage, QString> loaded = loadImage(path, standardInput);
        if (const QString* reason = std::get_if<QString>(&loaded)) {
            err << "korvel: " << path << "：" << *reason << '\n';
            err.flush();
            status = 2;
            continue;
        }
        QString text;
        try {
            text = recognition.recognize(std::get<QImage>(loaded));
        } catch (const Error& e) {
            err << "korvel: " << path << "：识别失败：" << e.description() << '\n';
            err.flush();
            return 1;
        }
        if (!first)
            out << '\n';
        first = false;
        out << text << '\n';
        out.flush();
    }
    return status;
}

} // namespace korvel
