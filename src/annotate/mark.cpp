#include "mark.h"

#include <QFontMetricsF>
#include <QGuiApplication>
#include <QPainter>
#include <QPainterPathStroker>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvel {
namespace {

bool finite(QPointF p) {
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

// Font sizes are points of annotation space; pixel sizes keep them independent
// of the screen's DPI setting.
QFont sizedFont(double size) {
    QFont font = QGuiApplication::font();
    font.setPixelSize(std::max(1, int(std::lround(std::clamp(size, 1.0, 2000.0)))));
    return font;
}

double distanceToSegment(QPointF q, QPointF a, QPointF b) {
    const QPointF ab = b - a;
    const double len2 = QPointF::dotProduct(ab, ab);
    const double t = len2 > 0 ? std::clamp(QPointF::dotProduct(q - a, ab) / len2, 0.0, 1.0) : 0.0;
    const QPointF nearest = a + ab * t;
    return std::hypot(q.x() - nearest.x(), q.y() - nearest.y());
}

// Distance to the path's line segments (a closed sub-path ends in a line back
// to its start); curves are skipped, so ellipses are flattened first.
bool nearOutline(const QPainterPath& path, QPointF q, double tolerance) {
    QPointF current;
    for (int i = 0; i < path.elementCount(); ++i) {
        const QPainterPath::Element e = path.elementAt(i);
        const QPointF p(e.x, e.y);
        if (e.isMoveTo()) {
            current = p;
        } else if (e.isLineTo()) {
            if (distanceToSegment(q, current, p) <= tolerance)
                return true;
            current = p;
        }
    }
    return false;
}

QPainterPath flattened(const QPainterPath& path) {
    QPainterPath result;
    for (const QPolygonF& polygon : path.toSubpathPolygons()) {
        if (polygon.isEmpty())
            continue;
        result.moveTo(polygon.front());
        for (qsizetype i = 1; i < polygon.size(); ++i)
            result.lineTo(polygon[i]);
    }
    return result;
}

} // namespace

double Mark::paintWidth() const {
    if (tool == Tool::highlight)
        return std::max(width * 6, 12.0);
    if (isMosaicBrush())
        return std::max(width * 10, 18.0);
    return width;
}

QFont Mark::textFont() const {
    QFont font = sizedFont(fontSize);
    font.setWeight(width >= 6 ? QFont::Bold : width <= 1.5 ? QFont::Light : QFont::Normal);
    return font;
}

QPen Mark::pen() const {
    const double w = paintWidth();
    QPen pen(color, std::isfinite(w) && w > 0 ? w : 0.0);
    pen.setCapStyle(Qt::RoundCap);
    pen.setJoinStyle(Qt::RoundJoin);
    return pen;
}

QPainterPath Mark::path() const {
    QPainterPath path;
    if (points.isEmpty() || !std::all_of(points.begin(), points.end(), finite))
        return path;
    const QPointF p0 = points.front();
    const QPointF p1 = points.back();
    const QRectF r = QRectF(p0, p1).normalized();
    switch (tool) {
    case Tool::rectangle:
    case Tool::mosaic:
    case Tool::blur:
        path.addRect(r);
        break;
    case Tool::ellipse:
        path.addEllipse(r);
        break;
    case Tool::pen:
    case Tool::highlight:
        path.moveTo(p0);
        for (qsizetype i = 1; i < points.size(); ++i)
            path.lineTo(points[i]);
        break;
    case Tool::text:
        break;
    case Tool::number: {
        const double radius = std::max(fontSize * 0.7, 12.0);
        if (std::isfinite(radius))
            path.addEllipse(QRectF(p0.x() - radius, p0.y() - radius, 2 * radius, 2 * radius));
        break;
    }
    case Tool::arrow: {
        const double d = std::hypot(p1.x() - p0.x(), p1.y() - p0.y());
        if (!(d > 0))
            break;
        const QPointF u = (p1 - p0) / d;
        const QPointF n(-u.y(), u.x());
        const double h = std::min(d * 0.4, std::max(width * 5, 10.0));
        const double w = h * 0.48;
        const QPointF b = p1 - u * h;
        path.moveTo(p0);
        path.lineTo(b + n * (w * 0.38));
        path.lineTo(b + n * w);
        path.lineTo(p1);
        path.lineTo(b - n * w);
        path.lineTo(b - n * (w * 0.38));
        path.closeSubpath();
        break;
    }
    }
    return path;
}

QPainterPath Mark::brushMask() const {
    QPainterPath mask;
    mask.setFillRule(Qt::WindingFill);
    if (points.isEmpty() || !std::all_of(points.begin(), points.end(), finite))
        return mask;
    const double w = paintWidth();
    if (!std::isfinite(w) || w <= 0)
        return mask;
    const QPointF p0 = points.front();
    const bool moved =
        std::any_of(points.begin(), points.end(), [&](QPointF p) { return p != p0; });
    if (!moved) {
        mask.addEllipse(QRectF(p0.x() - w / 2, p0.y() - w / 2, w, w));
        return mask;
    }
    QPainterPath line(p0);
    for (qsizetype i = 1; i < points.size(); ++i)
        line.lineTo(points[i]);
    QPainterPathStroker stroker;
    stroker.setWidth(w);
    stroker.setCapStyle(Qt::RoundCap);
    stroker.setJoinStyle(Qt::RoundJoin);
    stroker.setMiterLimit(10);
    mask = stroker.createStroke(line);
    mask.setFillRule(Qt::WindingFill);
    return mask;
}

QSizeF Mark::textSize() const {
    // Every line counts, including a trailing empty one.
    return QFontMetricsF(textFont()).size(Qt::TextExpandTabs, text);
}

QRectF Mark::bounds() const {
    if (tool == Tool::text) {
        const QPointF origin =
            points.isEmpty() || !finite(points.front()) ? QPointF(0, 0) : points.front();
        return QRectF(origin, textSize());
    }
    if (tool == Tool::highlight) {
        const QPainterPath p = path();
        if (p.isEmpty())
            return {};
        const double grow = paintWidth() / 2;
        return p.boundingRect().adjusted(-grow, -grow, grow, grow);
    }
    if (isMosaicBrush())
        return brushMask().boundingRect();
    return path().boundingRect();
}

bool Mark::canResize() const {
    if (isMosaicBrush())
        return false;
    switch (tool) {
    case Tool::rectangle:
    case Tool::ellipse:
    case Tool::text:
    case Tool::mosaic:
    case Tool::blur:
    case Tool::number:
        return true;
    case Tool::arrow:
    case Tool::pen:
    case Tool::highlight:
        return false;
    }
    return false;
}

bool Mark::hitTest(QPointF point) const {
    if (!finite(point))
        return false;
    const double ws = tool == Tool::highlight ? std::max(width * 6, 12.0) : width;
    const double tolerance = std::max(ws / 2 + 3, 6.0);
    switch (tool) {
    case Tool::text:
        return bounds().adjusted(-4, -4, 4, 4).contains(point);
    case Tool::number:
        return path().contains(point);
    case Tool::blur:
        return bounds().contains(point);
    case Tool::mosaic:
        return mosaicBrush ? brushMask().contains(point) : bounds().contains(point);
    case Tool::arrow: {
        const QPainterPath outline = path();
        return outline.contains(point) || nearOutline(outline, point, tolerance);
    }
    case Tool::ellipse:
        return nearOutline(flattened(path()), point, tolerance);
    case Tool::rectangle:
    case Tool::pen:
    case Tool::highlight:
        return nearOutline(path(), point, tolerance);
    }
    return false;
}

void Mark::draw(QPainter& painter) const {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    switch (tool) {
    case Tool::rectangle:
    case Tool::pen:
    case Tool::ellipse:
        painter.setPen(pen());
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path());
        break;
    case Tool::highlight: {
        QPen translucent = pen();
        QColor c = color;
        c.setAlphaF(0.28f);
        translucent.setColor(c);
        painter.setPen(translucent);
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(path());
        break;
    }
    case Tool::arrow:
        painter.setPen(Qt::NoPen);
        painter.setBrush(color);
        painter.drawPath(path());
        break;
    case Tool::text:
        drawText(painter);
        break;
    case Tool::number:
        drawNumber(painter);
        break;
    case Tool::mosaic:
    case Tool::blur:
        break;
    }
    painter.restore();
}

void Mark::drawText(QPainter& painter) const {
    const QRectF box = bounds();
    // Text runs top to bottom: draw it in a local y-down space whose origin is
    // the block's top-left corner.
    painter.translate(box.x(), box.y() + box.height());
    painter.scale(1, -1);
    painter.setFont(textFont());
    painter.setPen(color);
    painter.drawText(QRectF(QPointF(0, 0), box.size()), Qt::TextExpandTabs | Qt::AlignLeft, text);
}

void Mark::drawNumber(QPainter& painter) const {
    const QPainterPath circle = path();
    if (circle.isEmpty())
        return;
    painter.setPen(Qt::NoPen);
    painter.setBrush(color);
    painter.drawPath(circle);

    const QString label = QString::number(number);
    const QRectF box = circle.boundingRect();
    painter.translate(box.x(), box.y() + box.height());
    painter.scale(1, -1);
    painter.setFont(numberFont(numberLabelSize(label, fontSize, box.width())));
    painter.setPen(numberDigitColor(color));
    painter.drawText(QRectF(QPointF(0, 0), box.size()), Qt::AlignCenter, label);
}

int nextMarkerNumber(const QList<Mark>& marks) {
    int highest = 0;
    for (const Mark& m : marks) {
        if (m.tool == Tool::number)
            highest = std::max(highest, m.number);
    }
    return highest == std::numeric_limits<int>::max() ? highest : highest + 1;
}

QColor numberDigitColor(const QColor& fill) {
    const QColor rgb = fill.toRgb();
    const double luminance =
        rgb.isValid() ? 0.299 * rgb.redF() + 0.587 * rgb.greenF() + 0.114 * rgb.blueF() : 0.0;
    return luminance > 0.65 ? QColor(Qt::black) : QColor(Qt::white);
}

QFont numberFont(double size) {
    QFont font = sizedFont(size);
    font.setWeight(QFont::DemiBold);
    // The sans fonts Debian ships use tabular digits by default.
    font.setStyleHint(QFont::SansSerif);
    return font;
}

double numberLabelSize(const QString& label, double fontSize, double diameter) {
    double size = std::isfinite(fontSize) ? std::min(fontSize, 2000.0) : 6.0;
    while (size > 6 && QFontMetricsF(numberFont(size)).horizontalAdvance(label) > 0.78 * diameter)
        size -= 1;
    return size;
}

QPointF constrainedEndpoint(QPointF s, QPointF e, Tool tool, const QRectF& limits) {
    const double dx = e.x() - s.x();
    const double dy = e.y() - s.y();
    const QRectF L = limits.normalized();
    switch (tool) {
    case Tool::rectangle:
    case Tool::ellipse: {
        const double side = std::max(std::abs(dx), std::abs(dy));
        const double ax = dx >= 0 ? L.x() + L.width() - s.x() : s.x() - L.x();
        const double ay = dy >= 0 ? L.y() + L.height() - s.y() : s.y() - L.y();
        const double k = std::max(0.0, std::min({side, ax, ay}));
        return QPointF(s.x() + (dx >= 0 ? k : -k), s.y() + (dy >= 0 ? k : -k));
    }
    case Tool::arrow: {
        const double step = M_PI / 4;
        const double angle = std::round(std::atan2(dy, dx) / step) * step;
        const double length = std::hypot(dx, dy);
        const QPointF v(length * std::cos(angle), length * std::sin(angle));
        double t = 1;
        if (std::abs(v.x()) > 0.001)
            t = std::min(t, ((v.x() > 0 ? L.x() + L.width() : L.x()) - s.x()) / v.x());
        if (std::abs(v.y()) > 0.001)
            t = std::min(t, ((v.y() > 0 ? L.y() + L.height() : L.y()) - s.y()) / v.y());
        return s + v * t;
    }
    default:
        return e;
    }
}

} // namespace korvel
