#pragma once

#include <QImage>
#include <QRect>

#include <memory>
#include <mutex>
#include <optional>
#include <vector>

struct wl_buffer;
struct wl_shm;
struct zwlr_screencopy_frame_v1;

namespace korvel::wayland {

class Connection;
struct Output;

// Shared-memory buffers that the compositor copies into, kept for the next
// copy of the same size once the image that held one is gone. A fresh
// buffer costs a page fault per page on both sides, the compositor's copy
// and our pass over it; a 4K output has 8,100 pages. Buffers are made and
// handed to the compositor on the connection's thread; images give them
// back from any thread.
class ShmBuffers {
public:
    struct Buffer {
        wl_buffer* buffer = nullptr;
        uchar* data = nullptr;
        size_t length = 0;
        QSize size;
        int stride = 0;
        quint32 format = 0;
    };

    ShmBuffers() = default;
    ShmBuffers(const ShmBuffers&) = delete;
    ShmBuffers& operator=(const ShmBuffers&) = delete;

    // A spare of that shape, or a new one; null when memory runs out.
    Buffer* acquire(wl_shm* shm, QSize size, int stride, quint32 format);
    // Any thread: the buffer's pixels are no longer needed.
    void release(Buffer* buffer);
    // Before the connection goes: buffers still held by images are only
    // unmapped when those go.
    void close();

private:
    void destroy(Buffer* buffer, bool withProxy);

    std::mutex mutex_;
    bool closed_ = false;
    std::vector<Buffer*> all_;
    std::vector<Buffer*> spare_;
    // Released beyond what is kept, destroyed on the connection's thread.
    std::vector<Buffer*> retired_;
};

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
    ShmBuffers::Buffer* buffer_ = nullptr;
    bool onDamage_ = false;
    State state_ = State::waiting;
    quint32 format_ = 0;
    QSize size_;
    int stride_ = 0;
    bool yInverted_ = false;
    QImage image_;
};

} // namespace korvel::wayland
