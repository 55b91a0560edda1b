// The pointer of the Wayland end-to-end tests: a virtual pointer (wlroots'
// virtual-pointer protocol) driven by commands on standard input, one a line:
//   move X Y        to that point of the logical layout
//   down [B] / up [B] / click [B]   button 1 (left, default), 2 (middle) or 3 (right)
//   wheel N         N notches of the vertical wheel, positive downwards
//   hwheel N        the same sideways, positive to the right
//   sleep MS
// It writes "ready" to the file named by its argument once the compositor
// routes its events (a new device needs a moment) and "done N" after the
// N-th command.
#include "platform/wayland/waylandconnection.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

using korvel::wayland::Connection;

quint32 now() {
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void note(const char* path, const std::string& line) {
    std::ofstream(path, std::ios::app) << line << '\n';
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    std::unique_ptr<Connection> c = Connection::open();
    if (!c || !c->virtualPointers())
        return 1;
    zwlr_virtual_pointer_v1* p =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(c->virtualPointers(), c->seat());
    c->roundtrip();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    note(argv[1], "ready");
    std::string line;
    for (int count = 1; std::getline(std::cin, line); ++count) {
        std::istringstream in(line);
        std::string verb;
        int a = 0, b = 0;
        in >> verb >> a >> b;
        const quint32 button = a == 3 ? 0x111 : a == 2 ? 0x112 : 0x110; // right, middle, left
        if (verb == "move") {
            c->roundtrip(); // the layout may have changed
            const QRect box = c->layoutBounds();
            zwlr_virtual_pointer_v1_motion_absolute(p, now(), quint32(a - box.x()),
                                                    quint32(b - box.y()), quint32(box.width()),
                                                    quint32(box.height()));
        } else if (verb == "down" || verb == "click") {
            zwlr_virtual_pointer_v1_button(p, now(), button, WL_POINTER_BUTTON_STATE_PRESSED);
        }
        if (verb == "click") {
            zwlr_virtual_pointer_v1_frame(p);
            c->roundtrip();
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
        if (verb == "up" || verb == "click")
            zwlr_virtual_pointer_v1_button(p, now(), button, WL_POINTER_BUTTON_STATE_RELEASED);
        if (verb == "wheel" || verb == "hwheel") {
            const quint32 axis = verb == "wheel" ? WL_POINTER_AXIS_VERTICAL_SCROLL
                                                 : WL_POINTER_AXIS_HORIZONTAL_SCROLL;
            const int step = a > 0 ? 1 : -1;
            for (int i = 0; i < std::abs(a); ++i) {
                if (i > 0)
                    std::this_thread::sleep_for(std::chrono::milliseconds(150));
                zwlr_virtual_pointer_v1_axis_source(p, WL_POINTER_AXIS_SOURCE_WHEEL);
                zwlr_virtual_pointer_v1_axis_discrete(p, now(), axis, wl_fixed_from_int(15 * step),
                                                      step);
                zwlr_virtual_pointer_v1_frame(p);
                c->roundtrip();
            }
        }
        if (verb == "sleep")
            std::this_thread::sleep_for(std::chrono::milliseconds(a));
        zwlr_virtual_pointer_v1_frame(p);
        c->roundtrip();
        note(argv[1], "done " + std::to_string(count));
    }
    zwlr_virtual_pointer_v1_destroy(p);
    c->roundtrip();
    return 0;
}
