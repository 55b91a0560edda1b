#pragma once

#include "error.h"

#include <QImage>
#include <QSize>

#include <chrono>
#include <functional>

namespace korvel {

class SerialQueue;

// One delivery of a live window stream: the whole window in device pixels,
// origin at its top-left corner, format ARGB32_Premultiplied (BGRA in
// memory). Incomplete frames (the window was briefly unreadable) carry no
// usable pixels and are to be skipped.
struct WindowFrame {
    QImage image;
    bool complete = true;
};

struct WindowStreamConfiguration {
    quint32 window = 0; // the window list's id of the source window
    QSize size;         // output size in device pixels
    std::chrono::microseconds minimumFrameInterval{1'000'000 / 60};
    int queueDepth = 6;
    bool showsCursor = false;
    bool ignoresShadows = true;
};

// A live stream of one window's pixels, the counterpart of a screen-capture
// stream: frames arrive on the caller's serial queue until `stop`.
class WindowStream {
public:
    using FrameHandler = std::function<void(const WindowFrame&)>;
    // The stream ended on its own (window gone, connection lost).
    using StopHandler = std::function<void(const Error&)>;

    virtual ~WindowStream() = default;

    // Throws korvel::Error when the stream cannot start. The handlers run
    // on `queue` only.
    virtual void start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
                       FrameHandler onFrame, StopHandler onStop) = 0;
    // Once it returns no handler runs any more; stopping twice is harmless.
    virtual void stop() = 0;
};

} // namespace korvel
