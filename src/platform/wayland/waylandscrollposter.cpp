#include "waylandscrollposter.h"

#include "waylandconnection.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <chrono>

namespace korvel::wayland {
namespace {

quint32 milliseconds() {
    using namespace std::chrono;
    return quint32(
        duration_cast<std::chrono::milliseconds>(steady_clock::now().time_since_epoch()).count());
}

// What one notch of a wheel reports, in the compositor's axis units.
constexpr double notch = 15.0;

} // namespace

ScrollPoster::ScrollPoster(Connection& connection)
    : connection_(connection) {
    // Made now, not at the first step: the compositor needs a moment to
    // route a new pointer device's events.
    if (connection.virtualPointers()) {
        pointer_ = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
            connection.virtualPointers(), connection.seat());
        wl_display_flush(connection.display());
    }
}

ScrollPoster::~ScrollPoster() {
    if (pointer_) {
        zwlr_virtual_pointer_v1_destroy(pointer_);
        wl_display_flush(connection_.display());
    }
}

bool ScrollPoster::post(QPoint rootPoint, bool horizontal, int amount) {
    const QRect box = connection_.layoutBounds();
    if (!pointer_ || amount == 0 || box.isEmpty() || !box.contains(rootPoint))
        return false;
    const quint32 time = milliseconds();
    zwlr_virtual_pointer_v1_motion_absolute(pointer_, time, quint32(rootPoint.x() - box.x()),
                                            quint32(rootPoint.y() - box.y()), quint32(box.width()),
                                            quint32(box.height()));
    zwlr_virtual_pointer_v1_frame(pointer_);
    // Positive axis values scroll towards the content below or to the right.
    const int steps = amount < 0 ? 1 : -1;
    const quint32 axis =
        horizontal ? WL_POINTER_AXIS_HORIZONTAL_SCROLL : WL_POINTER_AXIS_VERTICAL_SCROLL;
    zwlr_virtual_pointer_v1_axis_source(pointer_, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(pointer_, time, axis, wl_fixed_from_double(steps * notch),
                                          steps);
    zwlr_virtual_pointer_v1_frame(pointer_);
    return wl_display_flush(connection_.display()) >= 0 && !connection_.broken();
}

} // namespace korvel::wayland
