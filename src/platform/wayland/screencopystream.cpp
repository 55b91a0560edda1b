#include "screencopystream.h"

#include "../serialqueue.h"
#include "screencopy.h"
#include "waylandconnection.h"

#include <QPainter>

#include <mutex>

namespace korvel::wayland {
namespace {

Error streamError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2, QStringLiteral("无法读取窗口画面（%1）").arg(detail));
}

// How long one turn on the queue waits for the compositor, so that the
// conversions queued behind it are never held up for long.
constexpr std::chrono::milliseconds slice{4};
constexpr std::chrono::milliseconds settle{120};

} // namespace

int streamOutput(const std::vector<QRect>& outputs, const QRect& window, const QRectF& region) {
    int best = -1;
    qint64 most = 0;
    for (size_t i = 0; i < outputs.size(); ++i) {
        const QRect shared = outputs[i].intersected(window);
        if (shared.isEmpty())
            continue;
        if (!region.isEmpty() && QRectF(outputs[i]).contains(region.center()))
            return int(i);
        if (qint64(shared.width()) * shared.height() > most) {
            most = qint64(shared.width()) * shared.height();
            best = int(i);
        }
    }
    return best;
}

struct ScreencopyStream::State {
    std::mutex mutex;
    bool running = false;
    quint64 session = 0; // bumped by every start, so turns of an old run end
    SerialQueue* queue = nullptr;
    WindowStreamConfiguration configuration;
    FrameHandler onFrame;
    StopHandler onStop;
    QRect window;     // logical layout
    QRect wantedArea; // window pixels; empty: the whole window

    // Touched on the queue only.
    std::unique_ptr<Connection> connection;
    const Output* output = nullptr;
    bool moved = false; // to another output: read it without waiting for damage
    std::unique_ptr<ScreencopyFrame> frame;
    SerialQueue::Clock::time_point lastFrame;

    bool current(quint64 s) {
        std::lock_guard guard(mutex);
        return running && session == s;
    }
    void end(quint64 s, const Error& error) {
        {
            std::lock_guard guard(mutex);
            if (!running || session != s)
                return;
            running = false;
        }
        onStop(error);
    }
    void schedule(const std::shared_ptr<State>& self, quint64 s,
                  std::chrono::microseconds delay = {}) {
        std::lock_guard guard(mutex);
        if (running && session == s)
            queue->postAfter(delay, [self, s] { self->turn(self, s); });
    }

    bool connect() {
        connection = Connection::open();
        if (!connection || !connection->screencopy())
            return false;
        output = wantedOutput();
        return output != nullptr;
    }

    QSize imageSize() const {
        return configuration.size.isEmpty() ? window.size() : configuration.size;
    }

    // The output holding the wanted area: a window spanning two outputs is
    // read where the area is, at that output's scale.
    const Output* wantedOutput() {
        QRectF region;
        {
            std::lock_guard guard(mutex);
            if (!wantedArea.isEmpty()) {
                const double sx = double(imageSize().width()) / window.width();
                const double sy = double(imageSize().height()) / window.height();
                region = QRectF(window.x() + wantedArea.x() / sx, window.y() + wantedArea.y() / sy,
                                wantedArea.width() / sx, wantedArea.height() / sy);
            }
        }
        const std::vector<const Output*> outputs = connection->outputs();
        std::vector<QRect> rects;
        rects.reserve(outputs.size());
        for (const Output* o : outputs)
            rects.push_back(o->logical);
        const int i = streamOutput(rects, window, region);
        return i < 0 ? nullptr : outputs[size_t(i)];
    }

    // The window's part on the output, placed in a window-sized image at
    // the configured size; what lies off the output stays black.
    QImage windowImage(const QImage& part, const QRect& area) const {
        const QSize size = imageSize();
        const double sx = double(size.width()) / window.width();
        const double sy = double(size.height()) / window.height();
        if (area == window && part.size() == size)
            return part;
        QImage whole(size, QImage::Format_ARGB32_Premultiplied);
        if (whole.isNull())
            return {};
        whole.fill(Qt::black);
        QPainter painter(&whole);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const QRectF target((area.x() - window.x()) * sx, (area.y() - window.y()) * sy,
                            area.width() * sx, area.height() * sy);
        painter.drawImage(target, part);
        return whole;
    }

    void turn(const std::shared_ptr<State>& self, quint64 s) {
        if (!current(s))
            return;
        if (!connection && !connect()) {
            end(s, streamError(QStringLiteral("混成器不提供屏幕复制")));
            return;
        }
        if (const Output* wanted = wantedOutput(); wanted && wanted != output) {
            frame.reset();
            output = wanted;
            moved = true;
        }
        const QRect area = output->logical.intersected(window);
        if (!frame) {
            frame = std::make_unique<ScreencopyFrame>(
                *connection, *output, area.translated(-output->logical.topLeft()), !moved);
            moved = false;
        }
        ScreencopyFrame* f = frame.get();
        connection->dispatchUntil([f] { return f->finished(); }, slice);
        if (connection->broken()) {
            end(s, streamError(QStringLiteral("与混成器的连接已断开")));
            return;
        }
        if (!f->finished()) {
            schedule(self, s);
            return;
        }
        const QImage part = f->take();
        frame.reset();
        const QImage image = part.isNull() ? QImage() : windowImage(part, area);
        onFrame(WindowFrame{image, !image.isNull(), QRect()});
        // At most one frame per interval, counted from the last one.
        const auto now = SerialQueue::Clock::now();
        const auto wait = std::max<std::chrono::microseconds>(
            configuration.minimumFrameInterval -
                std::chrono::duration_cast<std::chrono::microseconds>(now - lastFrame),
            std::chrono::microseconds(0));
        lastFrame = now;
        schedule(self, s, wait);
    }
};

ScreencopyStream::ScreencopyStream(Locate locate)
    : locate_(std::move(locate))
    , state_(std::make_shared<State>()) {}

ScreencopyStream::~ScreencopyStream() {
    stop();
}

void ScreencopyStream::start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
                             FrameHandler onFrame, StopHandler onStop) {
    stop();
    const std::optional<QRect> window = locate_ ? locate_(configuration.window) : std::nullopt;
    if (!window || window->isEmpty())
        throw streamError(QStringLiteral("窗口已关闭"));
    quint64 session = 0;
    {
        std::lock_guard guard(state_->mutex);
        state_->configuration = configuration;
        state_->window = *window;
        state_->queue = &queue;
        state_->onFrame = std::move(onFrame);
        state_->onStop = std::move(onStop);
        state_->running = true;
        session = ++state_->session;
    }
    // The screen, unlike a window's own pixels, may still show what covered
    // the window a moment ago (the overlays of the capture that started this
    // stream) until the compositor has drawn its next frames.
    state_->schedule(state_, session, settle);
}

void ScreencopyStream::setArea(const QRect& area, bool active) {
    Q_UNUSED(active);
    std::lock_guard guard(state_->mutex);
    state_->wantedArea = area;
}

void ScreencopyStream::stop() {
    SerialQueue* queue = nullptr;
    {
        std::lock_guard guard(state_->mutex);
        if (!state_->running)
            return;
        state_->running = false;
        queue = state_->queue;
    }
    // The turn in progress ends before the connection goes.
    queue->sync();
    queue->post([s = state_] {
        s->frame.reset();
        s->output = nullptr;
        s->connection.reset();
    });
}

} // namespace korvel::wayland
