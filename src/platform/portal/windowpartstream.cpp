#include "windowpartstream.h"

namespace korvel::portal {

WindowPartStream::WindowPartStream(std::unique_ptr<WindowStream> output, Locate locate)
    : output_(std::move(output))
    , locate_(std::move(locate)) {}

void WindowPartStream::start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
                             FrameHandler onFrame, StopHandler onStop) {
    const std::optional<WindowPart> part = locate_(configuration.window);
    if (!part || part->rect.isEmpty())
        throw Error(QStringLiteral("Korvel"), 4, QStringLiteral("目标窗口已移动、缩放或关闭。"));
    window_ = part->rect;
    WindowStreamConfiguration whole = configuration;
    whole.window = part->output;
    whole.size = part->outputSize;
    output_->start(
        whole, queue,
        [window = window_, onFrame = std::move(onFrame)](const WindowFrame& frame) {
            WindowFrame moved = frame;
            if (frame.area.isEmpty())
                moved.image = frame.image.copy(window);
            else
                moved.area = frame.area.translated(-window.topLeft());
            onFrame(moved);
        },
        std::move(onStop));
}

void WindowPartStream::setArea(const QRect& area, bool active) {
    output_->setArea(area.isEmpty() ? window_ : area.translated(window_.topLeft()), active);
}

} // namespace korvel::portal
