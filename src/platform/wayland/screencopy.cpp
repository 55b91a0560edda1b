#include "screencopy.h"

#include "waylandconnection.h"
#include "wlr-screencopy-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <sys/mman.h>
#include <unistd.h>

namespace korvel::wayland {

namespace {

void unmap(void* info) {
    auto* mapping = static_cast<std::pair<void*, size_t>*>(info);
    munmap(mapping->first, mapping->second);
    delete mapping;
}

// Anonymous shared memory of `length` bytes, mapped; -1 when there is none.
int sharedMemory(size_t length, uchar*& data) {
    const int fd = memfd_create("korvel-screencopy", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    if (ftruncate(fd, off_t(length)) != 0) {
        close(fd);
        return -1;
    }
    void* mapped = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0);
    if (mapped == MAP_FAILED) {
        close(fd);
        return -1;
    }
    data = static_cast<uchar*>(mapped);
    return fd;
}

} // namespace

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
    if (buffer_)
        wl_buffer_destroy(buffer_);
    if (data_)
        munmap(data_, length_);
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
    length_ = size_t(stride_) * size_t(size_.height());
    const int fd = sharedMemory(length_, data_);
    if (fd < 0) {
        data_ = nullptr;
        finish(false);
        return;
    }
    wl_shm_pool* pool = wl_shm_create_pool(connection_.shm(), fd, int32_t(length_));
    buffer_ = wl_shm_pool_create_buffer(pool, 0, size_.width(), size_.height(), stride_, format_);
    wl_shm_pool_destroy(pool);
    close(fd);
    state_ = State::copying;
    if (onDamage_ && zwlr_screencopy_frame_v1_get_version(frame_) >= 2)
        zwlr_screencopy_frame_v1_copy_with_damage(frame_, buffer_);
    else
        zwlr_screencopy_frame_v1_copy(frame_, buffer_);
    wl_display_flush(connection_.display());
}

void ScreencopyFrame::finish(bool ok) {
    state_ = ok && data_ ? State::ready : State::failed;
    if (!ok)
        return;
    // Opaque whatever the padding byte holds, in place: the memory is ours
    // now and this is the only pass over it.
    const bool swapped = format_ == WL_SHM_FORMAT_XBGR8888 || format_ == WL_SHM_FORMAT_ABGR8888;
    for (int y = 0; y < size_.height(); ++y) {
        auto* line = reinterpret_cast<quint32*>(data_ + size_t(stride_) * size_t(y));
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
        QImage(data_, size_.width(), size_.height(), stride_, QImage::Format_ARGB32_Premultiplied,
               unmap, new std::pair<void*, size_t>(data_, length_));
    data_ = nullptr;
    if (yInverted_)
        image_ = image_.mirrored(false, true);
}

QImage ScreencopyFrame::take() {
    return std::exchange(image_, QImage());
}

} // namespace korvel::wayland
