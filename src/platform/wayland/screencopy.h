#pragma once

#include <QImage>
#include <QRect>

#include <memory>
#include <optional>

struct wl_buffer;
struct zwlr_screencopy_frame_v1;

namespace korvel::wayland {

class Connection;
struct Output;

// One frame of an output, or of a part of it, copied by the compositor
// straight into shared memory that the resulting image then owns: no
// encoding and no copy on our side. Requested at construction; the caller
// dispatches the connection until `finished`.
class ScreencopyFrame {
public:
    // `region` in the output's logical coordinates; empty: the whole output.
    // With `onDamage` the compositor answers only once something changed
    // since this connection's previous copy.
    ScreencopyFrame(Connection& connection, const Output& output, QRect region = {},
                    bool onDamage = false);
    ~ScreencopyFrame();

    ScreencopyFrame(const ScreencopyFrame&) = delete;
    ScreencopyFrame& operator=(const ScreencopyFrame&) = delete;

    bool finished() const { return state_ != State::waiting && state_ != State::copying; }
    bool failed() const { return state_ == State::failed; }
    // The frame as ARGB32_Premultiplied, opaque, in the output's pixels;
    // null unless it arrived.
    QImage take();

private:
    enum class State { waiting, copying, ready, failed };
    struct Listeners;
    void offer(quint32 format, int width, int height, int stride);
    void copy();
    void finish(bool ok);

    Connection& connection_;
    zwlr_screencopy_frame_v1* frame_ = nullptr;
    wl_buffer* buffer_ = nullptr;
    bool onDamage_ = false;
    State state_ = State::waiting;
    quint32 format_ = 0;
    QSize size_;
    int stride_ = 0;
    bool yInverted_ = false;
    // The mapping, handed to the image on `take`.
    uchar* data_ = nullptr;
    size_t length_ = 0;
    QImage image_;
};

} // namespace korvel::wayland
