#include "x11windowstream.h"

#include "../serialqueue.h"
#include "x11screensource.h"
#include "x11windowhints.h"

#include <QPainter>
#include <xcb/composite.h>

#include <algorithm>
#include <mutex>

namespace korvel::x11 {
namespace {

Error streamError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2, QStringLiteral("无法读取窗口画面（%1）").arg(detail));
}

bool compositorRunning(Connection& connection) {
    xcb_connection_t* c = connection.get();
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_composite_id);
    if (!extension || !extension->present)
        return false;
    Reply<xcb_composite_query_version_reply_t> version(
        xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 2), nullptr));
    if (!version || (version->major_version == 0 && version->minor_version < 2))
        return false;
    return WindowHints(connection).compositing();
}

// Where the window is and what the user sees as it: the client area grown
// by the frame extents the window manager announces, in root pixels.
struct Placement {
    QRect bounds;
    xcb_window_t topLevel = XCB_NONE; // the child of the root holding the window
    QPoint topLevelOrigin;
};

std::optional<Placement> place(Connection& connection, xcb_window_t window) {
    xcb_connection_t* c = connection.get();
    Reply<xcb_get_geometry_reply_t> geometry(
        xcb_get_geometry_reply(c, xcb_get_geometry(c, window), nullptr));
    Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, window, connection.root(), 0, 0), nullptr));
    if (!geometry || !origin)
        return std::nullopt;
    Placement p;
    p.bounds = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
    if (auto e =
            connection.cardinals(window, connection.atom("_NET_FRAME_EXTENTS"), XCB_ATOM_CARDINAL);
        e && e->size() == 4 &&
        std::all_of(e->begin(), e->end(), [](quint32 v) { return v < 4096; }))
        p.bounds.adjust(-int((*e)[0]), -int((*e)[2]), int((*e)[1]), int((*e)[3]));

    // Walk up to the root's child: that is the window a compositor redirects.
    xcb_window_t current = window;
    for (int depth = 0; depth < 32; ++depth) {
        Reply<xcb_query_tree_reply_t> tree(
            xcb_query_tree_reply(c, xcb_query_tree(c, current), nullptr));
        if (!tree)
            return std::nullopt;
        if (tree->parent == connection.root() || tree->parent == XCB_NONE)
            break;
        current = tree->parent;
    }
    Reply<xcb_translate_coordinates_reply_t> topOrigin(xcb_translate_coordinates_reply(
        c, xcb_translate_coordinates(c, current, connection.root(), 0, 0), nullptr));
    if (!topOrigin)
        return std::nullopt;
    p.topLevel = current;
    p.topLevelOrigin = QPoint(topOrigin->dst_x, topOrigin->dst_y);
    return p;
}

// The top-level window's pixmap, cut to the bounds; null when the window is
// not redirected (no compositor after all) or the read failed.
QImage readPixmap(Connection& connection, const Placement& p) {
    xcb_connection_t* c = connection.get();
    const xcb_pixmap_t pixmap = xcb_generate_id(c);
    xcb_generic_error_t* error =
        xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, p.topLevel, pixmap));
    if (error) {
        std::free(error);
        return {};
    }
    const QRect area = p.bounds.translated(-p.topLevelOrigin);
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, int16_t(area.x()), int16_t(area.y()),
                      uint16_t(area.width()), uint16_t(area.height()), ~0u),
        &error));
    xcb_free_pixmap(c, pixmap);
    if (error || !reply || (reply->depth != 24 && reply->depth != 32)) {
        std::free(error);
        return {};
    }
    const size_t stride = size_t(area.width()) * 4;
    if (size_t(xcb_get_image_data_length(reply.get())) < stride * size_t(area.height()))
        return {};
    QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return {};
    const uint8_t* data = xcb_get_image_data(reply.get());
    // Depth 24 leaves the pad byte undefined; depth 32 is premultiplied ARGB.
    const quint32 opaque = reply->depth == 24 ? 0xff000000u : 0;
    for (int y = 0; y < area.height(); ++y) {
        const auto* src = reinterpret_cast<const quint32*>(data + stride * size_t(y));
        auto* dst = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < area.width(); ++x)
            dst[x] = src[x] | opaque;
    }
    return image;
}

} // namespace

struct WindowStream::State {
    explicit State(Connection& c)
        : connection(c)
        , root(c) {}

    Connection& connection;
    ScreenSource root; // used on the queue only
    std::mutex mutex;
    bool running = false;
    // Bumped by every start, so a grab queued for an earlier run ends.
    quint64 session = 0;
    bool composite = false;
    SerialQueue* queue = nullptr;
    WindowStreamConfiguration configuration;
    FrameHandler onFrame;
    StopHandler onStop;
};

WindowStream::WindowStream(Connection& connection)
    : state_(std::make_shared<State>(connection)) {}

WindowStream::~WindowStream() {
    stop();
}

bool WindowStream::usesComposite() const {
    std::lock_guard guard(state_->mutex);
    return state_->composite;
}

void WindowStream::start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
                         FrameHandler onFrame, StopHandler onStop) {
    stop();
    if (xcb_connection_has_error(state_->connection.get()))
        throw streamError(QStringLiteral("与显示服务器的连接已断开"));
    if (!place(state_->connection, configuration.window))
        throw streamError(QStringLiteral("窗口已关闭"));
    quint64 session = 0;
    {
        std::lock_guard guard(state_->mutex);
        state_->composite = compositorRunning(state_->connection);
        state_->configuration = configuration;
        state_->queue = &queue;
        state_->onFrame = std::move(onFrame);
        state_->onStop = std::move(onStop);
        state_->running = true;
        session = ++state_->session;
    }
    // Each grab schedules the next one; the state is shared so a grab still
    // queued after the stream is gone finds `running` false and ends.
    struct Loop {
        static bool current(State& s, quint64 session) {
            std::lock_guard guard(s.mutex);
            return s.running && s.session == session;
        }
        static void grab(const std::shared_ptr<State>& s, quint64 session) {
            const auto began = SerialQueue::Clock::now();
            if (!current(*s, session))
                return;
            const std::optional<Placement> p = place(s->connection, s->configuration.window);
            if (!p) {
                {
                    std::lock_guard guard(s->mutex);
                    if (!s->running || s->session != session)
                        return;
                    s->running = false;
                }
                s->onStop(streamError(QStringLiteral("窗口已关闭")));
                return;
            }
            QImage image = s->composite ? readPixmap(s->connection, *p) : QImage();
            if (image.isNull())
                image = readRoot(*s, p->bounds);
            s->onFrame(WindowFrame{image, !image.isNull()});
            const auto spent = SerialQueue::Clock::now() - began;
            const auto wait = std::max<std::chrono::microseconds>(
                s->configuration.minimumFrameInterval -
                    std::chrono::duration_cast<std::chrono::microseconds>(spent),
                std::chrono::microseconds(0));
            std::lock_guard guard(s->mutex);
            if (s->running && s->session == session)
                s->queue->postAfter(wait, [s, session] { grab(s, session); });
        }
        // The part of the bounds on the screen, the rest black.
        static QImage readRoot(State& s, const QRect& bounds) {
            const xcb_screen_t* screen = s.connection.screen();
            if (!screen || bounds.isEmpty())
                return {};
            const QRect visible =
                bounds.intersected(QRect(0, 0, screen->width_in_pixels, screen->height_in_pixels));
            if (visible.isEmpty())
                return {};
            try {
                Display area;
                area.geometry = visible;
                QImage part = s.root.grab(area);
                if (visible == bounds)
                    return part;
                QImage whole(bounds.size(), QImage::Format_ARGB32_Premultiplied);
                if (whole.isNull())
                    return {};
                whole.fill(Qt::black);
                QPainter painter(&whole);
                painter.drawImage(visible.topLeft() - bounds.topLeft(), part);
                return whole;
            } catch (const Error&) {
                return {};
            }
        }
    };
    queue.post([s = state_, session] { Loop::grab(s, session); });
}

void WindowStream::stop() {
    SerialQueue* queue = nullptr;
    {
        std::lock_guard guard(state_->mutex);
        if (!state_->running)
            return;
        state_->running = false;
        queue = state_->queue;
    }
    // A grab in progress finishes before we return; later ones see `running`.
    if (queue)
        queue->sync();
}

} // namespace korvel::x11
