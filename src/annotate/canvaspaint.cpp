#include "canvas.h"

#include "export/pngencoder.h"

#include <QCursor>
#include <QDataStream>
#include <QPainter>
#include <QPaintEvent>
#include <QPixmap>

#include <cmath>

namespace korvel {
namespace {

QColor accentColor(const QWidget& widget) {
    return widget.palette().color(QPalette::Highlight);
}

// The cursor of the mosaic brush: a ring of the brush's diameter.
QCursor brushCursor(double strokeWidth, double ratio) {
    const double d = std::clamp(std::max(strokeWidth * 10, 18.0), 18.0, 240.0);
    const int side = int(std::ceil(d + 4));
    QPixmap pixmap(QSize(side, side) * ratio);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF circle(2, 2, d, d);
    p.setPen(QPen(Qt::black, 3));
    p.drawEllipse(circle);
    p.setPen(QPen(Qt::white, 1));
    p.drawEllipse(circle);
    p.end();
    return QCursor(pixmap, side / 2, side / 2);
}

} // namespace

void Canvas::drawMark(QPainter& painter, const Mark& mark, bool onScreen,
                      std::optional<QRectF> exposed) {
    if (mark.tool == Tool::mosaic || mark.tool == Tool::blur) {
        const PrivacySurface surface{image_, viewRect().size(), QSize(pixelWidth_, pixelHeight_),
                                     annotationOrigin};
        drawPrivacyMark(painter, mark, surface, privacyCache_, exposed);
    } else if (!onScreen || !drawSprite(painter, mark)) {
        mark.draw(painter);
    }
}

// Sprites are keyed by everything that shapes the pixels: the mark and the
// transform's scale and sub-pixel offset. The export never uses them.
bool Canvas::drawSprite(QPainter& painter, const Mark& mark) {
    constexpr qint64 maxBytes = 64ll << 20;
    constexpr qint64 maxSpritePixels = 4'000'000;
    const double dpr = painter.device()->devicePixelRatioF();
    const QTransform device = painter.combinedTransform() * QTransform::fromScale(dpr, dpr);
    // Text is left to the glyph cache: on a transparent sprite it would be
    // antialiased differently from text drawn over the image.
    if (device.type() > QTransform::TxScale || mark.tool == Tool::text || mark.tool == Tool::number)
        return false;
    const double grow = mark.paintWidth() / 2 + 2;
    const QRectF area = mark.bounds().adjusted(-grow, -grow, grow, grow);
    const QRect pixels = device.mapRect(area).toAlignedRect();
    if (pixels.isEmpty() || qint64(pixels.width()) * pixels.height() > maxSpritePixels)
        return false;

    QByteArray key;
    {
        QDataStream out(&key, QIODevice::WriteOnly);
        out << int(mark.tool) << mark.color << mark.width << mark.number << mark.text
            << mark.fontSize << device.m11() << device.m22() << (device.dx() - pixels.x())
            << (device.dy() - pixels.y()) << pixels.size();
        for (QPointF p : mark.points)
            out << p;
    }
    const quint64 hash = qHashBits(key.constData(), size_t(key.size()), 0x4b6f72766c);
    auto it = sprites_.find(hash);
    if (it == sprites_.end()) {
        QImage sprite(pixels.size(), QImage::Format_ARGB32_Premultiplied);
        if (sprite.isNull())
            return false;
        sprite.fill(Qt::transparent);
        QPainter p(&sprite);
        p.setTransform(device * QTransform::fromTranslate(-pixels.x(), -pixels.y()));
        mark.draw(p);
        p.end();
        const qint64 bytes = sprite.sizeInBytes();
        if (spriteBytes_ + bytes > maxBytes) {
            sprites_.clear();
            spriteBytes_ = 0;
        }
        spriteBytes_ += bytes;
        it = sprites_.insert(hash, sprite);
    }
    painter.save();
    painter.setTransform(QTransform::fromScale(1 / dpr, 1 / dpr));
    painter.drawImage(QPointF(pixels.topLeft()), *it);
    painter.restore();
    return true;
}

// Marks in annotation space over a painter already mapped onto the view's
// bounds (`exposed` is in the same coordinates, y down).
void Canvas::paintMarks(QPainter& painter, bool onScreen, std::optional<QRectF> exposed) {
    const bool decorations = onScreen;
    const QSizeF view = viewRect().size();
    // The exposed part in view space (y up) and in annotation space.
    std::optional<QRectF> exposedView, exposedMarks;
    if (exposed) {
        exposedView = QRectF(exposed->x(), view.height() - exposed->y() - exposed->height(),
                             exposed->width(), exposed->height());
        exposedMarks = exposedView->translated(annotationOrigin);
    }
    painter.save();
    painter.setClipRect(QRectF(QPointF(0, 0), view), Qt::IntersectClip);
    painter.translate(0, view.height());
    painter.scale(1, -1);
    painter.translate(-annotationOrigin);
    for (qsizetype i = 0; i < marks_.size(); ++i) {
        if (decorations && textField_ && textIndex_ == i)
            continue; // its editor shows it
        const Mark& mark = marks_[i];
        if (exposedMarks) {
            // Pens, caps and arrow heads reach past the outline by about the
            // stroke width.
            const double grow = mark.paintWidth() + 8;
            if (!mark.bounds().adjusted(-grow, -grow, grow, grow).intersects(*exposedMarks))
                continue;
        }
        drawMark(painter, mark, onScreen, exposedView);
    }
    if (decorations) {
        if (draft_)
            drawMark(painter, *draft_, false); // changes with every pointer move
        if (validIndex(selected_))
            drawSelectionDecoration(painter, marks_[*selected_]);
    }
    painter.restore();
}

void Canvas::drawSelectionDecoration(QPainter& painter, const Mark& m) {
    const QColor accent = accentColor(*this);
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    QPen dashed(accent, 1);
    dashed.setDashPattern({4, 3});
    painter.setPen(dashed);
    painter.setBrush(Qt::NoBrush);
    const QRectF bounds = m.bounds();
    painter.drawRoundedRect(bounds.adjusted(-6, -6, 6, 6), 3, 3);
    painter.setPen(QPen(accent, 1));
    painter.setBrush(Qt::white);
    if (m.tool == Tool::arrow) {
        for (QPointF p : m.points)
            painter.drawEllipse(p, 4.0, 4.0);
    } else if (m.canResize()) {
        for (SelectionHandle h : resizeHandles) {
            const QPointF c = handlePoint(h, bounds);
            painter.drawRect(QRectF(c.x() - 3, c.y() - 3, 6, 6));
        }
    }
    painter.restore();
}

void Canvas::paintEvent(QPaintEvent* event) {
    // Only what was exposed: in a scroll area the canvas may stand for an
    // image tens of thousands of rows high.
    const QRectF view = viewRect();
    const QRectF exposed = QRectF(event->rect()) & view;
    if (exposed.isEmpty())
        return;
    QPainter painter(this);
    if (!opaque_)
        painter.fillRect(exposed, Qt::transparent);
    // The exposed part relative to the view's bounds.
    const QRectF part = exposed.translated(-view.topLeft());
    const double sx = image_.width() / view.width(), sy = image_.height() / view.height();
    // Device pixels per point as painted: a render into a 2× image paints
    // at that, whatever the screen's ratio.
    const double ratio = std::abs(painter.deviceTransform().m11());
    if (view.width() * ratio < image_.width() - 0.5)
        paintShrunk(painter, exposed, view, ratio);
    else
        painter.drawImage(
            exposed, image_,
            QRectF(part.x() * sx, part.y() * sy, part.width() * sx, part.height() * sy));
    painter.translate(view.topLeft());
    paintMarks(painter, true, part);
}

void Canvas::paintShrunk(QPainter& painter, const QRectF& exposed, const QRectF& view,
                         double ratio) const {
    constexpr int bandRows = 256; // of the image
    const int width = std::max(1, int(std::lround(view.width() * ratio)));
    if (width != shrunkWidth_) {
        shrunkBands_.clear();
        shrunkWidth_ = width;
    }
    const double scale = double(width) / image_.width();
    const auto deviceRow = [&](int imageRow) { return int(std::lround(imageRow * scale)); };
    const int first = std::max(0, int((exposed.top() - view.top()) * ratio / scale) / bandRows);
    const int last = std::min((image_.height() - 1) / bandRows,
                              int((exposed.bottom() - view.top()) * ratio / scale) / bandRows);
    painter.save();
    painter.setClipRect(exposed);
    for (int band = first; band <= last; ++band) {
        const int top = band * bandRows;
        const int bottom = std::min(image_.height(), top + bandRows);
        const int rows = std::max(1, deviceRow(bottom) - deviceRow(top));
        auto cached = shrunkBands_.find(band);
        if (cached == shrunkBands_.end()) {
            QImage shrunk =
                image_.copy(0, top, image_.width(), bottom - top)
                    .scaled(width, rows, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            shrunk.setDevicePixelRatio(ratio);
            cached = shrunkBands_.emplace(band, std::move(shrunk)).first;
        }
        painter.drawImage(QPointF(view.left(), view.top() + deviceRow(top) / ratio),
                          cached->second);
    }
    painter.restore();
}

void Canvas::updateCursorAreas() {
    updateCursor(mapFromGlobal(QCursor::pos()));
}

QImage Canvas::renderImage() {
    commitText();
    const QSizeF view = viewRect().size();
    if (pixelWidth_ <= 0 || pixelHeight_ <= 0 || !(view.width() > 0) || !(view.height() > 0))
        return {};
    // Opaque screenshots render without alpha: faster to paint and to encode.
    const QImage::Format format =
        opaque_ ? QImage::Format_RGB32 : QImage::Format_ARGB32_Premultiplied;
    // An image of exactly the export's size is copied rather than drawn
    // through the scale: the same pixels, at memory speed for long images.
    const bool exact = image_.size() == QSize(pixelWidth_, pixelHeight_);
    QImage out = exact ? image_.convertToFormat(format) : QImage(pixelWidth_, pixelHeight_, format);
    if (out.isNull())
        return {};
    if (!exact && !opaque_)
        out.fill(Qt::transparent);
    out.setDevicePixelRatio(1);
    QPainter painter(&out);
    // One view point covers the pixel ratio's pixels, so tiles land exactly.
    painter.scale(pixelWidth_ / view.width(), pixelHeight_ / view.height());
    if (!exact)
        painter.drawImage(QRectF(QPointF(0, 0), view), image_);
    paintMarks(painter, false);
    painter.end();
    return out;
}

std::optional<QByteArray> Canvas::png() {
    const QImage image = renderImage();
    if (image.isNull())
        return std::nullopt;
    return encodePng(image);
}

void Canvas::updateCursor(QPointF widgetPoint) {
    if (brushActive()) {
        setCursor(brushCursor(strokeWidth, devicePixelRatioF()));
        return;
    }
    const QPointF p = toAnnotation(widgetPoint);
    if (validIndex(selected_)) {
        const Mark& m = marks_[*selected_];
        auto near = [&](QPointF c) {
            return std::abs(c.x() - p.x()) <= 7 && std::abs(c.y() - p.y()) <= 7;
        };
        if (m.tool == Tool::arrow) {
            for (QPointF c : m.points) {
                if (near(c)) {
                    setCursor(Qt::CrossCursor);
                    return;
                }
            }
        } else if (m.canResize()) {
            for (SelectionHandle h : resizeHandles) {
                if (near(handlePoint(h, m.bounds()))) {
                    setCursor(handleCursor(h));
                    return;
                }
            }
        }
    }
    setCursor(selectionOnly ? Qt::ArrowCursor : Qt::CrossCursor);
}

} // namespace korvel
