// The Wayland tests' pointer: a wlroots virtual pointer driven by commands on standard input, one
// a line: "move X Y" (logical layout), "down", "up" (left button), "wheel N" (notches, positive
// down), "sleep MS". It writes "ready" to the file named by its argument once the compositor
// routes its events (a new device needs a moment), and "done N" after the N-th command.
#include "platform/wayland/waylandconnection.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

#include <wayland-client.h>

#include <chrono>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>

namespace {

quint32 now() {
    using namespace std::chrono;
    return quint32(duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

void pause(int ms) {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2)
        return 2;
    auto c = korvel::wayland::Connection::open();
    if (!c || !c->virtualPointers())
        return 1;
    zwlr_virtual_pointer_v1* p =
        zwlr_virtual_pointer_manager_v1_create_virtual_pointer(c->virtualPointers(), c->seat());
    c->roundtrip();
    pause(300);
    std::ofstream log(argv[1], std::ios::app);
    log << "ready" << std::endl;
    std::string line;
    for (int count = 1; std::getline(std::cin, line); ++count) {
        std::istringstream in(line);
        std::string verb;
        int a = 0, b = 0;
        in >> verb >> a >> b;
        if (verb == "move") {
            c->roundtrip(); // the layout may have changed
            const QRect box = c->layoutBounds();
            zwlr_virtual_pointer_v1_motion_absolute(p, now(), quint32(a - box.x()),
                                                    quint32(b - box.y()), quint32(box.width()),
                                                    quint32(box.height()));
        }
        if (verb == "down" || verb == "up")
            zwlr_virtual_pointer_v1_button(p, now(), 0x110, // BTN_LEFT
                                           verb == "down" ? WL_POINTER_BUTTON_STATE_PRESSED
                                                          : WL_POINTER_BUTTON_STATE_RELEASED);
        const int step = a > 0 ? 1 : -1;
        for (int i = 0; verb == "wheel" && i < std::abs(a); ++i) {
            if (i > 0)
                pause(150);
            zwlr_virtual_pointer_v1_axis_source(p, WL_POINTER_AXIS_SOURCE_WHEEL);
            zwlr_virtual_pointer_v1_axis_discrete(p, now(), WL_POINTER_AXIS_VERTICAL_SCROLL,
                                                  wl_fixed_from_int(15 * step), step);
            zwlr_virtual_pointer_v1_frame(p);
            c->roundtrip();
        }
        if (verb == "sleep")
            pause(a);
        zwlr_virtual_pointer_v1_frame(p);
        c->roundtrip();
        log << "done " << count << std::endl;
    }
    zwlr_virtual_pointer_v1_destroy(p);
    c->roundtrip();
    return 0;
}
