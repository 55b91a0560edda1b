#include "pixelmagnifier.h"

#include "platform/clipboard.h"
#include "selectionadjustment.h"

#include <QColorSpace>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

constexpr int zoomFactor = 8;
constexpr int zoomColumns = 21;
constexpr int zoomRows = 13;
constexpr double pointerGap = 22;
constexpr double edgeMargin = 8;

QFont labelFont() {
    QFont font = QFontDatabase::families().contains(QStringLiteral("Menlo"))
                     ? QFont(QStringLiteral("Menlo"))
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPixelSize(12);
    return font;
}

// Fixed light-appearance colours: the loupe looks the same under a dark theme.
QColor labelColor() {
    return QColor::fromRgbF(0, 0, 0, 0.85f);
}
QColor lightGrey() {
    return QColor::fromRgbF(2 / 3.0f, 2 / 3.0f, 2 / 3.0f);
}
QColor zoomBackground() {
    return QColor::fromRgbF(0.9f, 0.9f, 0.9f);
}

// A y-up rectangle of the view in Qt's y-down widget coordinates.
QRectF viewRect(double x, double y, double w, double h) {
    return QRectF(x, PixelMagnifier::viewHeight - (y + h), w, h);
}

} // namespace

QString PixelSample::hex() const {
    QColor c = color.toRgb();
    if (!c.isValid())
        c = Qt::black;
    const auto channel = [](float f) {
        return static_cast<int>(std::lround(std::clamp(f, 0.0f, 1.0f) * 255));
    };
    return QString::asprintf("#%02X%02X%02X", channel(c.redF()), channel(c.greenF()),
                             channel(c.blueF()));
}

std::optional<PixelSample> sampleAt(const QImage& image, QPointF p, const QRectF& bounds) {
    if (image.isNull() || bounds.width() <= 0 || bounds.height() <= 0)
        return std::nullopt;
    const double w = image.width();
    const double h = image.height();
    // Clamped as doubles so a point far outside never overflows the int.
    const double column = std::trunc((p.x() - bounds.x()) / bounds.width() * w);
    const double row = std::trunc((p.y() - bounds.y()) / bounds.height() * h);
    const int x = static_cast<int>(std::clamp(column, 0.0, w - 1));
    // Display-local y grows up, image rows grow down.
    const int y = static_cast<int>(std::clamp(h - 1 - row, 0.0, h - 1));

    // Only the one pixel is converted: whole 4K snapshots are too slow to
    // convert on every pointer move.
    QImage pixel = image.copy(x, y, 1, 1);
    if (pixel.colorSpace().isValid() && pixel.colorSpace() != QColorSpace::SRgb)
        pixel.convertToColorSpace(QColorSpace::SRgb);
    pixel = std::move(pixel).convertToFormat(QImage::Format_RGBA8888_Premultiplied);
    const uchar* rgba = pixel.constBits();
    // Un-premultiplied; a fully transparent pixel has zero channels and reads
    // as black.
    const float a = std::max<float>(rgba[3], 1);
    const auto channel = [a](uchar c) { return std::min(c / a, 1.0f); };
    return PixelSample{x, y,
                       QColor::fromRgbF(channel(rgba[0]), channel(rgba[1]), channel(rgba[2]))};
}

QPointF magnifierOrigin(QPointF p, const QRectF& bounds) {
    const double w = PixelMagnifier::viewWidth;
    const double h = PixelMagnifier::viewHeight;
    // In y-up coordinates QRectF's top() is the minimum y and bottom() the maximum.
    double x0 = p.x() + pointerGap;
    if (x0 + w > bounds.right() - edgeMargin)
        x0 = p.x() - w - pointerGap;
    double y0 = p.y() - h - pointerGap;
    if (y0 < bounds.top() + edgeMargin)
        y0 = p.y() + pointerGap;
    x0 = std::max(bounds.left() + edgeMargin, std::min(x0, bounds.right() - w - edgeMargin));
    y0 = std::max(bounds.top() + edgeMargin, std::min(y0, bounds.bottom() - h - edgeMargin));
    return QPointF(x0, y0);
}

PixelMagnifier::PixelMagnifier(QImage image, QWidget* parent)
    : QWidget(parent)
    , image_(std::move(image))
    , labelFont_(labelFont()) {
    setAttribute(Qt::WA_TranslucentBackground);
    setAttribute(Qt::WA_TransparentForMouseEvents);
    resize(viewWidth, viewHeight);
    hide();
}

void PixelMagnifier::updateAt(QPointF p, const QRectF& bounds) {
    const std::optional<PixelSample> next = sampleAt(image_, p, bounds);
    if (!sample_ || !next || next->x != sample_->x || next->y != sample_->y)
        copied_ = false;
    sample_ = next;
    const QPointF origin = magnifierOrigin(p, bounds);
    // Display-local (y up) to the parent's widget coordinates. p is a pixel's
    // centre; rounding down keeps the loupe where the pointer's corner puts it.
    const double parentHeight = parentWidget() ? parentWidget()->height() : bounds.height();
    move(int(std::floor(origin.x())), int(std::floor(parentHeight - (origin.y() + viewHeight))));
    show();
    update();
}

bool PixelMagnifier::copyColor() {
    if (!sample_)
        return false;
    copied_ = Clipboard::copyText(sample_->hex());
    update();
    return copied_;
}

void PixelMagnifier::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor::fromRgbF(0, 0, 0, 0.25f), 1));
    painter.setBrush(Qt::white);
    painter.drawRoundedRect(QRectF(rect()).adjusted(1, 1, -1, -1), 8, 8);
    if (!sample_)
        return;
    drawZoom(painter, *sample_);

    drawLabel(painter, QPointF(12, 37),
              QStringLiteral("X %1  Y %2").arg(sample_->x).arg(sample_->y));
    painter.setPen(QPen(lightGrey(), 1));
    painter.setBrush(sample_->color);
    painter.drawRect(viewRect(12, 13, 16, 16));
    drawLabel(painter, QPointF(35, 13), sample_->hex());
    drawLabel(painter, QPointF(137, 13),
              copied_ ? QStringLiteral("已复制") : QStringLiteral("Alt+C"));
}

void PixelMagnifier::drawZoom(QPainter& painter, const PixelSample& s) const {
    const QRectF zoom = viewRect(11, 59, zoomColumns * zoomFactor, zoomRows * zoomFactor);
    painter.save();
    painter.setClipRect(zoom);
    painter.fillRect(zoom, zoomBackground());
    // Image rows grow down like the widget's, so the wanted rectangle's top
    // row lands at the zoom area's top; the clipped-away pixels stay grey.
    const QRect wanted(s.x - zoomColumns / 2, s.y - zoomRows / 2, zoomColumns, zoomRows);
    const QRect crop = wanted.intersected(image_.rect());
    if (!crop.isEmpty()) {
        const QRectF target(zoom.x() + (crop.x() - wanted.x()) * zoomFactor,
                            zoom.y() + (crop.y() - wanted.y()) * zoomFactor,
                            crop.width() * zoomFactor, crop.height() * zoomFactor);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
        // A copy of the crop, so that painting never converts the whole image.
        painter.drawImage(target, image_.copy(crop));
    }
    painter.setRenderHint(QPainter::Antialiasing, false);
    const QPointF c = zoom.center();
    for (const QPen& pen : {QPen(Qt::white, 3), QPen(selectionBorderColor(), 1)}) {
        painter.setPen(pen);
        painter.drawLine(QPointF(c.x(), zoom.top()), QPointF(c.x(), zoom.bottom()));
        painter.drawLine(QPointF(zoom.left(), c.y()), QPointF(zoom.right(), c.y()));
    }
    painter.restore();
}

// bottomLeft is the y-up corner of the text's line box, so the baseline sits
// one descent above it.
void PixelMagnifier::drawLabel(QPainter& painter, QPointF bottomLeft, const QString& text) const {
    painter.setFont(labelFont_);
    painter.setPen(labelColor());
    const double baseline = viewHeight - bottomLeft.y() - QFontMetricsF(labelFont_).descent();
    painter.drawText(QPointF(bottomLeft.x(), baseline), text);
}

} // namespace korvel
