#include "x11windowstream.h"

#include "../serialqueue.h"
#include "x11screensource.h"
#include "x11windowhints.h"
#include "x11windowlist.h"

#include <QPainter>
#include <xcb/composite.h>
#include <xcb/damage.h>

#include <algorithm>
#include <mutex>

namespace korvel::x11 {
namespace {

Error streamError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2, QStringLiteral("无法读取窗口画面（%1）").arg(detail));
}

// How often the stream looks for news while nothing changes: damage and
// window events arrive as events, so this costs one read of the socket.
constexpr std::chrono::microseconds idlePoll{16'000};

bool compositeUsable(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_composite_id);
    if (!extension || !extension->present)
        return false;
    Reply<xcb_composite_query_version_reply_t> version(
        xcb_composite_query_version_reply(c, xcb_composite_query_version(c, 0, 2), nullptr));
    return version && (version->major_version > 0 || version->minor_version >= 2);
}

// The damage extension's first event code, or -1 when it is missing.
int damageEvents(xcb_connection_t* c) {
    const xcb_query_extension_reply_t* extension = xcb_get_extension_data(c, &xcb_damage_id);
    if (!extension || !extension->present)
        return -1;
    Reply<xcb_damage_query_version_reply_t> version(
        xcb_damage_query_version_reply(c, xcb_damage_query_version(c, 1, 1), nullptr));
    return version ? extension->first_event : -1;
}

} // namespace

struct WindowStream::State {
    explicit State(Connection& c)
        : shared(c) {}

    Connection& shared; // the application's; the stream talks on its own
    std::mutex mutex;
    bool running = false;
    // Bumped by every start, so a tick queued for an earlier run ends.
    quint64 session = 0;
    SerialQueue* queue = nullptr;
    WindowStreamConfiguration configuration;
    FrameHandler onFrame;
    StopHandler onStop;
    QRect area; // empty: the whole window
    bool active = true;
    bool areaChanged = false;
    bool composite = false;
    int grabs = 0;

    // The rest is touched on the queue only (and by start before the first
    // tick, stop after the last).
    std::unique_ptr<Connection> own;
    std::unique_ptr<ScreenSource> screen;
    xcb_window_t window = XCB_NONE;
    xcb_window_t topLevel = XCB_NONE; // the root's child holding the window
    bool managed = false;
    QRect bounds;      // the listed bounds, in root pixels
    QRect topLevelBox; // the top-level window, in root pixels
    xcb_pixmap_t pixmap = XCB_NONE;
    bool redirected = false;
    int damageBase = -1;
    xcb_damage_damage_t damage = XCB_NONE;
    bool damaged = true;

    bool current(quint64 s) {
        std::lock_guard guard(mutex);
        return running && session == s;
    }

    // Where the window and its top-level are now; false when it is gone.
    bool place() {
        const auto listed = windowBounds(*own, window, managed);
        if (!listed)
            return false;
        xcb_connection_t* c = own->get();
        xcb_window_t top = window;
        for (int depth = 0; depth < 32; ++depth) {
            Reply<xcb_query_tree_reply_t> tree(
                xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr));
            if (!tree)
                return false;
            if (tree->parent == own->root() || tree->parent == XCB_NONE)
                break;
            top = tree->parent;
        }
        Reply<xcb_get_geometry_reply_t> geometry(
            xcb_get_geometry_reply(c, xcb_get_geometry(c, top), nullptr));
        Reply<xcb_translate_coordinates_reply_t> origin(xcb_translate_coordinates_reply(
            c, xcb_translate_coordinates(c, top, own->root(), 0, 0), nullptr));
        if (!geometry || !origin)
            return false;
        bounds = *listed;
        topLevel = top;
        topLevelBox = QRect(origin->dst_x, origin->dst_y, geometry->width, geometry->height);
        if (pixmap != XCB_NONE) {
            xcb_free_pixmap(c, pixmap);
            pixmap = XCB_NONE;
        }
        return true;
    }

    // The area of the window, from its pixmap: parts outside the top-level
    // stay black. Null when the read failed.
    QImage readPixmap(const QRect& area) {
        xcb_connection_t* c = own->get();
        if (pixmap == XCB_NONE) {
            const xcb_pixmap_t name = xcb_generate_id(c);
            xcb_generic_error_t* error =
                xcb_request_check(c, xcb_composite_name_window_pixmap_checked(c, topLevel, name));
            if (error) {
                std::free(error);
                return {};
            }
            pixmap = name;
        }
        const QRect inRoot = area.translated(bounds.topLeft());
        const QRect part = inRoot.intersected(topLevelBox).translated(-topLevelBox.topLeft());
        QImage image(area.size(), QImage::Format_ARGB32_Premultiplied);
        if (image.isNull())
            return {};
        if (part.size() != area.size())
            image.fill(Qt::black);
        if (part.isEmpty())
            return image;
        xcb_generic_error_t* error = nullptr;
        Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
            c,
            xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, pixmap, int16_t(part.x()),
                          int16_t(part.y()), uint16_t(part.width()), uint16_t(part.height()), ~0u),
            &error));
        if (error || !reply || (reply->depth != 24 && reply->depth != 32)) {
            std::free(error);
            return {};
        }
        const size_t stride = size_t(part.width()) * 4;
        if (size_t(xcb_get_image_data_length(reply.get())) < stride * size_t(part.height()))
            return {};
        const uint8_t* data = xcb_get_image_data(reply.get());
        // Depth 24 leaves the pad byte undefined; depth 32 is premultiplied ARGB.
        const quint32 opaque = reply->depth == 24 ? 0xff000000u : 0;
        const QPoint at = part.topLeft() + topLevelBox.topLeft() - inRoot.topLeft();
        for (int y = 0; y < part.height(); ++y) {
            const auto* src = reinterpret_cast<const quint32*>(data + stride * size_t(y));
            auto* dst = reinterpret_cast<quint32*>(image.scanLine(at.y() + y)) + at.x();
            for (int x = 0; x < part.width(); ++x)
                dst[x] = src[x] | opaque;
        }
        return image;
    }

    // Without Composite: the area of the screen, the part off it black.
    QImage readScreen(const QRect& area) {
        const xcb_screen_t* s = own->screen();
        const QRect inRoot = area.translated(bounds.topLeft());
        const QRect visible = inRoot.intersected(
            QRect(0, 0, s ? s->width_in_pixels : 0, s ? s->height_in_pixels : 0));
        if (visible.isEmpty())
            return {};
        try {
            Display d;
            d.geometry = visible;
            QImage part = screen->grab(d);
            if (visible == inRoot)
                return part;
            QImage whole(inRoot.size(), QImage::Format_ARGB32_Premultiplied);
            whole.fill(Qt::black);
            QPainter painter(&whole);
            painter.drawImage(visible.topLeft() - inRoot.topLeft(), part);
            return whole;
        } catch (const Error&) {
            return {};
        }
    }

    // Reads what happened since the last look. False when the window went.
    bool readEvents() {
        bool alive = true;
        bool moved = false;
        while (xcb_generic_event_t* event = xcb_poll_for_event(own->get())) {
            const int type = event->response_type & 0x7f;
            if (damageBase >= 0 && type == damageBase + XCB_DAMAGE_NOTIFY)
                damaged = true;
            else if (type == XCB_CONFIGURE_NOTIFY)
                moved = true;
            else if (type == XCB_UNMAP_NOTIFY || type == XCB_DESTROY_NOTIFY)
                alive = false;
            std::free(event);
        }
        if (xcb_connection_has_error(own->get()))
            return false;
        if (alive && moved) {
            damaged = true;
            return place();
        }
        return alive;
    }

    void release() {
        if (!own)
            return;
        xcb_connection_t* c = own->get();
        if (damage != XCB_NONE)
            xcb_damage_destroy(c, damage);
        if (pixmap != XCB_NONE)
            xcb_free_pixmap(c, pixmap);
        if (redirected)
            xcb_composite_unredirect_window(c, topLevel, XCB_COMPOSITE_REDIRECT_AUTOMATIC);
        xcb_flush(c);
        screen.reset();
        own.reset();
        damage = XCB_NONE;
        pixmap = XCB_NONE;
        redirected = false;
    }

    static void tick(const std::shared_ptr<State>& s, quint64 session) {
        const auto began = SerialQueue::Clock::now();
        if (!s->current(session))
            return;
        if (!s->readEvents()) {
            {
                std::lock_guard guard(s->mutex);
                if (!s->running || s->session != session)
                    return;
                s->running = false;
            }
            s->onStop(streamError(QStringLiteral("窗口已关闭")));
            return;
        }
        QRect area;
        bool wanted = false;
        {
            std::lock_guard guard(s->mutex);
            area = s->area;
            wanted = s->active && (s->damaged || s->areaChanged || s->damage == XCB_NONE);
            if (wanted)
                s->areaChanged = false;
        }
        const QRect read = area.isEmpty() ? QRect(QPoint(), s->bounds.size()) : area;
        std::chrono::microseconds next = idlePoll;
        if (wanted) {
            // Changes from now on are news for the next tick.
            if (s->damage != XCB_NONE)
                xcb_damage_subtract(s->own->get(), s->damage, XCB_NONE, XCB_NONE);
            s->damaged = false;
            QImage image = s->composite ? s->readPixmap(read) : s->readScreen(read);
            {
                std::lock_guard guard(s->mutex);
                ++s->grabs;
            }
            s->onFrame(WindowFrame{image, !image.isNull(), area});
            next = std::max<std::chrono::microseconds>(
                s->configuration.minimumFrameInterval -
                    std::chrono::duration_cast<std::chrono::microseconds>(
                        SerialQueue::Clock::now() - began),
                std::chrono::microseconds(0));
        }
        std::lock_guard guard(s->mutex);
        if (s->running && s->session == session)
            s->queue->postAfter(next, [s, session] { tick(s, session); });
    }
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

int WindowStream::grabs() const {
    std::lock_guard guard(state_->mutex);
    return state_->grabs;
}

void WindowStream::setArea(const QRect& area, bool active) {
    std::lock_guard guard(state_->mutex);
    if (area == state_->area && active == state_->active)
        return;
    state_->area = area;
    state_->active = active;
    state_->areaChanged = active;
}

void WindowStream::start(const WindowStreamConfiguration& configuration, SerialQueue& queue,
                         FrameHandler onFrame, StopHandler onStop) {
    stop();
    State& s = *state_;
    if (xcb_connection_has_error(s.shared.get()))
        throw streamError(QStringLiteral("与显示服务器的连接已断开"));
    // A connection of the stream's own: its damage and window events are
    // read on the queue, never mixed with the application's.
    s.own = Connection::open();
    if (!s.own)
        throw streamError(QStringLiteral("无法连接显示服务器"));
    xcb_connection_t* c = s.own->get();
    s.window = configuration.window;
    s.managed = windowManaged(*s.own);
    if (!s.place()) {
        s.release();
        throw streamError(QStringLiteral("窗口已关闭"));
    }
    bool composite = compositeUsable(c);
    if (composite && !WindowHints(*s.own).compositing()) {
        // No compositor keeps the window's pixels off screen: ask the server
        // to, while it goes on drawing the window on screen itself.
        xcb_generic_error_t* error = xcb_request_check(
            c,
            xcb_composite_redirect_window_checked(c, s.topLevel, XCB_COMPOSITE_REDIRECT_AUTOMATIC));
        s.redirected = !error;
        composite = !error;
        std::free(error);
    }
    if (!composite)
        s.screen = std::make_unique<ScreenSource>(*s.own);
    s.damageBase = damageEvents(c);
    if (s.damageBase >= 0) {
        s.damage = xcb_generate_id(c);
        xcb_damage_create(c, s.damage, composite ? s.topLevel : s.own->root(),
                          XCB_DAMAGE_REPORT_LEVEL_NON_EMPTY);
    }
    const uint32_t structure = XCB_EVENT_MASK_STRUCTURE_NOTIFY;
    xcb_change_window_attributes(c, s.topLevel, XCB_CW_EVENT_MASK, &structure);
    xcb_flush(c);
    s.damaged = true;
    quint64 session = 0;
    {
        std::lock_guard guard(s.mutex);
        s.composite = composite;
        s.configuration = configuration;
        s.queue = &queue;
        s.onFrame = std::move(onFrame);
        s.onStop = std::move(onStop);
        s.running = true;
        session = ++s.session;
    }
    queue.post([st = state_, session] { State::tick(st, session); });
}

void WindowStream::stop() {
    SerialQueue* queue = nullptr;
    {
        std::lock_guard guard(state_->mutex);
        queue = state_->queue;
        state_->running = false;
        state_->queue = nullptr;
    }
    if (!queue) {
        state_->release();
        return;
    }
    // The connection belongs to the queue's thread until its last tick.
    queue->post([s = state_] { s->release(); });
    queue->sync();
}

} // namespace korvel::x11
