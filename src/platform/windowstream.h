#pragma once

#include "error.h"

#include <QImage>
#include <QRect>
#include <QSize>

#include <chrono>
#include <functional>

namespace korvel {

class SerialQueue;

// One delivery of a live window stream, format ARGB32_Premultiplied (BGRA
// in memory), in device pixels: the asked area of the window, or the whole
// window (origin at its top-left corner) when `area` is empty. Incomplete
// frames (the window was briefly unreadable) carry no usable pixels and are
// to be skipped.
struct WindowFrame {
    QImage image;
    bool complete = true;
    QRect area; // in window pixels; empty: the whole window
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
    // Only `area` (window pixels) is wanted, and only while `active`: a
    // stream that can read parts delivers just that, and nothing while
    // inactive; a new area is read at once. Others go on delivering the
    // whole window, which the consumer crops.
    virtual void setArea(const QRect& area, bool active) {
        Q_UNUSED(area);
        Q_UNUSED(active);
    }
};

} // namespace korvel
