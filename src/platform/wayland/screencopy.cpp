#include "screencopy.h"

#include "waylandconnection.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <algorithm>
#include <sys/mman.h>
#include <unistd.h>

namespace korvel::wayland {

namespace {

// What is kept for the next copies: two outputs' worth, or a stream's few
// frames in flight.
constexpr size_t spareBuffers = 4;
constexpr size_t spareBytes = size_t(128) << 20;

struct Handle {
    std::shared_ptr<ShmBuffers> buffers;
    ShmBuffers::Buffer* buffer;
};

void giveBack(void* info) {
    auto* handle = static_cast<Handle*>(info);
    handle->buffers->release(handle->buffer);
    delete handle;
}

} // namespace

ShmBuffers::Buffer* ShmBuffers::acquire(wl_shm* shm, QSize size, int stride, quint32 format) {
    std::lock_guard guard(mutex_);
    for (Buffer* b : std::exchange(retired_, {}))
        destroy(b, true);
    for (auto it = spare_.begin(); it != spare_.end(); ++it) {
        Buffer* b = *it;
        if (b->size == size && b->stride == stride && b->format == format) {
            spare_.erase(it);
            return b;
        }
    }
    auto b = std::make_unique<Buffer>();
    b->length = size_t(stride) * size_t(size.height());
    const int fd = memfd_create("korvel-screencopy", MFD_CLOEXEC);
    if (fd < 0)
        return nullptr;
    void* mapped = ftruncate(fd, off_t(b->length)) == 0
                       ? mmap(nullptr, b->length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0)
                       : MAP_FAILED;
    if (mapped == MAP_FAILED) {
        ::close(fd);
        return nullptr;
    }
    b->data = static_cast<uchar*>(mapped);
    wl_shm_pool* pool = wl_shm_create_pool(shm, fd, int32_t(b->length));
    b->buffer = wl_shm_pool_create_buffer(pool, 0, size.width(), size.height(), stride, format);
    wl_shm_pool_destroy(pool);
    ::close(fd);
    b->size = size;
    b->stride = stride;
    b->format = format;
    all_.push_back(b.get());
    return b.release();
}

void ShmBuffers::release(Buffer* buffer) {
    std::lock_guard guard(mutex_);
    if (closed_) {
        destroy(buffer, false);
        return;
    }
    size_t kept = buffer->length;
    for (const Buffer* b : spare_)
        kept += b->length;
    if (spare_.size() < spareBuffers && kept <= spareBytes)
        spare_.push_back(buffer);
    else
        retired_.push_back(buffer);
}

void ShmBuffers::close() {
    std::lock_guard guard(mutex_);
    closed_ = true;
    for (Buffer* b : all_) {
        wl_buffer_destroy(b->buffer);
        b->buffer = nullptr;
    }
    for (Buffer* b : std::exchange(spare_, {}))
        destroy(b, false);
    for (Buffer* b : std::exchange(retired_, {}))
        destroy(b, false);
}

void ShmBuffers::destroy(Buffer* buffer, bool withProxy) {
    if (withProxy && buffer->buffer)
        wl_buffer_destroy(buffer->buffer);
    munmap(buffer->data, buffer->length);
    all_.erase(std::remove(all_.begin(), all_.end(), buffer), all_.end());
    delete buffer;
}

struct ScreencopyFrame::Listeners {
    static ScreencopyFrame* self(void* data) { return static_cast<ScreencopyFrame*>(data); }
    static void buffer(void* data, zwlr_screencopy_frame_v1*, uint32_t format, uint32_t width,
                       uint32_t height, uint32_t stride) {
        self(data)->offer(format, int(width), int(height), int(stride));
    }
    static void flags(void* data, zwlr_screencopy_frame_v1*, uint32_t flags) {
        self(data)->yInverted_ = flags & ZWLR_SCREENCOPY_FRAME_V1_FLAGS_Y_INVERT;
    }
    static void ready(void* data, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {
        self(data)->finish(true);
    }
    static void failed(void* data, zwlr_screencopy_frame_v1*) { self(data)->finish(false); }
    static void damage(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t, uint32_t) {}
    static void dmabuf(void*, zwlr_screencopy_frame_v1*, uint32_t, uint32_t, uint32_t) {}
    static void bufferDone(void* data, zwlr_screencopy_frame_v1*) { self(data)->copy(); }
    static constexpr zwlr_screencopy_frame_v1_listener frame{buffer, flags,  ready,     failed,
                                                             damage, dmabuf, bufferDone};
};

ScreencopyFrame::ScreencopyFrame(Connection& connection, const Output& output, QRect region,
                                 bool onDamage)
    : connection_(connection)
    , onDamage_(onDamage) {
    zwlr_screencopy_manager_v1* manager = connection.screencopy();
    if (!manager) {
        state_ = State::failed;
        return;
    }
    frame_ = region.isEmpty() ? zwlr_screencopy_manager_v1_capture_output(manager, 0, output.output)
                              : zwlr_screencopy_manager_v1_capture_output_region(
                                    manager, 0, output.output, region.x(), region.y(),
                                    region.width(), region.height());
    zwlr_screencopy_frame_v1_add_listener(frame_, &Listeners::frame, this);
    wl_display_flush(connection.display());
}

ScreencopyFrame::~ScreencopyFrame() {
    if (frame_)
        zwlr_screencopy_frame_v1_destroy(frame_);
    // Not handed to an image: the copy failed or never finished. The
    // compositor takes requests in order, so it is done with the buffer
    // before a later copy into it.
    if (buffer_)
        connection_.buffers()->release(buffer_);
}

void ScreencopyFrame::offer(quint32 format, int width, int height, int stride) {
    // 32-bit formats only, in the byte orders Qt reads without converting
    // first; the compositor lists the one it renders in, usually XRGB.
    const bool usable = format == WL_SHM_FORMAT_XRGB8888 || format == WL_SHM_FORMAT_ARGB8888 ||
                        format == WL_SHM_FORMAT_XBGR8888 || format == WL_SHM_FORMAT_ABGR8888;
    if (!usable || buffer_ || width <= 0 || height <= 0 || stride < width * 4)
        return;
    format_ = format;
    size_ = QSize(width, height);
    stride_ = stride;
    // Version 1 and 2 frames announce no end of the list: copy at once.
    if (zwlr_screencopy_frame_v1_get_version(frame_) < 3)
        copy();
}

void ScreencopyFrame::copy() {
    if (state_ != State::waiting)
        return;
    if (size_.isEmpty() || !connection_.shm()) {
        finish(false);
        return;
    }
    buffer_ = connection_.buffers()->acquire(connection_.shm(), size_, stride_, format_);
    if (!buffer_) {
        finish(false);
        return;
    }
    state_ = State::copying;
    if (onDamage_ && zwlr_screencopy_frame_v1_get_version(frame_) >= 2)
        zwlr_screencopy_frame_v1_copy_with_damage(frame_, buffer_->buffer);
    else
        zwlr_screencopy_frame_v1_copy(frame_, buffer_->buffer);
    wl_display_flush(connection_.display());
}

void ScreencopyFrame::finish(bool ok) {
    state_ = ok && buffer_ ? State::ready : State::failed;
    if (state_ != State::ready)
        return;
    uchar* const data = buffer_->data;
    // Opaque whatever the padding byte holds, in place: the memory is ours
    // now and this is the only pass over it.
    const bool swapped = format_ == WL_SHM_FORMAT_XBGR8888 || format_ == WL_SHM_FORMAT_ABGR8888;
    for (int y = 0; y < size_.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(data + size_t(stride_) * size_t(y));
        if (swapped) {
            for (int x = 0; x < size_.width(); ++x) {
                const quint32 p = line[x];
                line[x] = 0xff000000u | ((p & 0xffu) << 16) | (p & 0xff00u) | ((p >> 16) & 0xffu);
            }
        } else {
            for (int x = 0; x < size_.width(); ++x)
                line[x] |= 0xff000000u;
        }
    }
    image_ =
        QImage(data, size_.width(), size_.height(), stride_, QImage::Format_ARGB32_Premultiplied,
               giveBack, new Handle{connection_.buffers(), std::exchange(buffer_, nullptr)});
    if (yInverted_)
        image_ = image_.mirrored(false, true);
}

QImage ScreencopyFrame::take() {
    return std::exchange(image_, QImage());
}

} // namespace korvel::wayland
