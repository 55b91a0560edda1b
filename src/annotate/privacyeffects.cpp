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
    const QImage& image = surface.image;
    // The filters only read near the area, so they get just that window of
    // the image: a long image is never converted or copied whole for a tile.
    // Windows start on the block grid, or reach as far as the blur does, so
    // the pixels come out as from the whole image.
    QRect window;
    const auto filter = [&](auto&& run) {
        window = window.intersected(image.rect());
        const QImage part = window == image.rect() ? image : image.copy(window);
        return run(part, pixels.translated(-window.topLeft()));
    };
    if (mark.tool == Tool::mosaic) {
        const double largest = std::max(image.width(), image.height());
        const int block = std::max(1, int(std::lround(std::min(amount, largest))));
        const int x0 = pixels.x() / block * block, y0 = pixels.y() / block * block;
        const int x1 = (pixels.x() + pixels.width() + block - 1) / block * block;
        const int y1 = (pixels.y() + pixels.height() + block - 1) / block * block;
        window = QRect(x0, y0, x1 - x0, y1 - y0);
        return filter(
            [&](const QImage& part, const QRect& area) { return pixellate(part, area, block); });
    }
    const std::array<int, 3> radii = boxRadiiForGaussian(amount);
    const int reach = radii[0] + radii[1] + radii[2] + 1;
    window = pixels.adjusted(-reach, -reach, reach, reach);
    return filter(
        [&](const QImage& part, const QRect& area) { return gaussianBlur(part, area, amount); });
}

} // namespace

void drawPrivacyMark(QPainter& painter, const Mark& mark, const PrivacySurface& surface,
                     PrivacyTileCache& cache, std::optional<QRectF> exposed) {
    if (mark.tool != Tool::mosaic && mark.tool != Tool::blur)
        return;
    const QRectF view(QPointF(0, 0), surface.viewSize);
    QRectF c = mark.bounds().translated(-surface.annotationOrigin).intersected(view);
    if (!(c.width() >= 1) || !(c.height() >= 1))
        return;
    QRect p = pixelCrop(c, surface.viewSize, surface.pixelSize);
    if (p.isEmpty())
        return;
    // A tile that would never be cached would be filtered whole on every
    // frame; on screen only its repainted part is. Filters read around the
    // part, so the pieces join without seams.
    if (exposed && qint64(p.width()) * p.height() > PrivacyTileCache::maxPixels) {
        c = c.intersected(*exposed);
        if (!(c.width() > 0) || !(c.height() > 0))
            return;
        p = pixelCrop(c, surface.viewSize, surface.pixelSize);
        if (p.isEmpty())
            return;
    }
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
