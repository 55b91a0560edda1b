#pragma once

#include "mark.h"

#include <QHash>
#include <QImage>
#include <QSizeF>

#include <optional>

class QPainter;

namespace korvel {

// Rendered privacy tiles of one canvas, so that repaints during a drag do not
// filter again. Bounded by count and by pixels; when a new tile would break a
// bound the whole cache is emptied (tiles are cheap to rebuild, bookkeeping
// per tile is not worth it).
class PrivacyTileCache {
public:
    static constexpr int maxTiles = 32;
    static constexpr qint64 maxPixels = 8'000'000;

    std::optional<QImage> find(const QString& key) const;
    void insert(const QString& key, const QImage& tile);
    void clear();

    int size() const { return int(tiles_.size()); }
    qint64 pixels() const { return pixels_; }

private:
    QHash<QString, QImage> tiles_;
    qint64 pixels_ = 0;
};

// What privacy rendering reads of its canvas.
struct PrivacySurface {
    QImage image;             // the background, full pixel size
    QSizeF viewSize;          // the canvas in points
    QSize pixelSize;          // pixels the view stands for (normally image.size())
    QPointF annotationOrigin; // annotation space of the view's lower-left corner
};

// The filter strength of a privacy mark: brush strokes always 1.5 (their
// width sets the brush size), other marks their width.
double privacyStrength(const Mark& mark);

// The block size or blur radius in pixels for a strength on a surface.
double privacyAmount(double strength, const PrivacySurface& surface);

QString privacyTileKey(Tool tool, double strength, const QRect& pixels);

// Renders a mosaic or blur mark from the surface's own pixels. The painter
// maps annotation space (y up) to the device. Where the image cannot be
// filtered the area is filled black, never left showing the original.
// On screen, `exposed` is the part being repainted (view space): a tile too
// large to keep is then filtered for that part only.
void drawPrivacyMark(QPainter& painter, const Mark& mark, const PrivacySurface& surface,
                     PrivacyTileCache& cache, std::optional<QRectF> exposed = {});

} // namespace korvel
