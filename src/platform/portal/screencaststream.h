#pragma once

#include "../windowlist.h"
#include "../windowstream.h"

#include <functional>
#include <memory>
#include <optional>

namespace korvel::portal {

// Whether the desktop offers screen casts of whole monitors.
bool screenCastAvailable();

// A stream of a started screen-cast session: its PipeWire node and where
// the portal says the monitor is, when it says so.
struct CastSource {
    quint32 node = 0;
    std::optional<QRect> area;
};
// The "streams" result of a session's Start.
std::vector<CastSource> castSources(const QVariant& streams);

// Without a window list, each output stands for a window of the long
// capture. They carry no layer, so a capture never offers them for hovering.
class OutputWindows final : public WindowList {
public:
    using Outputs = std::function<std::vector<QRect>()>;
    explicit OutputWindows(Outputs outputs)
        : outputs_(std::move(outputs)) {}
    std::vector<WindowInfo> windows() override;

private:
    Outputs outputs_;
};

// A live stream of one output through the ScreenCast portal and PipeWire.
// The desktop asks the user which screen to share the first time; the
// answer is kept (the portal's restore token in the settings) so the
// question does not come again. Frames, cropped to the asked area, are
// converted on the frame queue.
class ScreenCastStream final : public WindowStream {
public:
    // Where an output of OutputWindows is, in the logical layout.
    using Locate = std::function<std::optional<QRect>(quint32 window)>;

    explicit ScreenCastStream(Locate locate);
    ~ScreenCastStream() override;

    void start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
               FrameHandler onFrame, StopHandler onStop) override;
    void stop() override;
    void setArea(const QRect& area, bool active) override;

private:
    struct State;
    Locate locate_;
    std::shared_ptr<State> state_;
    QString session_;
};

} // namespace korvel::portal
