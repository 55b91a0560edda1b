#pragma once

#include "../windowstream.h"
#include "x11connection.h"

#include <memory>

namespace korvel::x11 {

// A live window stream made of timed grabs on the consumer's queue. Where a
// compositor runs, the window's own off-screen pixmap is read, so windows
// on top do not show through; otherwise the window's area of the root
// window. Frames cover the window with its frame decorations, the bounds
// the window list reports.
class WindowStream final : public korvel::WindowStream {
public:
    explicit WindowStream(Connection& connection);
    ~WindowStream() override;

    void start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
               FrameHandler onFrame, StopHandler onStop) override;
    void stop() override;

    // Whether the last start found a compositor to read pixmaps from.
    bool usesComposite() const;

private:
    struct State;
    std::shared_ptr<State> state_;
};

} // namespace korvel::x11
