#include "x11screensource.h"

#include "../error.h"

#include <xcb/randr.h>

#include <algorithm>
#include <sys/ipc.h>
#include <sys/shm.h>

namespace korvel::x11 {
namespace {

Error grabError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2,
                 QStringLiteral("无法读取显示器画面（%1）").arg(detail));
}

// Root pixels are 32-bit little-endian BGRX on every server we support;
// anything else is refused rather than shown with wrong colours.
bool rootFormatSupported(xcb_connection_t* c, uint8_t depth) {
    const xcb_setup_t* setup = xcb_get_setup(c);
    if (setup->image_byte_order != XCB_IMAGE_ORDER_LSB_FIRST || (depth != 24 && depth != 32))
        return false;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it)) {
        if (it.data->depth == depth)
            return it.data->bits_per_pixel == 32 && it.data->scanline_pad == 32;
    }
    return false;
}

// Copies server pixels into an opaque premultiplied image; the X pad byte is
// not guaranteed to be 0xff.
QImage toImage(const uint8_t* data, size_t length, const QSize& size) {
    const size_t stride = size_t(size.width()) * 4;
    if (length < stride * size_t(size.height()))
        throw grabError(QStringLiteral("数据不完整"));
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        throw grabError(QStringLiteral("内存不足"));
    for (int y = 0; y < size.height(); ++y) {
        const auto* src = reinterpret_cast<const quint32*>(data + stride * size_t(y));
        auto* dst = reinterpret_cast<quint32*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            dst[x] = src[x] | 0xff000000u;
    }
    return image;
}

// An X error means the request was refused (a display outside the screen, a
// server without the format); no reply at all means the connection broke.
void throwIfFailed(const void* reply, xcb_generic_error_t* error) {
    if (error) {
        std::free(error);
        throw grabError(QStringLiteral("服务器拒绝了读取请求"));
    }
    if (!reply)
        throw grabError(QStringLiteral("与显示服务器的连接已断开"));
}

} // namespace

ScreenSource::ScreenSource(Connection& connection, Transfer transfer)
    : connection_(connection) {
    xcb_connection_t* c = connection_.get();
    if (transfer == Transfer::automatic) {
        Reply<xcb_shm_query_version_reply_t> shm(
            xcb_shm_query_version_reply(c, xcb_shm_query_version(c), nullptr));
        shmAvailable_ = shm != nullptr;
    }
    Reply<xcb_randr_query_version_reply_t> randr(
        xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    randrMonitors_ = randr && (randr->major_version > 1 || randr->minor_version >= 5);
}

ScreenSource::~ScreenSource() {
    releaseSegment();
}

std::vector<Display> ScreenSource::displays() {
    xcb_connection_t* c = connection_.get();
    std::vector<Display> result;
    if (randrMonitors_) {
        // All monitors, not only "active" ones: virtual monitors defined by
        // the user have no output of their own but are real screen areas.
        Reply<xcb_randr_get_monitors_reply_t> reply(xcb_randr_get_monitors_reply(
            c, xcb_randr_get_monitors(c, connection_.root(), 0), nullptr));
        if (reply) {
            for (auto it = xcb_randr_get_monitors_monitors_iterator(reply.get()); it.rem;
                 xcb_randr_monitor_info_next(&it)) {
                const xcb_randr_monitor_info_t* m = it.data;
                if (m->width == 0 || m->height == 0)
                    continue;
                Display d;
                d.id = m->name;
                d.geometry = QRect(m->x, m->y, m->width, m->height);
                d.primary = m->primary != 0;
                Reply<xcb_get_atom_name_reply_t> name(
                    xcb_get_atom_name_reply(c, xcb_get_atom_name(c, m->name), nullptr));
                if (name)
                    d.name = QString::fromLatin1(xcb_get_atom_name_name(name.get()),
                                                 xcb_get_atom_name_name_length(name.get()));
                result.push_back(d);
            }
        }
    }
    if (result.empty() && connection_.screen()) {
        const xcb_screen_t* s = connection_.screen();
        result.push_back(Display{0, QStringLiteral("root"),
                                 QRect(0, 0, s->width_in_pixels, s->height_in_pixels), true});
    }
    std::stable_partition(result.begin(), result.end(), [](const Display& d) { return d.primary; });
    return result;
}

QImage ScreenSource::grab(const Display& display) {
    const xcb_screen_t* s = connection_.screen();
    if (!s || xcb_connection_has_error(connection_.get()))
        throw grabError(QStringLiteral("与显示服务器的连接已断开"));
    const QRect rootRect(0, 0, s->width_in_pixels, s->height_in_pixels);
    if (display.geometry.isEmpty() || !rootRect.contains(display.geometry))
        throw grabError(QStringLiteral("显示器 %1 已不在屏幕上").arg(display.name));
    if (!rootFormatSupported(connection_.get(), s->root_depth))
        throw grabError(QStringLiteral("不支持的像素格式"));
    if (shmAvailable_) {
        QImage image = grabShared(display.geometry);
        if (!image.isNull())
            return image;
    }
    return grabPlain(display.geometry);
}

QImage ScreenSource::grabShared(const QRect& area) {
    const size_t bytes = size_t(area.width()) * size_t(area.height()) * 4;
    if (!ensureSegment(bytes))
        return {};
    xcb_connection_t* c = connection_.get();
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_shm_get_image_reply_t> reply(xcb_shm_get_image_reply(
        c,
        xcb_shm_get_image(c, connection_.root(), int16_t(area.x()), int16_t(area.y()),
                          uint16_t(area.width()), uint16_t(area.height()), ~0u,
                          XCB_IMAGE_FORMAT_Z_PIXMAP, segment_, 0),
        &error));
    throwIfFailed(reply.get(), error);
    return toImage(static_cast<const uint8_t*>(segmentData_), std::min<size_t>(reply->size, bytes),
                   area.size());
}

QImage ScreenSource::grabPlain(const QRect& area) {
    xcb_connection_t* c = connection_.get();
    xcb_generic_error_t* error = nullptr;
    Reply<xcb_get_image_reply_t> reply(xcb_get_image_reply(
        c,
        xcb_get_image(c, XCB_IMAGE_FORMAT_Z_PIXMAP, connection_.root(), int16_t(area.x()),
                      int16_t(area.y()), uint16_t(area.width()), uint16_t(area.height()), ~0u),
        &error));
    throwIfFailed(reply.get(), error);
    return toImage(xcb_get_image_data(reply.get()), size_t(xcb_get_image_data_length(reply.get())),
                   area.size());
}

// One segment, grown on demand and reused: attaching costs a round trip and
// a fresh mapping on every capture otherwise.
bool ScreenSource::ensureSegment(size_t bytes) {
    if (segmentData_ && segmentSize_ >= bytes)
        return true;
    releaseSegment();
    const int id = shmget(IPC_PRIVATE, bytes, IPC_CREAT | 0600);
    if (id < 0)
        return false;
    void* data = shmat(id, nullptr, 0);
    xcb_connection_t* c = connection_.get();
    const xcb_shm_seg_t segment = xcb_generate_id(c);
    xcb_generic_error_t* error =
        data == reinterpret_cast<void*>(-1)
            ? nullptr
            : xcb_request_check(c, xcb_shm_attach_checked(c, segment, uint32_t(id), 0));
    // Marked for removal now, so it disappears with the last detach even if
    // the process dies.
    shmctl(id, IPC_RMID, nullptr);
    if (data == reinterpret_cast<void*>(-1))
        return false;
    if (error) {
        // A remote display cannot map our memory; plain transfers still work.
        std::free(error);
        shmdt(data);
        shmAvailable_ = false;
        return false;
    }
    segment_ = segment;
    segmentData_ = data;
    segmentSize_ = bytes;
    return true;
}

void ScreenSource::releaseSegment() {
    if (!segmentData_)
        return;
    if (!xcb_connection_has_error(connection_.get())) {
        xcb_shm_detach(connection_.get(), segment_);
        xcb_flush(connection_.get());
    }
    shmdt(segmentData_);
    segmentData_ = nullptr;
    segmentSize_ = 0;
}

} // namespace korvel::x11
