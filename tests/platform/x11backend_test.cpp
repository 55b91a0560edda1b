// Runs against a real X server without a window manager (scripts/xsession
// --bare), whose monitors are 1920×1080+0+0 (primary) and 1280×1024+1920+0.
#include "platform/error.h"
#include "platform/x11/x11connection.h"
#include "platform/x11/x11hotkeys.h"
#include "platform/x11/x11screensource.h"
#include "platform/x11/x11windowlist.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>

using namespace korvel;

namespace {

struct X11 : ::testing::Test {
    std::unique_ptr<x11::Connection> x = x11::Connection::open();
    std::vector<xcb_window_t> created;

    void SetUp() override { ASSERT_TRUE(x) << "no X display"; }
    void TearDown() override {
        for (xcb_window_t w : created)
            xcb_destroy_window(x->get(), w);
        xcb_delete_property(x->get(), x->root(), x->atom("_NET_CLIENT_LIST_STACKING"));
        xcb_aux_sync();
    }
    void xcb_aux_sync() {
        free(xcb_get_input_focus_reply(x->get(), xcb_get_input_focus(x->get()), nullptr));
    }

    xcb_window_t window(QRect r, bool overrideRedirect = false, bool map = true) {
        xcb_window_t w = xcb_generate_id(x->get());
        const uint32_t values[] = {x->screen()->black_pixel, overrideRedirect ? 1u : 0u};
        xcb_create_window(x->get(), XCB_COPY_FROM_PARENT, w, x->root(), int16_t(r.x()),
                          int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT,
                          XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        if (map)
            xcb_map_window(x->get(), w);
        created.push_back(w);
        xcb_aux_sync();
        return w;
    }
    void cardinals(xcb_window_t w, const char* name, xcb_atom_t type, std::vector<uint32_t> v) {
        xcb_change_property(x->get(), XCB_PROP_MODE_REPLACE, w, x->atom(name), type, 32,
                            uint32_t(v.size()), v.data());
        xcb_aux_sync();
    }
    void fill(QRect r, uint32_t rgb) {
        xcb_gcontext_t gc = xcb_generate_id(x->get());
        xcb_create_gc(x->get(), gc, x->root(), XCB_GC_FOREGROUND, &rgb);
        const xcb_rectangle_t rect = {int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                                      uint16_t(r.height())};
        xcb_poly_fill_rectangle(x->get(), x->root(), gc, 1, &rect);
        xcb_free_gc(x->get(), gc);
        xcb_aux_sync();
    }
    const WindowInfo* find(const std::vector<WindowInfo>& list, xcb_window_t id) {
        auto it = std::find_if(list.begin(), list.end(),
                               [id](const WindowInfo& w) { return w.id == id; });
        return it == list.end() ? nullptr : &*it;
    }
};

} // namespace

TEST_F(X11, MonitorsComePrimaryFirst) {
    x11::ScreenSource screens(*x);
    const auto displays = screens.displays();
    ASSERT_EQ(displays.size(), 2u);
    EXPECT_EQ(displays[0].geometry, QRect(0, 0, 1920, 1080));
    EXPECT_TRUE(displays[0].primary);
    EXPECT_EQ(displays[1].geometry, QRect(1920, 0, 1280, 1024));
    EXPECT_NE(displays[0].id, displays[1].id);
}

TEST_F(X11, SharedMemoryAndPlainGrabsAgreeWithTheScreen) {
    fill(QRect(0, 0, 3200, 1080), 0x000000);
    fill(QRect(100, 100, 50, 40), 0xff0000);
    fill(QRect(1920, 0, 10, 10), 0x00ff00);
    fill(QRect(3190, 1014, 10, 10), 0x0000ff); // the bottom-right corner of the second monitor
    x11::ScreenSource shared(*x);
    x11::ScreenSource plain(*x, x11::ScreenSource::Transfer::plain);
    EXPECT_TRUE(shared.usesSharedMemory());
    EXPECT_FALSE(plain.usesSharedMemory());
    for (const Display& d : shared.displays()) {
        const QImage a = shared.grab(d);
        const QImage b = plain.grab(d);
        // Grabbing twice reuses the segment and still gives the same pixels.
        const QImage again = shared.grab(d);
        ASSERT_EQ(a.size(), d.geometry.size());
        EXPECT_EQ(a.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(a, b);
        EXPECT_EQ(a, again);
    }
    const auto displays = shared.displays();
    const QImage first = shared.grab(displays[0]);
    EXPECT_EQ(first.pixel(100, 100), 0xffff0000u);
    EXPECT_EQ(first.pixel(149, 139), 0xffff0000u);
    EXPECT_EQ(first.pixel(150, 140), 0xff000000u);
    const QImage second = shared.grab(displays[1]);
    EXPECT_EQ(second.pixel(0, 0), 0xff00ff00u);
    EXPECT_EQ(second.pixel(1279, 1023), 0xff0000ffu);
}

TEST_F(X11, ADisplayOutsideTheScreenFailsToGrab) {
    x11::ScreenSource screens(*x);
    Display gone{99, QStringLiteral("gone"), QRect(3200, 0, 800, 600), false};
    EXPECT_THROW(screens.grab(gone), Error);
    Display partly{98, QStringLiteral("partly"), QRect(3000, 0, 800, 600), false};
    EXPECT_THROW(screens.grab(partly), Error);
    Display empty{97, QStringLiteral("empty"), QRect(0, 0, 0, 0), false};
    EXPECT_THROW(screens.grab(empty), Error);
}

TEST_F(X11, WithoutWindowManagerTheTreeGivesFrontToBack) {
    const xcb_window_t back = window(QRect(10, 20, 300, 200));
    const xcb_window_t popup = window(QRect(50, 50, 100, 100), true);
    const xcb_window_t hidden = window(QRect(60, 60, 100, 100), false, false);
    const xcb_window_t front = window(QRect(400, 300, 200, 100));
    cardinals(back, "_NET_WM_PID", XCB_ATOM_CARDINAL, {4242});
    // A pid of the wrong format is no pid at all.
    xcb_change_property(x->get(), XCB_PROP_MODE_REPLACE, front, x->atom("_NET_WM_PID"),
                        XCB_ATOM_CARDINAL, 8, 4, "abcd");
    xcb_aux_sync();

    x11::WindowList list(*x);
    const auto windows = list.windows();
    const WindowInfo* b = find(windows, back);
    const WindowInfo* f = find(windows, front);
    const WindowInfo* p = find(windows, popup);
    ASSERT_TRUE(b && f && p);
    EXPECT_FALSE(find(windows, hidden));
    EXPECT_LT(f - windows.data(), p - windows.data());
    EXPECT_LT(p - windows.data(), b - windows.data());
    EXPECT_EQ(b->pid, 4242);
    EXPECT_FALSE(f->pid);
    EXPECT_EQ(b->layer, 0);
    EXPECT_NE(p->layer, 0);
    EXPECT_EQ(b->bounds, QRectF(10, 20, 300, 200));
    EXPECT_FALSE(b->alpha);
}

TEST_F(X11, ManagedListSkipsVanishedAndMalformedEntries) {
    const xcb_window_t normal = window(QRect(100, 100, 400, 300));
    const xcb_window_t dock = window(QRect(0, 0, 3200, 30));
    const xcb_window_t faded = window(QRect(200, 200, 100, 100));
    const xcb_window_t odd = window(QRect(300, 300, 100, 100));
    cardinals(normal, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {2, 3, 20, 4});
    cardinals(normal, "_NET_WM_PID", XCB_ATOM_CARDINAL, {1000});
    cardinals(dock, "_NET_WM_WINDOW_TYPE", XCB_ATOM_ATOM, {x->atom("_NET_WM_WINDOW_TYPE_DOCK")});
    cardinals(faded, "_NET_WM_WINDOW_OPACITY", XCB_ATOM_CARDINAL, {0});
    // Three extents instead of four, and a type list of the wrong type.
    cardinals(odd, "_NET_FRAME_EXTENTS", XCB_ATOM_CARDINAL, {5, 5, 5});
    cardinals(odd, "_NET_WM_WINDOW_TYPE", XCB_ATOM_CARDINAL, {12345});
    const xcb_window_t vanished = 0x7ffffff0;
    cardinals(x->root(), "_NET_CLIENT_LIST_STACKING", XCB_ATOM_WINDOW,
              {normal, vanished, dock, faded, odd});

    x11::WindowList list(*x);
    const auto windows = list.windows();
    ASSERT_EQ(windows.size(), 4u);
    EXPECT_EQ(windows[0].id, odd);
    EXPECT_EQ(windows[3].id, normal);
    EXPECT_EQ(windows[3].bounds, QRectF(98, 80, 405, 324));
    EXPECT_EQ(windows[3].pid, 1000);
    EXPECT_EQ(windows[0].bounds, QRectF(300, 300, 100, 100));
    EXPECT_EQ(windows[0].layer, 0);
    EXPECT_EQ(find(windows, dock)->layer, 20);
    EXPECT_EQ(find(windows, faded)->alpha, 0.0);
}

TEST_F(X11, HotKeyTakenByAnotherClientIsRefused) {
    auto other = x11::Connection::open();
    ASSERT_TRUE(other);
    x11::HotKeys mine(*x);
    x11::HotKeys theirs(*other);
    EXPECT_TRUE(theirs.registerHotKey(18, 4096));
    EXPECT_FALSE(mine.registerHotKey(18, 4096));
    // Another combination is free; re-registering the active one is a no-op.
    EXPECT_TRUE(mine.registerHotKey(19, 4096 | 512));
    EXPECT_TRUE(mine.registerHotKey(19, 4096 | 512));
    // A failed change keeps the old hot key.
    EXPECT_FALSE(mine.registerHotKey(18, 4096));
    theirs.unregisterHotKey();
    EXPECT_TRUE(mine.registerHotKey(18, 4096));
    // Key codes without a key on this keyboard cannot be registered.
    EXPECT_FALSE(mine.registerHotKey(200, 4096));
}
