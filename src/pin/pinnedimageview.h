#pragma once

#include <QImage>
#include <QPoint>
#include <QWidget>

#include <functional>
#include <optional>

class QPainter;

namespace korvel {

// The content of a pinned image: the image scaled into the whole view, and
// the wheel, mouse and keys that drive the pin. The view only reports; the
// pin decides.
class PinnedImageView final : public QWidget {
public:
    explicit PinnedImageView(QImage image, QWidget* parent = nullptr);

    const QImage& image() const { return image_; }
    // A thin border around the image, for desktops that draw no shadow.
    void setFramed(bool framed);
    bool isFramed() const { return framed_; }

    std::function<void()> onCopy;
    // factor, and the global point that stays in place
    std::function<void(double, QPointF)> onZoom;
    std::function<void(double)> onOpacity;
    std::function<void()> onReset;
    std::function<void()> onClose;
    std::function<void(QPoint)> onContextMenu;

protected:
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void paintImage(QPainter& painter);
    // The image at `pixels` device pixels, averaged rather than sampled so
    // that a shrunken pin does not shimmer; kept until the size changes.
    const QImage& reduced(const QSize& pixels);

    QImage image_;
    QImage reduced_;
    // Where a left press began (global), and the window's origin then; a
    // drag starts only past the platform's drag distance so that double
    // clicks still arrive.
    std::optional<QPoint> pressedAt_;
    QPoint windowAtPress_;
    bool manualMove_ = false;
    bool framed_ = false;
};

} // namespace korvel
