#pragma once

#include "../screensource.h"
#include "screencopy.h"

#include <QObject>

#include <map>
#include <memory>
#include <vector>

namespace korvel::wayland {

class Connection;

// Still images of every output through wlr-screencopy, into shared memory.
// Displays are listed in the compositor's logical layout; the output at
// the layout's origin counts as the primary one. Shortly after it is made,
// every output is copied once and the image dropped: the shared memory
// stays, so that the first capture costs no more than later ones.
class ScreenSource final : public korvel::ScreenSource {
public:
    explicit ScreenSource(Connection& connection);
    ~ScreenSource() override;

    std::vector<Display> displays() override;
    void prepare(const std::vector<Display>& displays) override;
    QSize pixelSize(const Display& display) override;
    QImage grab(const Display& display) override;

private:
    void finishWarmUp();

    Connection& connection_;
    std::map<quint32, std::unique_ptr<ScreencopyFrame>> pending_;
    std::vector<std::unique_ptr<ScreencopyFrame>> warmUp_;
    QObject context_;
};

} // namespace korvel::wayland
