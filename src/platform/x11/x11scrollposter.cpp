#include "x11scrollposter.h"

#include <QCoreApplication>
#include <xcb/xinput.h>
#include <xcb/xtest.h>

#include <cstdlib>
#include <cstring>

namespace korvel::x11 {
namespace {

constexpr qint64 expectWithinMs = 1000;

} // namespace

ScrollPoster::ScrollPoster(Connection& connection)
    : connection_(connection) {
    clock_.start();
    xcb_connection_t* c = connection_.get();
    if (xcb_connection_has_error(c))
        return;
    Reply<xcb_test_get_version_reply_t> test(
        xcb_test_get_version_reply(c, xcb_test_get_version(c, 2, 2), nullptr));
    xtest_ = test != nullptr;
    const xcb_query_extension_reply_t* input = xcb_get_extension_data(c, &xcb_input_id);
    if (input && input->present) {
        Reply<xcb_input_xi_query_version_reply_t> version(
            xcb_input_xi_query_version_reply(c, xcb_input_xi_query_version(c, 2, 2), nullptr));
        if (version && (version->major_version > 2 ||
                        (version->major_version == 2 && version->minor_version >= 2)))
            xinputOpcode_ = input->major_opcode;
    }
    if (available())
        findXTestPointer();
    if (QCoreApplication::instance())
        QCoreApplication::instance()->installNativeEventFilter(this);
}

ScrollPoster::~ScrollPoster() {
    setWatching(false);
    if (QCoreApplication::instance())
        QCoreApplication::instance()->removeNativeEventFilter(this);
}

void ScrollPoster::findXTestPointer() {
    xcb_connection_t* c = connection_.get();
    Reply<xcb_input_xi_query_device_reply_t> devices(xcb_input_xi_query_device_reply(
        c, xcb_input_xi_query_device(c, XCB_INPUT_DEVICE_ALL), nullptr));
    if (!devices)
        return;
    for (auto it = xcb_input_xi_query_device_infos_iterator(devices.get()); it.rem;
         xcb_input_xi_device_info_next(&it)) {
        const QByteArray name(xcb_input_xi_device_info_name(it.data),
                              xcb_input_xi_device_info_name_length(it.data));
        if (it.data->type == XCB_INPUT_DEVICE_TYPE_SLAVE_POINTER && name.endsWith("XTEST pointer"))
            xtestPointer_ = it.data->deviceid;
    }
}

bool ScrollPoster::post(QPoint rootPoint, bool horizontal, int amount) {
    if (!xtest_ || amount == 0 || xcb_connection_has_error(connection_.get()))
        return false;
    xcb_connection_t* c = connection_.get();
    const uint8_t button = horizontal ? (amount < 0 ? 7 : 6) : (amount < 0 ? 5 : 4);
    Reply<xcb_query_pointer_reply_t> user(
        xcb_query_pointer_reply(c, xcb_query_pointer(c, connection_.root()), nullptr));
    const auto moveTo = [&](int x, int y) {
        xcb_test_fake_input(c, XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, connection_.root(),
                            int16_t(x), int16_t(y), 0);
    };
    moveTo(rootPoint.x(), rootPoint.y());
    for (int i = 0; i < std::abs(amount); ++i) {
        xcb_test_fake_input(c, XCB_BUTTON_PRESS, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        xcb_test_fake_input(c, XCB_BUTTON_RELEASE, button, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
        if (watching_)
            expected_.push_back(clock_.elapsed());
    }
    // The pointer goes back, so the user can still reach the control bar.
    if (user && user->same_screen)
        moveTo(user->root_x, user->root_y);
    xcb_flush(c);
    return true;
}

void ScrollPoster::setWatching(bool watching) {
    expected_.clear();
    if (watching == watching_ || xinputOpcode_ == 0 || xcb_connection_has_error(connection_.get()))
        return;
    // Master devices only: the toolkit keeps its own selection for all
    // devices on the root window, which this must not replace. Raw events of
    // a master still name the physical source.
    struct {
        xcb_input_event_mask_t head;
        uint32_t bits;
    } mask{{XCB_INPUT_DEVICE_ALL_MASTER, 1},
           watching ? uint32_t(XCB_INPUT_XI_EVENT_MASK_RAW_BUTTON_PRESS) : 0u};
    xcb_input_xi_select_events(connection_.get(), connection_.root(), 1, &mask.head);
    xcb_flush(connection_.get());
    watching_ = watching;
}

bool ScrollPoster::handle(const xcb_generic_event_t* event) {
    if (!watching_ || (event->response_type & 0x7f) != XCB_GE_GENERIC)
        return false;
    const auto* generic = reinterpret_cast<const xcb_ge_generic_event_t*>(event);
    if (generic->extension != xinputOpcode_ || generic->event_type != XCB_INPUT_RAW_BUTTON_PRESS)
        return false;
    const auto* raw = reinterpret_cast<const xcb_input_raw_button_press_event_t*>(event);
    if (raw->detail < 4 || raw->detail > 7)
        return true;
    const qint64 now = clock_.elapsed();
    while (!expected_.empty() && now - expected_.front() > expectWithinMs)
        expected_.pop_front();
    if (raw->sourceid == xtestPointer_ && !expected_.empty()) {
        expected_.pop_front();
        return true;
    }
    if (onUserScroll)
        onUserScroll();
    return true;
}

bool ScrollPoster::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*) {
    return eventType == "xcb_generic_event_t" &&
           handle(static_cast<const xcb_generic_event_t*>(message));
}

} // namespace korvel::x11
