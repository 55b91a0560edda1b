#include "waylandconnection.h"

#include "screencopy.h"

#include "wlr-screencopy-unstable-v1-client-protocol.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <poll.h>

namespace korvel::wayland {

namespace {

template <typename T>
T* bind(wl_registry* registry, quint32 name, const wl_interface* interface, quint32 offered,
        quint32 wanted) {
    return static_cast<T*>(wl_registry_bind(registry, name, interface, std::min(offered, wanted)));
}

} // namespace

// The C callbacks, kept in one place so they can reach the private members.
struct Listeners {
    static void global(void* data, wl_registry*, quint32 name, const char* interface,
                       quint32 version) {
        static_cast<Connection*>(data)->addGlobal(name, interface, version);
    }
    static void globalRemove(void* data, wl_registry*, quint32 name) {
        static_cast<Connection*>(data)->removeGlobal(name);
    }
    static constexpr wl_registry_listener registry{global, globalRemove};

    static void geometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                         const char*, const char*, int32_t transform) {
        auto* o = static_cast<Output*>(data);
        o->position = QPoint(x, y);
        o->transform = transform;
    }
    static void mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height,
                     int32_t) {
        if (flags & WL_OUTPUT_MODE_CURRENT)
            static_cast<Output*>(data)->mode = QSize(width, height);
    }
    static void done(void* data, wl_output*) {
        Connection::finishOutput(*static_cast<Output*>(data));
    }
    static void scale(void* data, wl_output*, int32_t factor) {
        static_cast<Output*>(data)->scale = std::max(factor, 1);
    }
    static void name(void* data, wl_output*, const char* name) {
        static_cast<Output*>(data)->name = QString::fromUtf8(name);
    }
    static void description(void*, wl_output*, const char*) {}
    static constexpr wl_output_listener output{geometry, mode, done, scale, name, description};

    static void logicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
        static_cast<Output*>(data)->logical.moveTo(x, y);
    }
    static void logicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
        static_cast<Output*>(data)->logical.setSize(QSize(width, height));
    }
    static void xdgDone(void* data, zxdg_output_v1*) {
        Connection::finishOutput(*static_cast<Output*>(data));
    }
    static void xdgName(void* data, zxdg_output_v1*, const char* name) {
        static_cast<Output*>(data)->name = QString::fromUtf8(name);
    }
    static void xdgDescription(void*, zxdg_output_v1*, const char*) {}
    static constexpr zxdg_output_v1_listener xdgOutput{logicalPosition, logicalSize, xdgDone,
                                                       xdgName, xdgDescription};
};

std::unique_ptr<Connection> Connection::open() {
    wl_display* display = wl_display_connect(nullptr);
    if (!display)
        return nullptr;
    std::unique_ptr<Connection> c(new Connection);
    c->display_ = display;
    c->buffers_ = std::make_shared<ShmBuffers>();
    c->registry_ = wl_display_get_registry(display);
    wl_registry_add_listener(c->registry_, &Listeners::registry, c.get());
    // Globals first, then what the outputs say about themselves.
    if (!c->roundtrip() || !c->roundtrip())
        return nullptr;
    return c;
}

Connection::~Connection() {
    if (buffers_)
        buffers_->close();
    for (auto& o : outputs_) {
        if (o->xdgOutput)
            zxdg_output_v1_destroy(o->xdgOutput);
        wl_output_destroy(o->output);
    }
    if (virtualPointers_)
        zwlr_virtual_pointer_manager_v1_destroy(virtualPointers_);
    if (screencopy_)
        zwlr_screencopy_manager_v1_destroy(screencopy_);
    if (xdgOutputs_)
        zxdg_output_manager_v1_destroy(xdgOutputs_);
    if (seat_)
        wl_seat_destroy(seat_);
    if (shm_)
        wl_shm_destroy(shm_);
    if (registry_)
        wl_registry_destroy(registry_);
    if (display_)
        wl_display_disconnect(display_);
}

void Connection::addGlobal(quint32 name, const char* interface, quint32 version) {
    const auto is = [interface](const wl_interface& i) {
        return std::strcmp(interface, i.name) == 0;
    };
    if (is(wl_shm_interface)) {
        shm_ = bind<wl_shm>(registry_, name, &wl_shm_interface, version, 1);
    } else if (is(wl_seat_interface) && !seat_) {
        seat_ = bind<wl_seat>(registry_, name, &wl_seat_interface, version, 1);
    } else if (is(zxdg_output_manager_v1_interface)) {
        xdgOutputs_ = bind<zxdg_output_manager_v1>(registry_, name,
                                                   &zxdg_output_manager_v1_interface, version, 3);
        for (auto& o : outputs_)
            watchOutput(*o);
    } else if (is(zwlr_screencopy_manager_v1_interface)) {
        screencopy_ = bind<zwlr_screencopy_manager_v1>(
            registry_, name, &zwlr_screencopy_manager_v1_interface, version, 3);
    } else if (is(zwlr_virtual_pointer_manager_v1_interface)) {
        virtualPointers_ = bind<zwlr_virtual_pointer_manager_v1>(
            registry_, name, &zwlr_virtual_pointer_manager_v1_interface, version, 1);
    } else if (is(wl_output_interface)) {
        auto o = std::make_unique<Output>();
        o->globalName = name;
        o->output = bind<wl_output>(registry_, name, &wl_output_interface, version, 4);
        wl_output_add_listener(o->output, &Listeners::output, o.get());
        watchOutput(*o);
        outputs_.push_back(std::move(o));
    }
}

void Connection::watchOutput(Output& o) {
    if (!xdgOutputs_ || o.xdgOutput)
        return;
    o.xdgOutput = zxdg_output_manager_v1_get_xdg_output(xdgOutputs_, o.output);
    zxdg_output_v1_add_listener(o.xdgOutput, &Listeners::xdgOutput, &o);
}

void Connection::finishOutput(Output& o) {
    const bool turned = o.transform % 2 == 1; // 90 and 270 degrees, flipped or not
    o.pixels = turned ? o.mode.transposed() : o.mode;
    // Without xdg-output the compositor's layout is the position and the
    // mode at the output's scale.
    if (!o.xdgOutput && !o.pixels.isEmpty())
        o.logical = QRect(o.position, o.pixels / o.scale);
}

void Connection::removeGlobal(quint32 name) {
    const auto it = std::find_if(outputs_.begin(), outputs_.end(),
                                 [name](const auto& o) { return o->globalName == name; });
    if (it == outputs_.end())
        return;
    if ((*it)->xdgOutput)
        zxdg_output_v1_destroy((*it)->xdgOutput);
    wl_output_destroy((*it)->output);
    outputs_.erase(it);
}

std::vector<const Output*> Connection::outputs() const {
    std::vector<const Output*> result;
    for (const auto& o : outputs_) {
        if (!o->logical.isEmpty() && !o->pixels.isEmpty())
            result.push_back(o.get());
    }
    return result;
}

const Output* Connection::output(quint32 globalName) const {
    for (const Output* o : outputs()) {
        if (o->globalName == globalName)
            return o;
    }
    return nullptr;
}

QRect Connection::layoutBounds() const {
    QRect box;
    for (const Output* o : outputs())
        box = box.united(o->logical);
    return box;
}

bool Connection::broken() const {
    return wl_display_get_error(display_) != 0;
}

bool Connection::roundtrip() {
    return wl_display_roundtrip(display_) >= 0;
}

bool Connection::dispatchUntil(const std::function<bool()>& done,
                               std::chrono::milliseconds timeout) {
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + timeout;
    while (!done()) {
        if (wl_display_dispatch_pending(display_) < 0)
            return false;
        if (done())
            return true;
        // The usual read protocol: announce the read, flush, wait, read.
        while (wl_display_prepare_read(display_) != 0) {
            if (wl_display_dispatch_pending(display_) < 0)
                return false;
        }
        if (wl_display_flush(display_) < 0 && errno != EAGAIN) {
            wl_display_cancel_read(display_);
            return false;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0) {
            wl_display_cancel_read(display_);
            return false;
        }
        pollfd fd{wl_display_get_fd(display_), POLLIN, 0};
        const int ready = poll(&fd, 1, int(left.count()));
        if (ready <= 0) {
            wl_display_cancel_read(display_);
            if (ready < 0 && errno == EINTR)
                continue;
            return false;
        }
        if (wl_display_read_events(display_) < 0)
            return false;
    }
    return true;
}

} // namespace korvel::wayland
