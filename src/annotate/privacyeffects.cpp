#include "privacyeffects.h"

#include "capture/screensnapshot.h"
#include "imagefilters.h"

#include <QPainter>

#include <cmath>

namespace korvel {

std::optional<QImage> PrivacyTileCache::find(const QString& key) const {
    if (auto it = tiles_.constFind(key); it != tiles_.constEnd())
        return *it;
    return std::nullopt;
}

void PrivacyTileCache::insert(const QString& key, const QImage& tile) {
    const qint64 n = qint64(tile.width()) * tile.height();
    if (tiles_.size() >= maxTiles || pixels_ + n > maxPixels)
        clear();
    if (n <= maxPixels) {
        pixels_ -= tiles_.contains(key) ? qint64(tiles_[key].width()) * tiles_[key].height() : 0;
        tiles_.insert(key, tile);
        pixels_ += n;
    }
}

void PrivacyTileCache::clear() {
    tiles_.clear();
    pixels_ = 0;
}

double privacyStrength(const Mark& mark) {
    if (mark.isMosaicBrush())
        return 1.5;
    return std::isfinite(mark.width) && mark.width > 0 ? mark.width : 0.0;
}

double privacyAmount(double strength, const PrivacySurface& surface) {
    const double points = std::max(strength * 8, 12.0);
    const double ratio =
        surface.viewSize.width() > 0 ? surface.image.width() / surface.viewSize.width() : 1.0;
    return points * (std::isfinite(ratio) && ratio > 0 ? ratio : 1.0);
}

QString privacyTileKey(Tool tool, double strength, const QRect& p) {
    return QStringLiteral("%1:%2:%3,%4,%5,%6")
        .arg(int(tool))
        .arg(strength)
        .arg(p.x())
        .arg(p.y())
        .arg(p.width())
        .arg(p.height());
}

namespace {

// The filtered pixels of `pixels` (image pixels, top-left origin), or a null
// image when they cannot be produced.
QImage renderTile(const Mark& mark, const PrivacySurface& surface, const QRect& pixels,
                  double strength) {
    if (surface.image.isNull() || pixels.isEmpty())
        return {};
    const double amount = privacyAmount(strength, surface);
    if (mark.tool == Tool::mosaic) {
        const double largest = std::max(surface.image.width(), surface.image.height());
        return pixellate(surface.image, pixels, int(std::lround(std::min(amount, largest))));
    }
    return gaussianBlur(surface.image, pixels, amount);
}

} // namespace

void drawPrivacyMark(QPainter& painter, const Mark& mark, const PrivacySurface& surface,
                     PrivacyTileCache& cache) {
    if (mark.tool != Tool::mosaic && mark.tool != Tool::blur)
        return;
    const QRectF view(QPointF(0, 0), surface.viewSize);
    const QRectF c = mark.bounds().translated(-surface.annotationOrigin).intersected(view);
    if (!(c.width() >= 1) || !(c.height() >= 1))
        return;
    const QRect p = pixelCrop(c, surface.viewSize, surface.pixelSize);
    if (p.isEmpty())
        return;
    const double strength = privacyStrength(mark);
    const QString key = privacyTileKey(mark.tool, strength, p);

    QImage tile;
    if (auto cached = cache.find(key)) {
        tile = *cached;
    } else {
        // The image may have another pixel size than the view stands for.
        const QRect q = pixelCrop(c, surface.viewSize, surface.image.size());
        tile = renderTile(mark, surface, q, strength);
        if (!tile.isNull())
            cache.insert(key, tile);
    }

    // The tile covers whole pixels, so it is placed on the pixel rectangle
    // in points rather than on the fractional area: tiles land pixel-exact.
    const double sx = surface.viewSize.width() / surface.pixelSize.width();
    const double sy = surface.viewSize.height() / surface.pixelSize.height();
    const QRectF target(p.x() * sx, surface.viewSize.height() - (p.y() + p.height()) * sy,
                        p.width() * sx, p.height() * sy);
    const QRectF placed = target.translated(surface.annotationOrigin);

    painter.save();
    painter.setClipRect(view.translated(surface.annotationOrigin), Qt::IntersectClip);
    if (mark.isMosaicBrush())
        painter.setClipPath(mark.brushMask(), Qt::IntersectClip);
    if (tile.isNull()) {
        painter.fillRect(placed, Qt::black);
    } else {
        // The tile's rows run top to bottom; annotation space runs up.
        painter.translate(placed.x(), placed.y() + placed.height());
        painter.scale(1, -1);
        painter.drawImage(QRectF(QPointF(0, 0), placed.size()), tile);
    }
    painter.restore();
}

} // namespace korvel
