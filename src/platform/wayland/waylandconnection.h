#pragma once

#include <QRect>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

struct wl_display;
struct wl_registry;
struct wl_output;
struct wl_seat;
struct wl_shm;
struct zxdg_output_manager_v1;
struct zxdg_output_v1;
struct zwlr_screencopy_manager_v1;
struct zwlr_virtual_pointer_manager_v1;

namespace korvel::wayland {

class ShmBuffers;

// One output as the compositor describes it. The layout is in logical
// units (what clients call pixels at scale 1); a grab has `pixels`.
struct Output {
    quint32 globalName = 0;
    wl_output* output = nullptr;
    zxdg_output_v1* xdgOutput = nullptr;
    QString name;
    QRect logical;
    QSize pixels;
    int scale = 1;
    // Filled by the wl_output events until the xdg-output ones arrive.
    QPoint position;
    QSize mode;
    int transform = 0;
};

// A connection of our own to the compositor, apart from Qt's, so that its
// requests and events never mix with the toolkit's. Used by one thread at a
// time: the main thread for stills and scrolling, the frame stream's queue
// for a live stream (which opens a connection of its own).
class Connection {
public:
    // Connects to $WAYLAND_DISPLAY and learns the globals and outputs; null
    // without a compositor.
    static std::unique_ptr<Connection> open();
    ~Connection();

    Connection(const Connection&) = delete;
    Connection& operator=(const Connection&) = delete;

    wl_display* display() const { return display_; }
    wl_shm* shm() const { return shm_; }
    wl_seat* seat() const { return seat_; }
    zwlr_screencopy_manager_v1* screencopy() const { return screencopy_; }
    zwlr_virtual_pointer_manager_v1* virtualPointers() const { return virtualPointers_; }
    // Shared memory for screen copies, kept between them.
    const std::shared_ptr<ShmBuffers>& buffers() const { return buffers_; }

    // Outputs with a known area, after the last dispatch.
    std::vector<const Output*> outputs() const;
    const Output* output(quint32 globalName) const;
    // The logical box around every output.
    QRect layoutBounds() const;

    // Sends what is queued and waits for the compositor's answer; false when
    // the connection broke.
    bool roundtrip();
    // Dispatches until `done` holds; false on time-out or a broken
    // connection.
    bool dispatchUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    bool broken() const;

private:
    Connection() = default;
    void addGlobal(quint32 name, const char* interface, quint32 version);
    void removeGlobal(quint32 name);
    void watchOutput(Output& output);
    static void finishOutput(Output& output);

    wl_display* display_ = nullptr;
    wl_registry* registry_ = nullptr;
    wl_shm* shm_ = nullptr;
    wl_seat* seat_ = nullptr;
    zxdg_output_manager_v1* xdgOutputs_ = nullptr;
    zwlr_screencopy_manager_v1* screencopy_ = nullptr;
    zwlr_virtual_pointer_manager_v1* virtualPointers_ = nullptr;
    std::vector<std::unique_ptr<Output>> outputs_;
    std::shared_ptr<ShmBuffers> buffers_;

    friend struct Listeners;
};

} // namespace korvel::wayland
