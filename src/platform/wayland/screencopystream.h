#pragma once

#include "../windowstream.h"

#include <functional>
#include <memory>
#include <optional>

namespace korvel::wayland {

// A live stream of one window's area on its output through wlr-screencopy:
// the compositor is asked for the area again as soon as a frame is in, and
// answers only when something on the output changed, so a still screen
// costs nothing. Wayland offers no window's own pixels to other clients:
// frames show what is on the screen there, as the user sees it. The stream
// speaks over a connection of its own, used only on the frame queue.
class ScreencopyStream final : public WindowStream {
public:
    // Where a window of the window list is, in the logical layout.
    using Locate = std::function<std::optional<QRect>(quint32 window)>;

    explicit ScreencopyStream(Locate locate);
    ~ScreencopyStream() override;

    void start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
               FrameHandler onFrame, StopHandler onStop) override;
    void stop() override;

private:
    struct State;
    Locate locate_;
    std::shared_ptr<State> state_;
};

} // namespace korvel::wayland
