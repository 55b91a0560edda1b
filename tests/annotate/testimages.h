#pragma once

#include <QImage>

namespace korvel::test {

// An opaque image whose every neighbourhood differs, so that filters and
// misplaced pixels show.
inline QImage gradient(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, (x * y) % 256));
    return image;
}

} // namespace korvel::test
