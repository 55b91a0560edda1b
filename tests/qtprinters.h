#pragma once

// Readable failure messages for Qt geometry in GoogleTest.

#include <QPointF>
#include <QRectF>

#include <ostream>

inline void PrintTo(const QRectF& r, std::ostream* os) {
    *os << "(" << r.x() << ", " << r.y() << ", " << r.width() << " × " << r.height() << ")";
}

inline void PrintTo(const QPointF& p, std::ostream* os) {
    *os << "(" << p.x() << ", " << p.y() << ")";
}
