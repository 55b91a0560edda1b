#pragma once

#include "annotate/mark.h"

#include <QImage>

namespace korvel::test {

// Opaque, every neighbourhood different, so that filters and misplaced pixels show.
inline QImage gradient(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x)
            image.setPixel(x, y, qRgb((x * 7) % 256, (y * 5) % 256, (x * y) % 256));
    return image;
}

// `width` is the strength of privacy marks.
inline Mark mark(Tool tool, QList<QPointF> points, double width = 3, bool brush = false) {
    Mark m;
    m.tool = tool;
    m.points = std::move(points);
    m.width = width;
    m.mosaicBrush = brush;
    return m;
}

} // namespace korvel::test
