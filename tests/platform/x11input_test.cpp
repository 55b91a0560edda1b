// The long capture's keys and wheel against a real X server without a window
// manager (scripts/xsession --bare). A second connection plays the user: it
// types and scrolls through XTest and sets the active window as a window
// manager would.
#include "platform/x11/x11connection.h"
#include "platform/x11/x11keytap.h"
#include "platform/x11/x11scrollposter.h"
#include "platform/x11/x11windowlist.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xtest.h>

#include <chrono>
#include <functional>
#include <thread>

using namespace korvel;

namespace {

struct Input : ::testing::Test {
    std::unique_ptr<x11::Connection> ours = x11::Connection::open();
    std::unique_ptr<x11::Connection> user = x11::Connection::open();
    std::vector<xcb_window_t> created;

    void SetUp() override { ASSERT_TRUE(ours && user) << "no X display"; }
    void TearDown() override {
        for (xcb_window_t w : created)
            xcb_destroy_window(user->get(), w);
        xcb_delete_property(user->get(), user->root(), user->atom("_NET_ACTIVE_WINDOW"));
        sync(*user);
    }
    static void sync(x11::Connection& c) {
        free(xcb_get_input_focus_reply(c.get(), xcb_get_input_focus(c.get()), nullptr));
    }
    // Feeds our connection's events to `handle` for a moment.
    void pump(const std::function<void(const xcb_generic_event_t*)>& handle) {
        sync(*user);
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(150);
        while (std::chrono::steady_clock::now() < until) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(ours->get())) {
                handle(e);
                free(e);
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    void key(quint32 keysym, bool press) {
        const auto code = user->keycode(keysym);
        ASSERT_TRUE(code);
        xcb_test_fake_input(user->get(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, *code,
                            XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
    void tap(quint32 keysym) {
        key(keysym, true);
        key(keysym, false);
    }
    xcb_window_t window(QRect r, uint32_t events = 0) {
        xcb_window_t w = xcb_generate_id(user->get());
        const uint32_t values[] = {events};
        xcb_create_window(user->get(), XCB_COPY_FROM_PARENT, w, user->root(), int16_t(r.x()),
                          int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_EVENT_MASK,
                          values);
        xcb_map_window(user->get(), w);
        created.push_back(w);
        sync(*user);
        return w;
    }
    void setCardinal(xcb_window_t w, const char* name, xcb_atom_t type, uint32_t value) {
        xcb_change_property(user->get(), XCB_PROP_MODE_REPLACE, w, user->atom(name), type, 32, 1,
                            &value);
        sync(*user);
    }
};

constexpr quint32 space = 0x20, returnKey = 0xff0d, escape = 0xff1b, control = 0xffe3;

TEST_F(Input, TheTapTakesPlainKeysOncePerPressOnlyWhileTheTargetIsActive) {
    x11::KeyTap keys(*ours, getpid());
    std::vector<int> seen;
    keys.onKey = [&](int k) { seen.push_back(k); };
    const auto handle = [&](const xcb_generic_event_t* e) { keys.handle(e); };

    ASSERT_TRUE(keys.start(4242));
    EXPECT_TRUE(keys.grabbed()); // no window manager: nothing says otherwise
    tap(space);
    tap(returnKey);
    tap(escape);
    // Held down: the server repeats the press; one toggle, not a series.
    key(space, true);
    key(space, true);
    key(space, true);
    key(space, false);
    // Control+Space is not the capture's.
    key(control, true);
    tap(space);
    key(control, false);
    pump(handle);
    EXPECT_EQ(seen, (std::vector<int>{49, 36, 53, 49}));

    // A third application comes to the front: its keys stay its own.
    const xcb_window_t other = window(QRect(0, 0, 50, 50));
    setCardinal(other, "_NET_WM_PID", XCB_ATOM_CARDINAL, 999999);
    setCardinal(user->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, other);
    pump(handle);
    EXPECT_FALSE(keys.grabbed());
    seen.clear();
    tap(space);
    pump(handle);
    EXPECT_TRUE(seen.empty());

    // The source application again.
    const xcb_window_t source = window(QRect(60, 0, 50, 50));
    setCardinal(source, "_NET_WM_PID", XCB_ATOM_CARDINAL, 4242);
    setCardinal(user->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, source);
    pump(handle);
    tap(escape);
    pump(handle);
    EXPECT_EQ(seen, std::vector<int>{53});
    x11::WindowList windows(*ours);
    EXPECT_EQ(windows.activePid(), 4242);

    // A window of our own counts as the capture's too; stopping lets go.
    setCardinal(other, "_NET_WM_PID", XCB_ATOM_CARDINAL, uint32_t(getpid()));
    setCardinal(user->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, other);
    pump(handle);
    EXPECT_TRUE(keys.grabbed());
    keys.stop();
    seen.clear();
    tap(space);
    pump(handle);
    EXPECT_TRUE(seen.empty());
    EXPECT_FALSE(keys.running());
}

TEST_F(Input, ScrollStepsReachTheWindowUnderThePointAndOnlyTheUsersAreReported) {
    x11::ScrollPoster scrolls(*ours);
    ASSERT_TRUE(scrolls.available());
    const xcb_window_t target = window(QRect(100, 100, 200, 200), XCB_EVENT_MASK_BUTTON_PRESS);
    int userScrolls = 0;
    scrolls.onUserScroll = [&] { ++userScrolls; };
    scrolls.setWatching(true);

    // The amount is the number of clicks; the pointer goes back afterwards.
    xcb_test_fake_input(user->get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, user->root(), 20, 30,
                        0);
    sync(*user);
    ASSERT_TRUE(scrolls.post(QPoint(150, 170), false, -2));
    ASSERT_TRUE(scrolls.post(QPoint(160, 180), false, 1));
    ASSERT_TRUE(scrolls.post(QPoint(170, 190), true, -1));
    ASSERT_TRUE(scrolls.post(QPoint(180, 200), true, 1));
    EXPECT_FALSE(scrolls.post(QPoint(180, 200), true, 0));
    pump([&](const xcb_generic_event_t* e) { scrolls.handle(e); });
    EXPECT_EQ(userScrolls, 0);

    // The user's wheel, here through XTest as well, but not expected.
    xcb_test_fake_input(user->get(), XCB_BUTTON_PRESS, 5, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    xcb_test_fake_input(user->get(), XCB_BUTTON_RELEASE, 5, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    pump([&](const xcb_generic_event_t* e) { scrolls.handle(e); });
    EXPECT_EQ(userScrolls, 1);
    scrolls.setWatching(false);

    // The window under each point got its steps, in order and in place (the
    // user's wheel went where the pointer was given back to).
    std::vector<std::pair<int, QPoint>> presses;
    sync(*user);
    while (xcb_generic_event_t* e = xcb_poll_for_event(user->get())) {
        if ((e->response_type & 0x7f) == XCB_BUTTON_PRESS) {
            const auto* b = reinterpret_cast<xcb_button_press_event_t*>(e);
            if (b->event == target)
                presses.emplace_back(b->detail, QPoint(b->root_x, b->root_y));
        }
        free(e);
    }
    x11::Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(
        user->get(), xcb_query_pointer(user->get(), user->root()), nullptr));
    ASSERT_TRUE(pointer);
    EXPECT_EQ(QPoint(pointer->root_x, pointer->root_y), QPoint(20, 30));
    const std::vector<std::pair<int, QPoint>> expected = {{5, QPoint(150, 170)},
                                                          {5, QPoint(150, 170)},
                                                          {4, QPoint(160, 180)},
                                                          {7, QPoint(170, 190)},
                                                          {6, QPoint(180, 200)}};
    EXPECT_EQ(presses, expected);
}

} // namespace
