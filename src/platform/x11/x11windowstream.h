#pragma once

#include "../windowstream.h"
#include "x11connection.h"

#include <memory>

namespace korvel::x11 {

// A live window stream read from the window's own off-screen pixmap, so no
// other window (Korvel's panels included) ever shows in a frame. Without a
// compositor the stream asks the server to keep that pixmap itself
// (automatic redirection); only a server without the Composite extension
// gets the window's area of the screen. Frames are read only while active,
// only for the asked area, and only when the window changed (Damage).
// Frames are in the window list's bounds of the window.
class WindowStream final : public korvel::WindowStream {
public:
    explicit WindowStream(Connection& connection);
    ~WindowStream() override;

    void start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
               FrameHandler onFrame, StopHandler onStop) override;
    void stop() override;
    void setArea(const QRect& area, bool active) override;

    // Whether frames come from the window's pixmap rather than the screen.
    bool usesComposite() const;
    // Frames read so far, for tests of the stream's cost.
    int grabs() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace korvel::x11
