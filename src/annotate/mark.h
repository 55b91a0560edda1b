#pragma once

#include "tool.h"

#include <QColor>
#include <QFont>
#include <QList>
#include <QPainterPath>
#include <QPen>
#include <QPointF>
#include <QRectF>
#include <QString>

class QPainter;

namespace korvel {

// One annotation. Coordinates are annotation space: points, origin at the
// lower left, y up. Rectangle-like tools use the first and last point, strokes
// use all points, text and number marks the first point only.
struct Mark {
    Tool tool = Tool::rectangle;
    QList<QPointF> points;
    QColor color = QColor(255, 59, 48);
    double width = 3;         // stroke width; effect strength for privacy areas
    bool mosaicBrush = false; // mosaic marks only: free-hand stroke, not a rectangle
    int number = 1;
    QString text;
    double fontSize = 20;

    friend bool operator==(const Mark&, const Mark&) = default;

    bool isMosaicBrush() const { return tool == Tool::mosaic && mosaicBrush; }
    double paintWidth() const;
    QFont textFont() const;
    // The pen every stroked tool draws with: paintWidth, round caps and joins.
    QPen pen() const;
    QPainterPath path() const;
    QPainterPath brushMask() const;
    QRectF bounds() const;
    bool canResize() const;
    bool hitTest(QPointF point) const;

    // Paints into a painter whose transform maps annotation space (y up) to
    // the device. Mosaic and blur marks are rendered from the image instead.
    void draw(QPainter& painter) const;

private:
    QSizeF textSize() const;
    void drawText(QPainter& painter) const;
    void drawNumber(QPainter& painter) const;
};

// Where the end point of a drag goes while Shift is held: squares and circles
// for rectangles and ellipses, 45° steps for arrows, always inside `limits`.
QPointF constrainedEndpoint(QPointF start, QPointF end, Tool tool, const QRectF& limits);

// The number of the next numbered marker: one above the highest existing
// one (numbering continues after deletions), 1 when there is none.
int nextMarkerNumber(const QList<Mark>& marks);

// Digits on a marker: black on light fills, white on dark ones.
QColor numberDigitColor(const QColor& fill);

// The font of number labels at a given size: semibold with even digits.
QFont numberFont(double size);

// The label size that fits 0.78 of the circle's diameter, shrunk in steps of
// one point but never below 6.
double numberLabelSize(const QString& label, double fontSize, double diameter);

} // namespace korvel
