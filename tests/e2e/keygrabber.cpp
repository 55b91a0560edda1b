// Another X client holding a key combination, as a desktop's own shortcut
// would:
//   keygrabber KEYSYM MASK READY   grabs KEYSYM (e.g. 0x31 for "1") with the
//                                  X modifier MASK on the root window, with
//                                  and without Caps Lock and Num Lock, touches
//                                  READY and holds the grab until killed.
#include <xcb/xcb.h>

#include <cstdio>
#include <cstdlib>
#include <initializer_list>

int main(int argc, char** argv) {
    if (argc != 4)
        return 2;
    const auto keysym = xcb_keysym_t(std::strtoul(argv[1], nullptr, 0));
    const auto mask = uint16_t(std::strtoul(argv[2], nullptr, 0));
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_window_t root = xcb_setup_roots_iterator(setup).data->root;
    const int count = setup->max_keycode - setup->min_keycode + 1;
    auto* map = xcb_get_keyboard_mapping_reply(
        c, xcb_get_keyboard_mapping(c, setup->min_keycode, uint8_t(count)), nullptr);
    if (!map)
        return 2;
    const xcb_keysym_t* syms = xcb_get_keyboard_mapping_keysyms(map);
    xcb_keycode_t keycode = 0;
    for (int i = 0; i < count && !keycode; ++i) {
        if (syms[i * map->keysyms_per_keycode] == keysym)
            keycode = xcb_keycode_t(setup->min_keycode + i);
    }
    std::free(map);
    if (!keycode)
        return 2;
    // Mod2 is Num Lock on the X servers the tests use.
    for (int extra : {0, int(XCB_MOD_MASK_LOCK), int(XCB_MOD_MASK_2),
                      int(XCB_MOD_MASK_LOCK | XCB_MOD_MASK_2)}) {
        if (xcb_generic_error_t* error = xcb_request_check(
                c, xcb_grab_key_checked(c, 1, root, uint16_t(mask | extra), keycode,
                                        XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC))) {
            std::free(error);
            return 1;
        }
    }
    if (FILE* ready = std::fopen(argv[3], "w"))
        std::fclose(ready);
    // Key events for the grab are read and dropped until the process ends.
    while (xcb_generic_event_t* event = xcb_wait_for_event(c))
        std::free(event);
    return 0;
}
