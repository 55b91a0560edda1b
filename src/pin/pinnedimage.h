#pragma once

#include <QByteArray>
#include <QImage>
#include <QObject>
#include <QRectF>

#include <functional>
#include <memory>

class QLabel;
class QMenu;
class QSlider;
class QWidget;

namespace korvel {

class PinnedImageView;

// A screenshot kept on screen: a frameless window above ordinary windows
// that the user moves, zooms, fades, copies and closes. Owned by the
// application delegate until it reports closing.
class PinnedImage final : public QObject {
    Q_OBJECT

public:
    // `frame` is in Qt's global coordinates (logical pixels). No pin for data
    // that is not an image or a frame without area.
    static std::unique_ptr<PinnedImage> create(const QByteArray& data, const QRectF& frame);
    // The same for data decoded already into `image`.
    static std::unique_ptr<PinnedImage> create(QByteArray data, QImage image, const QRectF& frame);
    ~PinnedImage() override;

    // Shows the pin and gives it the keyboard; nothing after it closed.
    void showWindow();

    // Told once, when the window closes.
    std::function<void()> onClose;

    void copyImage();
    void closePin();
    void resetSize();
    void changeTransparency(int percent);
    void resetOpacity();

    // Zoom relative to the creation size, about the window's centre or a
    // global point.
    void setZoom(double z);
    void setZoom(double z, QPointF anchor);
    void setOpacity(double alpha);

    double zoom() const { return zoom_; }
    double opacity() const { return opacity_; }
    QSizeF originalSize() const { return originalSize_; }
    const QByteArray& imageData() const { return imageData_; }
    bool isClosed() const { return closed_; }
    QWidget* window() const;
    PinnedImageView* view() const { return view_; }
    QMenu* menu() const { return menu_; }
    QSlider* transparencySlider() const { return transparencySlider_; }
    QLabel* transparencyLabel() const { return transparencyLabel_; }

private:
    PinnedImage(QByteArray data, QImage image, const QRectF& frame);
    void buildMenu();
    void windowClosing();
    void followWindow();

    QSizeF originalSize_;
    double zoom_ = 1.0;
    double opacity_ = 1.0;
    QByteArray imageData_;
    bool closed_ = false;
    // The frame before rounding to whole pixels, so that zooming back and
    // forth does not drift.
    QRectF frame_;
    std::unique_ptr<QWidget> window_;
    PinnedImageView* view_ = nullptr;
    QMenu* menu_ = nullptr;
    QSlider* transparencySlider_ = nullptr;
    QLabel* transparencyLabel_ = nullptr;
};

} // namespace korvel
