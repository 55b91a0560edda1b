#include "frozenoverlay.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace korvel {
namespace {

class FrozenView final : public QWidget {
public:
    FrozenView(const ScreenSnapshot& snapshot, std::function<void()> dismiss)
        : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                               Qt::X11BypassWindowManagerHint)
        , image_(snapshot.image)
        , dismiss_(std::move(dismiss)) {
        setAttribute(Qt::WA_OpaquePaintEvent);
        setWindowTitle(QStringLiteral("Korvel"));
        image_.setDevicePixelRatio(snapshot.image.width() / snapshot.frame.width());
        setGeometry(QRectF(snapshot.screenOrigin, snapshot.frame.size()).toAlignedRect());
        setCursor(Qt::CrossCursor);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.drawImage(QPointF(0, 0), image_);
    }
    void keyPressEvent(QKeyEvent* event) override {
        if (event->key() == Qt::Key_Escape)
            dismiss_();
    }
    void mouseReleaseEvent(QMouseEvent* event) override {
        if (event->button() == Qt::RightButton)
            dismiss_();
    }

private:
    QImage image_;
    std::function<void()> dismiss_;
};

} // namespace

FrozenOverlays::FrozenOverlays(const std::vector<ScreenSnapshot>& snapshots) {
    for (const ScreenSnapshot& s : snapshots)
        windows_.push_back(std::make_unique<FrozenView>(s, [this] { close(); }));
}

FrozenOverlays::~FrozenOverlays() = default;

void FrozenOverlays::showWindow() {
    for (auto& w : windows_) {
        w->show();
        w->raise();
    }
    if (!windows_.empty()) {
        windows_.front()->activateWindow();
        // Bypass windows get no focus from the window manager.
        windows_.front()->grabKeyboard();
    }
}

void FrozenOverlays::close() {
    if (closed_)
        return;
    closed_ = true;
    for (auto& w : windows_) {
        w->releaseKeyboard();
        w->hide();
    }
    if (onClose)
        onClose();
}

std::vector<QWidget*> FrozenOverlays::overlays() const {
    std::vector<QWidget*> result;
    for (const auto& w : windows_)
        result.push_back(w.get());
    return result;
}

} // namespace korvel
