#pragma once

#include "../screensource.h"
#include "screencopy.h"

#include <map>
#include <memory>

namespace korvel::wayland {

class Connection;

// Still images of every output through wlr-screencopy, into shared memory.
// Displays are listed in the compositor's logical layout; the output at
// the layout's origin counts as the primary one.
class ScreenSource final : public korvel::ScreenSource {
public:
    explicit ScreenSource(Connection& connection);
    ~ScreenSource() override;

    std::vector<Display> displays() override;
    void prepare(const std::vector<Display>& displays) override;
    QSize pixelSize(const Display& display) override;
    QImage grab(const Display& display) override;

private:
    Connection& connection_;
    std::map<quint32, std::unique_ptr<ScreencopyFrame>> pending_;
};

} // namespace korvel::wayland
