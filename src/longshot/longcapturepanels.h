#pragma once

#include "capture/selectionadjustment.h"
#include "longcaptureaxis.h"

#include <QColor>
#include <QImage>
#include <QPointer>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;
class QToolButton;

namespace korvel {

// The selection handles' rules (which work y-up) applied to a rectangle in
// global top-left points, aspect ratio free.
QRectF adjustedTopLeft(SelectionHandle handle, const QRectF& r, QPointF delta,
                       const QRectF& bounds);

// The accent of the preview frame and the crop lines.
inline QColor systemBlue() {
    return {0, 122, 255};
}

// A floating panel of a long capture: above other windows, never taking the
// keyboard from the application being captured.
class LongCapturePanel : public QWidget {
public:
    explicit LongCapturePanel(QWidget* content = nullptr);
};

// The live preview: the long image fitted to the panel, its cropped ends
// shaded, the newest viewport framed in blue, in red while matching is broken.
class LongCapturePreview final : public QWidget {
public:
    QImage image;
    double viewportFraction = 1;
    double leadingCrop = 0;
    double trailingCrop = 0;
    bool reverseDirection = false;
    bool horizontal = false;
    bool matched = true;

    // Where the image is drawn within the bounds.
    QRectF imageRect() const;
    // The frame around the newest viewport; empty without an image.
    QRectF viewportRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;
};

// The frame around the capture region, 5 points outside it: only the ring
// belongs to the window, so the region itself never shows it and takes no
// clicks. While `showsHandles` (paused) the ring's handles move or resize.
class LongCaptureRegionView final : public QWidget {
public:
    LongCaptureRegionView();

    // Global top-left points.
    QRectF globalRect;
    QRectF constraint;
    std::function<void(const QRectF&)> onAdjust;

    void setShowsHandles(bool shows);
    bool showsHandles() const { return showsHandles_; }
    // Places the ring around `globalRect`.
    void follow();
    // Where windows are placed by the compositor (sway), a window over the
    // region keeps the pointer from the window below whatever its shape:
    // the ring then shows only with its handles, while the capture pauses.
    void setVisible(bool visible) override;

protected:
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void updateMask();

    bool showsHandles_ = false;
    bool wanted_ = false;
    const bool onlyWithHandles_;
    struct Drag {
        int handle;
        QPointF start;
        QRectF rect;
    };
    std::optional<Drag> drag_;
};

// Drags the capture region by a delta; a plain click does nothing else.
class LongCaptureMoveButton final : public QWidget {
public:
    LongCaptureMoveButton();

    std::function<void()> onBegin;
    std::function<void(QPointF)> onMove;
    std::function<void()> onEnd;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    std::optional<QPointF> origin_;
};

} // namespace korvel
