// The windows a capture leaves behind: pins and result windows, where they
// are placed and how the delegate lets them go.
#include "appdelegate.h"

#include "diagnostics.h"
#include "pin/pinnedimage.h"
#include "pin/pinnedimageview.h"
#include "platform/pngcheck.h"

#include <QCursor>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>
#include <QUuid>

#include <cmath>

namespace korvel {

// The editor reports a pin's frame in global bottom-left points; windows are
// placed in Qt's global coordinates. Every snapshot of the capture relates
// the two. The crop behind the pin widened the selection to whole pixels, so
// the pin covers exactly those pixels and shows them one to one.
QRectF pinFrame(const QRectF& bottomLeft, const QSize& pixels, const ScreenSnapshot& reference) {
    const QRectF& f = reference.frame;
    QRectF frame(reference.screenOrigin.x() + bottomLeft.x() - f.x(),
                 reference.screenOrigin.y() + f.y() + f.height() - bottomLeft.y() -
                     bottomLeft.height(),
                 bottomLeft.width(), bottomLeft.height());
    const double scale = f.width() > 0 ? reference.image.width() / f.width() : 0;
    if (!(scale > 0) || pixels.isEmpty())
        return frame;
    const QSizeF cropped(pixels.width() / scale, pixels.height() / scale);
    const double slack = 1.0 / scale + 1e-6;
    if (std::abs(cropped.width() - frame.width()) > slack ||
        std::abs(cropped.height() - frame.height()) > slack)
        return frame;
    return {std::floor(frame.x() * scale + 1e-6) / scale,
            std::floor(frame.y() * scale + 1e-6) / scale, cropped.width(), cropped.height()};
}

QRectF pinPlacement(const QSize& pixels, std::optional<QRectF> visibleFrame) {
    const QRectF visible = visibleFrame.value_or(QRectF(0, 0, 1000, 700));
    if (pixels.isEmpty())
        return QRectF(visible.center(), QSizeF(0, 0));
    const double scale = std::min(
        {visible.width() * 0.6 / pixels.width(), visible.height() * 0.6 / pixels.height(), 1.0});
    const QSizeF size(pixels.width() * scale, pixels.height() * scale);
    return QRectF(visible.center().x() - size.width() / 2, visible.center().y() - size.height() / 2,
                  size.width(), size.height());
}

bool AppDelegate::showPin(const QByteArray& png, std::optional<QRectF> frame) {
    return showPin(png, decodedPng(png), frame);
}

bool AppDelegate::showPin(const QByteArray& png, const QImage& image, std::optional<QRectF> frame) {
    if (image.isNull())
        return false;
    if (!frame) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        frame =
            pinPlacement(image.size(), screen ? std::optional(QRectF(screen->availableGeometry()))
                                              : std::nullopt);
    }
    std::unique_ptr<PinnedImage> pin = PinnedImage::create(png, image, *frame);
    if (!pin)
        return false;
    const QUuid id = QUuid::createUuid();
    QPointer<AppDelegate> self(this);
    pin->onClose = [self, id] {
        // Released later: the pin is inside its own close handling now.
        QTimer::singleShot(0, self, [self, id] {
            if (self && self->pinnedImages_.erase(id))
                self->writePins();
        });
    };
    PinnedImage* shown = pin.get();
    pinnedImages_.emplace(id, std::move(pin));
    // A pin stays in view when the user switches desktops. Without a
    // compositor it has no shadow, and a border tells it from the screen.
    if (platform_.windowHints) {
        platform_.windowHints->showOnAllDesktops(shown->window()->winId());
        shown->view()->setFramed(!platform_.windowHints->compositing());
    }
    shown->showWindow();
    writePins();
    return true;
}

bool AppDelegate::showPinAtPointer(const QByteArray& png, const QImage& image) {
    if (image.isNull())
        return false;
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return showPin(
        png, image,
        pinPlacement(image.size(),
                     screen ? std::optional(QRectF(screen->availableGeometry())) : std::nullopt));
}

void AppDelegate::writePins() const {
    std::vector<QRect> geometries;
    for (const auto& [id, pin] : pinnedImages_) {
        if (auto* p = qobject_cast<PinnedImage*>(pin.get()); p && p->window())
            geometries.push_back(p->window()->geometry());
    }
    writePinDiagnostics(geometries);
}

void AppDelegate::showResult(const QImage& image, const QString& title) {
    if (image.isNull())
        return;
    QPointer<AppDelegate> self(this);
    auto result = std::make_unique<LongScreenshotResult>(
        image, title,
        [self](const QByteArray& png) { return self && self->showPin(png, std::nullopt); },
        resultServices);
    const QUuid id = QUuid::createUuid();
    result->onClose = [self, id] {
        // Released later: the window is inside its own close handling.
        QTimer::singleShot(0, self, [self, id] {
            if (self)
                self->longResults_.erase(id);
        });
    };
    LongScreenshotResult* window = result.get();
    longResults_.emplace(id, std::move(result));
    window->showWindow();
}

std::vector<LongScreenshotResult*> AppDelegate::resultWindows() const {
    std::vector<LongScreenshotResult*> windows;
    for (const auto& [id, window] : longResults_) {
        if (auto* result = qobject_cast<LongScreenshotResult*>(window.get()))
            windows.push_back(result);
    }
    return windows;
}

} // namespace korvel
