#pragma once

#include "../pngcheck.h"
#include "../screensource.h"

#include <QImage>
#include <QVariantMap>

#include <chrono>
#include <map>
#include <memory>
#include <optional>

namespace korvel::kde {

// The pixels KWin writes into the pipe, as its answer describes them.
struct RawImage {
    QSize size;
    qint64 stride = 0;
    QImage::Format format = QImage::Format_Invalid;

    qint64 bytes() const { return stride * size.height(); }
};

// The answer of a ScreenShot2 capture: raw 32-bit pixels of a sane size,
// else nothing. Sizes past `maximumPixels` are refused before anything is
// allocated for them.
std::optional<RawImage> rawImageOf(const QVariantMap& results,
                                   qint64 maximumPixels = maximumImagePixels);

// Reads the image from `fd` (non-blocking reads, waiting at most `timeout`
// in all); null when the writer stops short or takes too long.
QImage readRawImage(int fd, const RawImage& raw, std::chrono::milliseconds timeout);

// Whether this is a Plasma session (XDG_CURRENT_DESKTOP names KDE).
bool plasmaSession();
// Whether KWin offers ScreenShot2.
bool screenShotAvailable();

// Still images from KWin's ScreenShot2 service: every output at its native
// size, without a dialog, for a program whose desktop file KWin finds with
// X-KDE-DBUS-Restricted-Interfaces=org.kde.KWin.ScreenShot2. All outputs
// of a capture are asked for at once, so KWin takes them in one repaint.
// When KWin refuses or is missing, the capture goes on through `fallback`
// (the Screenshot portal), which also knows the outputs.
class ScreenSource final : public korvel::ScreenSource {
public:
    explicit ScreenSource(std::unique_ptr<korvel::ScreenSource> fallback);
    ~ScreenSource() override;

    std::vector<Display> displays() override { return fallback_->displays(); }
    void prepare(const std::vector<Display>& displays) override;
    QSize pixelSize(const Display& display) override { return fallback_->pixelSize(display); }
    QImage grab(const Display& display) override;
    bool accessGranted() override { return fallback_->accessGranted(); }
    QString accessSetting() override { return fallback_->accessSetting(); }

private:
    struct Request;
    std::unique_ptr<Request> ask(const Display& display);
    // Null when KWin refused or is missing; throws when it failed.
    std::optional<QImage> receive(Request& request, const Display& display);

    std::unique_ptr<korvel::ScreenSource> fallback_;
    std::map<quint32, std::unique_ptr<Request>> pending_;
    // Displays of the prepared capture not yet grabbed.
    std::vector<Display> remaining_;
    bool fallingBack_ = false;
};

} // namespace korvel::kde
