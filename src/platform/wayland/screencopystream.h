#pragma once

#include "../windowstream.h"

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korvel::wayland {

// The output that a stream of `window` reads, as an index into `outputs`
// (logical layout): the one holding the centre of `region`, the part of the
// window wanted; without a region, or with one off the window's outputs, the
// one holding most of the window; -1 when none shows the window.
int streamOutput(const std::vector<QRect>& outputs, const QRect& window, const QRectF& region);

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
    // The area picks the output read when the window spans several; frames
    // still hold the whole window.
    void setArea(const QRect& area, bool active) override;

private:
    struct State;
    Locate locate_;
    std::shared_ptr<State> state_;
};

} // namespace korvel::wayland
