#include "greyimage.h"

namespace korvel::ocr {

QImage greyOverWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_Grayscale8);
    // A premultiplied channel plus the uncovered share of 255. Done by hand,
    // as the command line runs without a GUI application.
    QImage flat = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < flat.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < flat.width(); ++x) {
            const int uncovered = 255 - qAlpha(row[x]);
            row[x] = qRgb(qRed(row[x]) + uncovered, qGreen(row[x]) + uncovered,
                          qBlue(row[x]) + uncovered);
        }
    }
    return flat.convertToFormat(QImage::Format_Grayscale8);
}

} // namespace korvel::ocr
