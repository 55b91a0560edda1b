#pragma once

#include "../screensource.h"
#include "../wayland/waylandscreensource.h"

#include <optional>

namespace korvel::portal {

// The picture of one output inside an image of the whole desktop: the
// desktop image covers `layout` (logical units) at whatever scale the
// portal chose; the result has the output's own pixel size.
QImage outputImage(const QImage& desktop, const QRect& layout, const QRect& output, QSize pixels);

// Still images through the Screenshot portal, without its dialog where the
// desktop allows (GNOME asks once and remembers). One picture of the whole
// desktop serves every output of a capture; the outputs and their scales
// come from the compositor.
class ScreenSource final : public korvel::ScreenSource {
public:
    explicit ScreenSource(wayland::Connection& connection);

    std::vector<Display> displays() override;
    void prepare(const std::vector<Display>& displays) override;
    QSize pixelSize(const Display& display) override;
    QImage grab(const Display& display) override;
    bool accessGranted() override { return accessGranted_; }
    QString accessSetting() override;

private:
    QImage shoot();

    wayland::Connection& connection_;
    wayland::ScreenSource outputs_;
    QImage desktop_;
    QRect layout_;
    // Grabs left of the prepared capture; the desktop image goes with the last.
    int pending_ = 0;
    bool accessGranted_ = true;
};

} // namespace korvel::portal
