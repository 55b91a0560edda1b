// korvel-stitch: stitches screenshots that were taken by hand while
// scrolling, with the same matching as the live long capture.
//
//   korvel-stitch [--horizontal] [--auto-crop] -o OUT.png FRAME.png...
//
// Prints one line per frame ("1 first", "2 appended 137", "3 unchanged",
// …) and writes the composed image. Exit status 0 once the first frame was
// read and the image written (later unreadable frames are reported and
// skipped), 2 for bad usage or an unreadable first frame, 1 when the output
// cannot be written.

#include "export/pngencoder.h"
#include "longshot/longcaptureaxis.h"
#include "longshot/scrollstitcher.h"
#include "platform/atomicfile.h"
#include "platform/pngcheck.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <optional>

namespace korvel {
namespace {

// The budget of the live capture: about 92 MiB of composed pixels.
constexpr qint64 maximumPixels = 24'000'000;

struct Options {
    bool horizontal = false;
    bool automaticCrop = false;
    QString output;
    QStringList frames;
};

void print(FILE* stream, const QString& line) {
    std::fputs(qPrintable(line + QLatin1Char('\n')), stream);
}

std::optional<Options> parse(const QStringList& arguments) {
    Options options;
    for (qsizetype i = 1; i < arguments.size(); ++i) {
        const QString& a = arguments[i];
        if (a == QLatin1String("--horizontal")) {
            options.horizontal = true;
        } else if (a == QLatin1String("--auto-crop")) {
            options.automaticCrop = true;
        } else if (a == QLatin1String("-o") && i + 1 < arguments.size()) {
            options.output = arguments[++i];
        } else if (a == QLatin1String("--")) {
            options.frames += arguments.mid(i + 1);
            break;
        } else if (a.startsWith(QLatin1Char('-')) && a.size() > 1) {
            print(stderr, QStringLiteral("korvel-stitch: unknown option %1").arg(a));
            return std::nullopt;
        } else {
            options.frames += a;
        }
    }
    if (options.output.isEmpty() || options.frames.isEmpty())
        return std::nullopt;
    return options;
}

// A frame normalised for the axis, or the reason it cannot be used.
std::optional<QImage> readFrame(const QString& path, LongCaptureAxis axis, QString& error) {
    const auto file = readPngFile(path);
    if (const auto* fault = std::get_if<PngFileFault>(&file)) {
        error = describe(*fault);
        return std::nullopt;
    }
    const QImage image = decodedPng(std::get<PngFile>(file));
    if (image.isNull()) {
        error = QStringLiteral("damaged PNG");
        return std::nullopt;
    }
    auto normalised = normalize(axis, image);
    if (!normalised)
        error = QStringLiteral("out of memory");
    return normalised;
}

int run(const Options& options) {
    const LongCaptureAxis axis =
        options.horizontal ? LongCaptureAxis::horizontal : LongCaptureAxis::vertical;
    std::optional<ScrollStitcher> stitcher;
    for (qsizetype i = 0; i < options.frames.size(); ++i) {
        const QString& path = options.frames[i];
        QString error;
        const auto frame = readFrame(path, axis, error);
        const QString number = QString::number(i + 1);
        if (!frame) {
            print(stderr, QStringLiteral("korvel-stitch: cannot read %1: %2").arg(path, error));
            if (!stitcher)
                return 2;
            print(stdout, number + QStringLiteral(" unreadable"));
            continue;
        }
        if (!stitcher) {
            stitcher.emplace(*frame, maximumPixels);
            print(stdout, number + QStringLiteral(" first"));
            continue;
        }
        const ScrollAppendResult result = stitcher->append(*frame, options.automaticCrop);
        print(stdout, number + QLatin1Char(' ') + result.toString());
    }
    std::fflush(stdout);

    std::optional<QImage> composed = stitcher->image();
    if (composed)
        composed = restore(axis, *composed);
    const auto png = composed ? encodePng(*composed) : std::nullopt;
    if (!png) {
        print(stderr, QStringLiteral("korvel-stitch: cannot compose the image (out of memory)"));
        return 1;
    }
    if (auto error = writeFileAtomically(options.output, *png)) {
        print(stderr,
              QStringLiteral("korvel-stitch: cannot write %1: %2").arg(options.output, *error));
        return 1;
    }
    return 0;
}

} // namespace
} // namespace korvel

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const auto options = korvel::parse(QCoreApplication::arguments());
    if (!options) {
        korvel::print(stderr, QStringLiteral("usage: korvel-stitch [--horizontal] [--auto-crop] "
                                             "-o OUT.png FRAME.png..."));
        return 2;
    }
    return korvel::run(*options);
}
