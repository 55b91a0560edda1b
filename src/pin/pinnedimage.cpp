#include "pinnedimage.h"

#include "pingeometry.h"
#include "pinnedimageview.h"
#include "platform/clipboard.h"
#include "platform/pngcheck.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QScreen>
#include <QSlider>
#include <QVBoxLayout>
#include <QWidgetAction>

#include <cmath>

namespace korvel {
namespace {

// The top-level window of a pin; reports its closing once to the pin.
class PinnedWindow final : public QWidget {
public:
    std::function<void()> onClosing;

protected:
    void closeEvent(QCloseEvent* event) override {
        event->accept();
        if (onClosing)
            onClosing();
    }
};

// The screen holding most of the frame; the window's own screen when the
// frame lies on none.
const QScreen* screenOf(const QRectF& frame, const QWidget& window) {
    const QScreen* best = nullptr;
    double bestArea = 0;
    for (const QScreen* screen : QGuiApplication::screens()) {
        const QRectF common = frame.intersected(QRectF(screen->geometry()));
        if (const double area = common.width() * common.height(); area > bestArea) {
            best = screen;
            bestArea = area;
        }
    }
    return best ? best : window.screen();
}

} // namespace

std::unique_ptr<PinnedImage> PinnedImage::create(const QByteArray& data, const QRectF& frame) {
    return create(data, decodedPng(data), frame);
}

std::unique_ptr<PinnedImage> PinnedImage::create(QByteArray data, QImage image,
                                                 const QRectF& frame) {
    if (!(frame.width() > 0) || !(frame.height() > 0) || !std::isfinite(frame.x()) ||
        !std::isfinite(frame.y()) || !std::isfinite(frame.width()) ||
        !std::isfinite(frame.height()) || image.isNull())
        return nullptr;
    return std::unique_ptr<PinnedImage>(new PinnedImage(std::move(data), std::move(image), frame));
}

PinnedImage::PinnedImage(QByteArray data, QImage image, const QRectF& frame)
    : originalSize_(frame.size())
    , imageData_(std::move(data))
    , frame_(frame) {
    auto window = std::make_unique<PinnedWindow>();
    window->setWindowFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
    window->setWindowTitle(QStringLiteral("Korvel · 贴图"));
    window->setObjectName(QStringLiteral("korvel-pin"));
    window->setGeometry(pin::windowGeometry(frame));
    window->onClosing = [this] { windowClosing(); };
    auto* layout = new QVBoxLayout(window.get());
    layout->setContentsMargins(0, 0, 0, 0);
    view_ = new PinnedImageView(std::move(image), window.get());
    layout->addWidget(view_);
    // Laid out now, not only when shown, so the view has its size at once.
    view_->setGeometry(window->rect());
    window_ = std::move(window);

    QPointer<PinnedImage> self(this);
    view_->onCopy = [self] {
        if (self)
            self->copyImage();
    };
    view_->onZoom = [self](double factor, QPointF anchor) {
        if (self)
            self->setZoom(self->zoom_ * factor, anchor);
    };
    view_->onOpacity = [self](double delta) {
        if (self)
            self->setOpacity(self->opacity_ + delta);
    };
    view_->onReset = [self] {
        if (self)
            self->setZoom(1);
    };
    view_->onClose = [self] {
        if (self)
            self->closePin();
    };
    view_->onContextMenu = [self](QPoint at) {
        if (self && self->menu_)
            self->menu_->popup(at);
    };
    buildMenu();
    view_->setFocus();
}

PinnedImage::~PinnedImage() {
    // Destroying the window is not a close the owner needs to hear of.
    if (auto* w = static_cast<PinnedWindow*>(window_.get()))
        w->onClosing = nullptr;
}

QWidget* PinnedImage::window() const {
    return window_.get();
}

void PinnedImage::buildMenu() {
    menu_ = new QMenu(window_.get());
    QAction* copy = menu_->addAction(QStringLiteral("复制"), this, &PinnedImage::copyImage);
    copy->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    menu_->addAction(QStringLiteral("关闭贴图"), this, &PinnedImage::closePin);
    menu_->addSeparator();
    QAction* reset =
        menu_->addAction(QStringLiteral("恢复原始大小"), this, &PinnedImage::resetSize);
    reset->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_0));

    // 240 × 64: the caption and the value above the slider.
    auto* panel = new QWidget;
    panel->setFixedSize(240, 64);
    auto* caption = new QLabel(QStringLiteral("透明度"), panel);
    caption->setGeometry(20, 8, 140, 20);
    transparencyLabel_ = new QLabel(QStringLiteral("0%"), panel);
    transparencyLabel_->setGeometry(170, 8, 50, 20);
    transparencyLabel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    transparencySlider_ = new QSlider(Qt::Horizontal, panel);
    transparencySlider_->setGeometry(20, 32, 200, 24);
    transparencySlider_->setRange(0, 80);
    transparencySlider_->setValue(0);
    transparencySlider_->setTracking(true);
    transparencySlider_->setAccessibleName(QStringLiteral("透明度"));
    connect(transparencySlider_, &QSlider::valueChanged, this, &PinnedImage::changeTransparency);
    auto* item = new QWidgetAction(menu_);
    item->setText(QStringLiteral("透明度"));
    item->setDefaultWidget(panel);
    menu_->addAction(item);

    menu_->addAction(QStringLiteral("恢复不透明"), this, &PinnedImage::resetOpacity);
}

void PinnedImage::showWindow() {
    if (closed_)
        return;
    window_->show();
    window_->raise();
    window_->activateWindow();
    view_->setFocus(Qt::ActiveWindowFocusReason);
}

void PinnedImage::copyImage() {
    Clipboard::copyPng(imageData_);
}

void PinnedImage::closePin() {
    window_->close();
}

void PinnedImage::resetSize() {
    setZoom(1);
}

void PinnedImage::changeTransparency(int percent) {
    setOpacity(1.0 - percent / 100.0);
}

void PinnedImage::resetOpacity() {
    setOpacity(1);
}

void PinnedImage::followWindow() {
    // The window may have been dragged since the frame was last set.
    if (window_->pos() != pin::windowGeometry(frame_).topLeft())
        frame_.moveTopLeft(window_->pos());
}

void PinnedImage::setZoom(double z) {
    followWindow();
    setZoom(z, frame_.center());
}

void PinnedImage::setZoom(double z, QPointF anchor) {
    if (!std::isfinite(z) || !std::isfinite(anchor.x()) || !std::isfinite(anchor.y()) || closed_)
        return;
    zoom_ = pin::clampZoom(z, originalSize_);
    const QSizeF size = originalSize_ * zoom_;
    followWindow();
    QRectF next = pin::zoomedFrame(frame_, size, anchor);
    if (const QScreen* screen = screenOf(frame_, *window_))
        next = pin::keepOnScreen(next, screen->availableGeometry());
    frame_ = next;
    window_->setGeometry(pin::windowGeometry(frame_));
    view_->update();
}

void PinnedImage::setOpacity(double alpha) {
    if (!std::isfinite(alpha))
        return;
    opacity_ = pin::clampOpacity(alpha);
    window_->setWindowOpacity(opacity_);
    const int percent = pin::transparencyPercent(opacity_);
    {
        const QSignalBlocker quiet(transparencySlider_);
        transparencySlider_->setValue(percent);
    }
    transparencyLabel_->setText(QString::number(percent) + u'%');
}

void PinnedImage::windowClosing() {
    if (closed_)
        return;
    closed_ = true;
    if (menu_)
        menu_->close();
    if (onClose)
        onClose();
}

} // namespace korvel
