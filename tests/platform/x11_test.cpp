// The X11 backend on a bare server (scripts/xsession --bare; monitors 1920×1080+0+0,
// primary, and 1280×1024+1920+0). The `user` connection plays the user and the other
// applications: windows, XTest input, and the active window a window manager would set.
#include "platform/error.h"
#include "platform/serialqueue.h"
#include "platform/x11/x11connection.h"
#include "platform/x11/x11keytap.h"
#include "platform/x11/x11screensource.h"
#include "platform/x11/x11scrollposter.h"
#include "platform/x11/x11windowlist.h"
#include "platform/x11/x11windowstream.h"

#include <gtest/gtest.h>
#include <unistd.h>
#include <xcb/xtest.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <thread>

using namespace korvel;
using std::chrono::milliseconds;

namespace {

struct X11 : ::testing::Test {
    std::unique_ptr<x11::Connection> x = x11::Connection::open();
    std::unique_ptr<x11::Connection> user = x11::Connection::open();

    void SetUp() override { ASSERT_TRUE(x && user) << "no X display"; }
    // The windows go with the user's connection; what it set on the root stays.
    void TearDown() override {
        for (const char* name : {"_NET_CLIENT_LIST_STACKING", "_NET_ACTIVE_WINDOW"})
            xcb_delete_property(user->get(), user->root(), user->atom(name));
        sync();
    }
    void sync() {
        free(xcb_get_input_focus_reply(user->get(), xcb_get_input_focus(user->get()), nullptr));
    }
    // A window of the user's, shown.
    xcb_window_t window(QRect r, uint32_t background = 0, bool overrideRedirect = false) {
        const xcb_window_t w = xcb_generate_id(user->get());
        const uint32_t values[] = {background, overrideRedirect ? 1u : 0u};
        xcb_create_window(user->get(), XCB_COPY_FROM_PARENT, w, user->root(), int16_t(r.x()),
                          int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        xcb_map_window(user->get(), w);
        sync();
        return w;
    }
    void set(xcb_window_t w, const char* name, xcb_atom_t type, std::vector<uint32_t> v) {
        xcb_change_property(user->get(), XCB_PROP_MODE_REPLACE, w, user->atom(name), type, 32,
                            uint32_t(v.size()), v.data());
        sync();
    }
    void fill(xcb_drawable_t d, QRect r, uint32_t rgb) {
        const xcb_gcontext_t gc = xcb_generate_id(user->get());
        xcb_create_gc(user->get(), gc, d, XCB_GC_FOREGROUND, &rgb);
        const xcb_rectangle_t rect = {int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                                      uint16_t(r.height())};
        xcb_poly_fill_rectangle(user->get(), d, gc, 1, &rect);
        xcb_free_gc(user->get(), gc);
        sync();
    }
    // Feeds our connection's events to `handle` for a moment.
    void pump(const std::function<void(const xcb_generic_event_t*)>& handle) {
        sync();
        const auto until = std::chrono::steady_clock::now() + milliseconds(150);
        while (std::chrono::steady_clock::now() < until) {
            while (xcb_generic_event_t* e = xcb_poll_for_event(x->get())) {
                handle(e);
                free(e);
            }
            std::this_thread::sleep_for(milliseconds(5));
        }
    }
    // Presses (true) and releases of a key through XTest; a tap by default.
    void key(quint32 keysym, std::initializer_list<bool> presses = {true, false}) {
        const auto code = user->keycode(keysym);
        ASSERT_TRUE(code);
        for (const bool press : presses)
            xcb_test_fake_input(user->get(), press ? XCB_KEY_PRESS : XCB_KEY_RELEASE, *code,
                                XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    }
};

const WindowInfo* find(const std::vector<WindowInfo>& list, xcb_window_t id) {
    const auto it = std::ranges::find(list, id, &WindowInfo::id);
    return it == list.end() ? nullptr : &*it;
}

// Grabs of both displays against the screen: e2e.Capture. Here the plain
// transfer, the reused segment and displays off the screen.
TEST_F(X11, BothTransfersGrabAlikeAndDisplaysOffTheScreenFail) {
    window(QRect(100, 100, 50, 40), 0xff0000);
    x11::ScreenSource shared(*x);
    x11::ScreenSource plain(*x, x11::ScreenSource::Transfer::plain);
    EXPECT_TRUE(shared.usesSharedMemory());
    EXPECT_FALSE(plain.usesSharedMemory());
    const auto displays = shared.displays();
    ASSERT_EQ(displays.size(), 2u);
    for (const Display& d : displays) {
        const QImage a = shared.grab(d);
        ASSERT_EQ(a.size(), d.geometry.size());
        EXPECT_EQ(a.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(a, plain.grab(d));
        EXPECT_EQ(a, shared.grab(d)); // the segment reused
    }
    EXPECT_EQ(plain.grab(displays[0]).pixel(149, 139), 0xffff0000u);
    // Displays outside the screen, partly or wholly, or empty.
    for (const QRect r : {QRect(3200, 0, 800, 600), QRect(3000, 0, 800, 600), QRect()})
        EXPECT_THROW(shared.grab(Display{99, QStringLiteral("gone"), r, false}), Error);
}

// Without a window manager the tree gives the order, and frames are not looked
// for; with one, its list does, and malformed or vanished entries are skipped.
TEST_F(X11, WindowsComeFromTheTreeOrTheManagersList) {
    const xcb_window_t back = window(QRect(10, 20, 300, 200));
    const xcb_window_t popup = window(QRect(50, 50, 100, 100), 0, true); // override-redirect
    const xcb_window_t hidden = window(QRect(60, 60, 100, 100));
    xcb_unmap_window(user->get(), hidden);
    const xcb_window_t dock = window(QRect(0, 0, 3200, 30));
    const xcb_window_t faded = window(QRect(200, 200, 100, 100));
    const xcb_window_t odd = window(QRect(300, 300, 100, 100));
    set(back, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {2, 3, 20, 4});
    set(back, "_NET_WM_PID", XCB_ATOM_CARDINAL, {4242});
    set(dock, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {user->atom("_NET_WM_WINDOW_TYPE_DOCK")});
    set(faded, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0});
    // A pid of the wrong format, three extents instead of four, and a type
    // list of the wrong type.
    xcb_change_property(user->get(), XCB_PROP_MODE_REPLACE, odd, user->atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 8, 4, "abcd");
    set(odd, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {5, 5, 5});
    set(odd, "_NET_WM_WINDOW_TYPE", XCB_ATOM_CARDINAL, {12345});

    auto windows = x11::WindowList(*x).windows();
    const WindowInfo* b = find(windows, back);
    const WindowInfo* o = find(windows, odd);
    const WindowInfo* p = find(windows, popup);
    ASSERT_TRUE(b && o && p);
    EXPECT_FALSE(find(windows, hidden));
    EXPECT_LT(o, p);
    EXPECT_LT(p, b);
    EXPECT_NE(p->layer, 0);
    EXPECT_EQ(b->bounds, QRectF(10, 20, 300, 200));
    EXPECT_FALSE(b->alpha);

    const xcb_window_t vanished = 0x7ffffff0;
    set(user->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW,
        {back, vanished, dock, faded, odd});
    windows = x11::WindowList(*x).windows();
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(windows[0].id, odd);
    EXPECT_EQ(windows[0].bounds, QRectF(300, 300, 100, 100));
    EXPECT_EQ(windows[0].layer, 0);
    EXPECT_FALSE(windows[0].pid);
    EXPECT_EQ(windows[1].alpha, 0.0);
    EXPECT_EQ(windows[2].layer, 20);
    EXPECT_EQ(windows[3].id, back);
    EXPECT_EQ(windows[3].bounds, QRectF(8, 0, 305, 224));
    EXPECT_EQ(windows[3].pid, 4242);
}

constexpr quint32 space = 0x20, escape = 0xff1b, control = 0xffe3;

// Return, Space and Escape taken from the source application: e2e.Long.
TEST_F(X11, TheKeyTapTakesPlainKeysOncePerPressOnlyWhileTheTargetIsActive) {
    x11::KeyTap keys(*x, getpid());
    std::vector<int> seen;
    keys.onKey = [&](int k) { seen.push_back(k); };
    const auto handle = [&](const xcb_generic_event_t* e) { keys.handle(e); };
    const auto activate = [&](xcb_window_t w, uint32_t pid) {
        set(w, "_NET_WM_PID", XCB_ATOM_CARDINAL, {pid});
        set(user->root(), "_NET_ACTIVE_WINDOW", XCB_ATOM_WINDOW, {w});
        pump(handle);
    };
    const auto taken = [&] { // since the last look
        pump(handle);
        return std::exchange(seen, {});
    };

    ASSERT_TRUE(keys.start(4242));
    EXPECT_TRUE(keys.grabbed()); // no window manager: nothing says otherwise
    // Held down: the server repeats the press; one toggle, not a series.
    key(space, {true, true, true, false});
    // Control+Space is not the capture's.
    key(control, {true});
    key(space);
    key(control, {false});
    key(escape);
    EXPECT_EQ(taken(), (std::vector<int>{49, 53}));

    // A third application comes to the front: its keys stay its own.
    const xcb_window_t other = window(QRect(0, 0, 50, 50));
    activate(other, 999999);
    EXPECT_FALSE(keys.grabbed());
    key(space);
    EXPECT_TRUE(taken().empty());

    // A window of our own counts as the capture's too; stopping lets go.
    activate(other, uint32_t(getpid()));
    EXPECT_TRUE(keys.grabbed());
    keys.stop();
    key(space);
    EXPECT_TRUE(taken().empty());
    EXPECT_FALSE(keys.running());
}

// Steps landing where asked, one click per unit, up, down and sideways: e2e.Long
// scrolls its fixture so. The pointer goes back afterwards, and only the user's
// wheel (here through XTest as well, but not expected) is reported.
TEST_F(X11, ScrollStepsGiveThePointerBackAndOnlyTheUsersAreReported) {
    x11::ScrollPoster scrolls(*x);
    ASSERT_TRUE(scrolls.available());
    int userScrolls = 0;
    scrolls.onUserScroll = [&] { ++userScrolls; };
    scrolls.setWatching(true);
    xcb_test_fake_input(user->get(), XCB_MOTION_NOTIFY, 0, XCB_CURRENT_TIME, user->root(), 20, 30,
                        0);
    sync();
    ASSERT_TRUE(scrolls.post(QPoint(150, 170), false, -2));
    ASSERT_TRUE(scrolls.post(QPoint(170, 190), true, 1));
    EXPECT_FALSE(scrolls.post(QPoint(180, 200), true, 0));
    for (const uint8_t type : {XCB_BUTTON_PRESS, XCB_BUTTON_RELEASE})
        xcb_test_fake_input(user->get(), type, 5, XCB_CURRENT_TIME, XCB_NONE, 0, 0, 0);
    pump([&](const xcb_generic_event_t* e) { scrolls.handle(e); });
    EXPECT_EQ(userScrolls, 1);
    x11::Reply<xcb_query_pointer_reply_t> pointer(xcb_query_pointer_reply(
        user->get(), xcb_query_pointer(user->get(), user->root()), nullptr));
    ASSERT_TRUE(pointer);
    EXPECT_EQ(QPoint(pointer->root_x, pointer->root_y), QPoint(20, 30));
}

// Frames come from the window's own pixels, read only when it changed, only
// for the asked area and only while active: a still window costs nothing,
// and windows on top or parts off screen never show. A window closed
// midway: e2e.Long.
TEST_F(X11, TheWindowStreamReadsTheWindowOnlyWhenItChangesAndOnlyTheArea) {
    std::vector<QImage> frames; // on the queue only
    SerialQueue queue(QStringLiteral("test.stream"));
    x11::WindowStream stream(*x);
    // Runs `f` on the queue, between the stream's own jobs.
    const auto onQueue = [&](auto f) {
        decltype(f()) result{};
        queue.post([&] { result = f(); });
        queue.sync();
        return result;
    };
    // Polls for up to five seconds until there are `count` frames.
    const auto framesReach = [&](int count) {
        for (int i = 0; i < 500; ++i) {
            if (onQueue([&] { return int(frames.size()) == count; }))
                return true;
            std::this_thread::sleep_for(milliseconds(10));
        }
        return false;
    };
    const auto last = [&] { return onQueue([&] { return frames.back(); }); };
    WindowStreamConfiguration configuration;
    configuration.window = 0x7fffffe; // no such window
    EXPECT_THROW(stream.start(configuration, queue, {}, {}), Error);

    const int right = x->screen()->width_in_pixels;
    const xcb_window_t w = window(QRect(right - 200, 120, 300, 200), 0x336699);
    window(QRect(right - 180, 140, 60, 60), 0xffffff); // on top
    configuration.window = w;
    stream.start(
        configuration, queue,
        [&](const WindowFrame& f) {
            if (f.complete)
                frames.push_back(f.image);
        },
        [](const Error&) {});
    EXPECT_TRUE(stream.usesComposite()) << "no compositor: the server keeps the pixmap itself";
    ASSERT_TRUE(framesReach(1));
    // Drawn once the server keeps the window's pixels (a real application
    // draws again when asked); then it stands still.
    fill(w, QRect(20, 30, 40, 50), 0xff8800);
    std::this_thread::sleep_for(milliseconds(200));
    const int settled = stream.grabs();
    std::this_thread::sleep_for(milliseconds(300));
    ASSERT_EQ(stream.grabs(), settled) << "a still window was read again";
    const QImage f = last();
    EXPECT_EQ(f.size(), QSize(300, 200));
    EXPECT_EQ(f.format(), QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(f.pixel(25, 35), 0xffff8800u) << "the window on top shows through";
    EXPECT_EQ(f.pixel(299, 199), 0xff336699u) << "the part off screen is missing";
    fill(w, QRect(100, 100, 10, 10), 0x00ff00);
    ASSERT_TRUE(framesReach(settled + 1));
    stream.setArea(QRect(20, 30, 40, 50), true);
    ASSERT_TRUE(framesReach(settled + 2));
    EXPECT_EQ(last(), f.copy(20, 30, 40, 50));
    stream.setArea(QRect(20, 30, 40, 50), false);
    fill(w, QRect(25, 35, 5, 5), 0x000000);
    std::this_thread::sleep_for(milliseconds(200));
    EXPECT_EQ(onQueue([&] { return int(frames.size()); }), settled + 2) << "read while inactive";
}

} // namespace
