#include "mosaicbrushcheck.h"

#include "annotate/canvas.h"

#include <QApplication>
#include <QLineF>
#include <QMouseEvent>
#include <QPainter>
#include <QUndoStack>

#include <cmath>

namespace korvel::selfcheck {
namespace {

constexpr double ratio = 2; // pixels per point

// Distance from p to the nearest point of the polyline through `path`.
double distanceToPath(QPointF p, const QList<QPointF>& path) {
    double best = std::hypot(p.x() - path.front().x(), p.y() - path.front().y());
    for (qsizetype i = 1; i < path.size(); ++i) {
        const QPointF a = path[i - 1];
        const QPointF d = path[i] - a;
        const double length = QPointF::dotProduct(d, d);
        const double t =
            length > 0 ? std::clamp(QPointF::dotProduct(p - a, d) / length, 0.0, 1.0) : 0.0;
        const QPointF nearest = a + d * t;
        best = std::min(best, std::hypot(p.x() - nearest.x(), p.y() - nearest.y()));
    }
    return best;
}

void send(Canvas& canvas, QEvent::Type type, QPointF annotationPoint) {
    const QPointF w = canvas.toWidget(annotationPoint);
    const Qt::MouseButtons held =
        type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton;
    QMouseEvent event(type, w, canvas.mapToGlobal(w),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(&canvas, &event);
}

} // namespace

Failure checkMosaicBrush() {
    const QSize pixels(400, 300);
    const QImage original = checkerboard(pixels);
    QImage background = original;
    // A stray dot far from the stroke: the export then differs where no
    // brush went.
    if (broken("mosaic-brush"))
        QPainter(&background).fillRect(QRect(370, 10, 4, 4), Qt::red);

    QUndoStack undo;
    Canvas canvas(background, pixels, &undo);
    canvas.resize(pixels.width() / int(ratio), pixels.height() / int(ratio));
    canvas.tool = Tool::mosaic;
    canvas.mosaicMode = MosaicMode::brush;
    canvas.strokeWidth = 2;

    // Annotation points, y up: a stroke with a corner and a diagonal.
    const QList<QPointF> path = {{30, 40}, {70, 100}, {130, 100}, {160, 60}};
    send(canvas, QEvent::MouseButtonPress, path.front());
    for (qsizetype i = 1; i < path.size(); ++i) {
        for (int j = 1; j <= 8; ++j)
            send(canvas, QEvent::MouseMove, path[i - 1] + (path[i] - path[i - 1]) * (j / 8.0));
    }
    send(canvas, QEvent::MouseButtonRelease, path.back());
    if (canvas.marks().size() != 1 || !canvas.marks().front().isMosaicBrush())
        return QStringLiteral("the stroke made %1 marks").arg(canvas.marks().size());

    const std::optional<QByteArray> png = canvas.png();
    const QImage exported = png ? QImage::fromData(*png, "PNG") : QImage();
    if (exported.size() != pixels)
        return QStringLiteral("the export is not a %1x%2 PNG")
            .arg(pixels.width())
            .arg(pixels.height());
    const QImage result = exported.convertToFormat(QImage::Format_RGB32);

    // Edge pixels of the brush are blended; one point either side of the
    // edge may go either way.
    const double radius = canvas.marks().front().paintWidth() / 2;
    int changed = 0;
    for (int y = 0; y < pixels.height(); ++y) {
        for (int x = 0; x < pixels.width(); ++x) {
            const QPointF centre((x + 0.5) / ratio, (pixels.height() - y - 0.5) / ratio);
            const double d = distanceToPath(centre, path);
            const bool differs = result.pixel(x, y) != original.pixel(x, y);
            changed += differs;
            if (d < radius - 1 && !differs)
                return QStringLiteral("pixel %1,%2 under the brush is unchanged").arg(x).arg(y);
            if (d > radius + 1 && differs)
                return QStringLiteral("pixel %1,%2 away from the brush changed").arg(x).arg(y);
        }
    }
    if (changed == 0)
        return QStringLiteral("nothing changed");
    return std::nullopt;
}

} // namespace korvel::selfcheck
