// Frames and expected images for the korvel-stitch script test.
//   stitchfixture write DIR    writes the frames and expected images
//   stitchfixture compare A B  exit 0 when the two images have equal pixels

#include "longshot/longcaptureaxis.h"
#include "longshot/longdocument.h"

#include <QFile>
#include <QGuiApplication>
#include <QImage>

#include <cstdio>

namespace {

using namespace korvel;

bool save(const QImage& image, const QString& path) {
    if (image.save(path, "PNG"))
        return true;
    std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
    return false;
}

int write(const QString& dir) {
    const QImage page = scenes::longDocument(420, 4000);
    const QImage header = scenes::bandImage(420, 30, 11, qRgb(235, 238, 245));
    const QImage footer = scenes::bandImage(420, 26, 12, qRgb(40, 44, 52));
    const int viewport = 300;
    bool ok = true;
    // Vertical: on, a repeat, on, a skip too far, on.
    const int offsets[] = {100, 160, 160, 230, 900, 350};
    for (int i = 0; i < 6; ++i) {
        ok &= save(scenes::frameAt(page, offsets[i], viewport, header, footer),
                   QStringLiteral("%1/v%2.png").arg(dir).arg(i + 1));
    }
    ok &= save(scenes::expectedStitch(page, 100, 350, viewport, header, footer),
               dir + QStringLiteral("/v-expected.png"));
    // Scrolling back with automatic crop.
    const int back[] = {300, 400, 500, 450};
    for (int i = 0; i < 4; ++i) {
        ok &= save(scenes::frameAt(page, back[i], viewport, header, footer),
                   QStringLiteral("%1/c%2.png").arg(dir).arg(i + 1));
    }
    ok &= save(scenes::expectedStitch(page, 300, 450, viewport, header, footer),
               dir + QStringLiteral("/c-expected.png"));
    // Horizontal: a wide page whose new columns enter on the right.
    const QImage wide = *restore(LongCaptureAxis::horizontal, scenes::longDocument(260, 3000, 3));
    const int columns[] = {200, 320, 500};
    for (int i = 0; i < 3; ++i) {
        ok &= save(wide.copy(columns[i], 0, 500, 260),
                   QStringLiteral("%1/h%2.png").arg(dir).arg(i + 1));
    }
    ok &= save(wide.copy(200, 0, 300 + 500, 260), dir + QStringLiteral("/h-expected.png"));
    // Bad input: another size, an empty file, a truncated PNG.
    ok &= save(page.copy(0, 0, 400, viewport), dir + QStringLiteral("/other-size.png"));
    QFile empty(dir + QStringLiteral("/empty.png"));
    ok &= empty.open(QIODevice::WriteOnly);
    empty.close();
    QFile whole(dir + QStringLiteral("/v2.png"));
    QFile truncated(dir + QStringLiteral("/truncated.png"));
    if (whole.open(QIODevice::ReadOnly) && truncated.open(QIODevice::WriteOnly)) {
        const QByteArray bytes = whole.readAll();
        truncated.write(bytes.left(bytes.size() / 2));
    } else {
        ok = false;
    }
    return ok ? 0 : 1;
}

int compare(const QString& a, const QString& b) {
    const QImage x = QImage(a).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage y = QImage(b).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (x.isNull() || y.isNull() || x.size() != y.size()) {
        std::fprintf(stderr, "sizes differ: %dx%d and %dx%d\n", x.width(), x.height(), y.width(),
                     y.height());
        return 1;
    }
    for (int row = 0; row < x.height(); ++row) {
        for (int col = 0; col < x.width(); ++col) {
            if (x.pixel(col, row) != y.pixel(col, row)) {
                std::fprintf(stderr, "first difference at %d,%d\n", col, row);
                return 1;
            }
        }
    }
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    const QStringList args = QGuiApplication::arguments();
    if (args.size() == 3 && args[1] == QLatin1String("write"))
        return write(args[2]);
    if (args.size() == 4 && args[1] == QLatin1String("compare"))
        return compare(args[2], args[3]);
    std::fprintf(stderr, "usage: stitchfixture write DIR | compare A B\n");
    return 2;
}
