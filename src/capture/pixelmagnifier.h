#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QString>
#include <QWidget>

#include <optional>

namespace korvel {

// One pixel of a snapshot image: column from the left, row from the top, and
// its opaque sRGB colour.
struct PixelSample {
    int x = 0;
    int y = 0;
    QColor color;

    // "#3B82F6": upper-case, two digits per channel.
    QString hex() const;
};

// The pixel of `image` under p, with p and bounds in display-local points
// (y up) of the overlay showing the image. Points on or past an edge take the
// edge pixel. Absent for a null image or empty bounds.
std::optional<PixelSample> sampleAt(const QImage& image, QPointF p, const QRectF& bounds);

// The loupe's display-local (y up) bottom-left corner for pointer p: beside
// and below the pointer, flipped where it would not fit, and kept 8 points
// clear of the bounds' edges.
QPointF magnifierOrigin(QPointF p, const QRectF& bounds);

// The loupe that follows the pointer over an overlay before a selection is
// locked: 21 × 13 pixels around the pointer at 8×, the pixel's coordinates
// and its colour code. It never takes the mouse, so clicks reach the overlay.
// Created hidden; the overlay hides it again when the pointer leaves.
class PixelMagnifier final : public QWidget {
public:
    static constexpr int viewWidth = 190;
    static constexpr int viewHeight = 174;

    // image is the display's frozen snapshot.
    explicit PixelMagnifier(QImage image, QWidget* parent = nullptr);

    const std::optional<PixelSample>& sample() const { return sample_; }
    // The current sample's code is on the clipboard; lasts until the
    // sampled pixel changes.
    bool copied() const { return copied_; }

    // Samples the pixel under p, moves beside it and shows. p and bounds are
    // display-local points of the parent overlay. Not named update(), which
    // would hide QWidget::update() for every caller.
    void updateAt(QPointF p, const QRectF& bounds);

    // Puts the sample's hex code on the clipboard; false without a sample or
    // when the clipboard refused it.
    bool copyColor();

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawZoom(QPainter& painter, const PixelSample& s) const;
    void drawLabel(QPainter& painter, QPointF bottomLeft, const QString& text) const;

    QImage image_;
    QFont labelFont_;
    std::optional<PixelSample> sample_;
    bool copied_ = false;
};

} // namespace korvel
