// Defines RandR monitors on the test X server, e.g. "1920x1080+0+0,1280x1024+1920+0";
// the first is primary and takes over the server's one output. The monitors
// outlive this client (close-down mode RetainPermanent).
#include <xcb/randr.h>
#include <xcb/xcb.h>
#include <xcb/xcbext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <sys/uio.h>
#include <vector>

namespace {

struct Monitor {
    int w, h, x, y;
};

// libxcb-randr 1.15 miscomputes the length of SetMonitor with outputs, so the
// request is assembled by hand.
bool setMonitor(xcb_connection_t* c, xcb_window_t root, const char* name, const Monitor& m,
                bool primary, const std::vector<xcb_randr_output_t>& outputs) {
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(std::strlen(name)), name), nullptr);
    if (!atom)
        return false;
    std::vector<uint8_t> info(sizeof(xcb_randr_monitor_info_t) + 4 * outputs.size());
    auto* mi = reinterpret_cast<xcb_randr_monitor_info_t*>(info.data());
    mi->name = atom->atom;
    mi->primary = primary;
    mi->nOutput = uint16_t(outputs.size());
    mi->x = int16_t(m.x);
    mi->y = int16_t(m.y);
    mi->width = uint16_t(m.w);
    mi->height = uint16_t(m.h);
    mi->width_in_millimeters = uint32_t(m.w * 254 / 960);
    mi->height_in_millimeters = uint32_t(m.h * 254 / 960);
    std::memcpy(mi + 1, outputs.data(), 4 * outputs.size());
    std::free(atom);

    struct {
        uint8_t major, minor;
        uint16_t length;
        uint32_t window;
    } header = {0, XCB_RANDR_SET_MONITOR, 0, root};
    iovec parts[6] = {};
    parts[2] = {&header, sizeof header};
    parts[4] = {info.data(), info.size()};
    xcb_protocol_request_t request = {4, &xcb_randr_id, XCB_RANDR_SET_MONITOR, 1};
    xcb_void_cookie_t cookie = {xcb_send_request(c, XCB_REQUEST_CHECKED, parts + 2, &request)};
    xcb_generic_error_t* error = xcb_request_check(c, cookie);
    std::free(error);
    return !error && !xcb_connection_has_error(c);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s WxH+X+Y[,WxH+X+Y…]\n", argv[0]);
        return 2;
    }
    std::vector<Monitor> monitors;
    std::string layout = argv[1];
    for (size_t start = 0; start <= layout.size();) {
        const size_t end = std::min(layout.find(',', start), layout.size());
        Monitor m{};
        if (std::sscanf(layout.substr(start, end - start).c_str(), "%dx%d+%d+%d", &m.w, &m.h, &m.x,
                        &m.y) != 4)
            return 2;
        monitors.push_back(m);
        start = end + 1;
    }
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 1;
    xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    std::free(xcb_randr_query_version_reply(c, xcb_randr_query_version(c, 1, 5), nullptr));
    auto* resources = xcb_randr_get_screen_resources_current_reply(
        c, xcb_randr_get_screen_resources_current(c, root), nullptr);
    if (!resources)
        return 1;
    const xcb_randr_output_t* out = xcb_randr_get_screen_resources_current_outputs(resources);
    std::vector<xcb_randr_output_t> outputs(
        out, out + xcb_randr_get_screen_resources_current_outputs_length(resources));
    std::free(resources);
    xcb_set_close_down_mode(c, XCB_CLOSE_DOWN_RETAIN_PERMANENT);
    for (size_t i = 0; i < monitors.size(); ++i) {
        const std::string name = "KORVEL-" + std::to_string(i);
        if (!setMonitor(c, root, name.c_str(), monitors[i], i == 0,
                        i == 0 ? outputs : std::vector<xcb_randr_output_t>{}))
            return 1;
    }
    xcb_disconnect(c);
    return 0;
}
