#pragma once

#include "../windowstream.h"

#include <functional>
#include <memory>
#include <optional>

namespace korvel::portal {

// Where a window lies in the stream of the output it is on: the output's
// window-list id for that stream, the output's size and the window's
// rectangle in the output's frames.
struct WindowPart {
    quint32 output = 0;
    QSize outputSize;
    QRect rect;
};

// A stream of one window read from the stream of its output (a screen
// cast shares monitors, not windows): areas move by the window's place on
// the output, and whole frames are cut to the window.
class WindowPartStream final : public WindowStream {
public:
    using Locate = std::function<std::optional<WindowPart>(quint32 window)>;

    WindowPartStream(std::unique_ptr<WindowStream> output, Locate locate);

    void start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
               FrameHandler onFrame, StopHandler onStop) override;
    void stop() override { output_->stop(); }
    void setArea(const QRect& area, bool active) override;

private:
    std::unique_ptr<WindowStream> output_;
    Locate locate_;
    QRect window_;
};

} // namespace korvel::portal
