// The X11 window stream against a real server without a window manager or
// compositor (scripts/xsession --bare).
#include "platform/serialqueue.h"
#include "platform/x11/x11connection.h"
#include "platform/x11/x11windowstream.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <thread>

using namespace korvel;

namespace {

struct Stream : ::testing::Test {
    std::unique_ptr<x11::Connection> x = x11::Connection::open();
    std::mutex mutex;
    std::vector<QImage> frames;
    int incomplete = 0;
    std::optional<Error> stopped;

    void SetUp() override { ASSERT_TRUE(x) << "no X display"; }
    void sync() {
        free(xcb_get_input_focus_reply(x->get(), xcb_get_input_focus(x->get()), nullptr));
    }
    xcb_window_t window(QRect r, uint32_t background) {
        const xcb_window_t w = xcb_generate_id(x->get());
        xcb_create_window(x->get(), XCB_COPY_FROM_PARENT, w, x->root(), int16_t(r.x()),
                          int16_t(r.y()), uint16_t(r.width()), uint16_t(r.height()), 0,
                          XCB_WINDOW_CLASS_INPUT_OUTPUT, XCB_COPY_FROM_PARENT, XCB_CW_BACK_PIXEL,
                          &background);
        xcb_map_window(x->get(), w);
        sync();
        return w;
    }
    void fill(xcb_window_t w, QRect r, uint32_t rgb) {
        const xcb_gcontext_t gc = xcb_generate_id(x->get());
        xcb_create_gc(x->get(), gc, w, XCB_GC_FOREGROUND, &rgb);
        const xcb_rectangle_t rect = {int16_t(r.x()), int16_t(r.y()), uint16_t(r.width()),
                                      uint16_t(r.height())};
        xcb_poly_fill_rectangle(x->get(), w, gc, 1, &rect);
        xcb_free_gc(x->get(), gc);
        sync();
    }
    void start(x11::WindowStream& stream, SerialQueue& queue, xcb_window_t w) {
        WindowStreamConfiguration configuration;
        configuration.window = w;
        stream.start(
            configuration, queue,
            [this](const WindowFrame& f) {
                std::lock_guard guard(mutex);
                if (f.complete)
                    frames.push_back(f.image);
                else
                    ++incomplete;
            },
            [this](const Error& e) {
                std::lock_guard guard(mutex);
                stopped = e;
            });
    }
    // Polls for a condition for up to five seconds.
    template <class F> bool eventually(F condition) {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard guard(mutex);
                if (condition())
                    return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }
};

// Frames come from the window's own pixels, read only when it changed, only
// for the asked area and only while active: a still window costs nothing,
// and windows on top or parts off screen never show.
TEST_F(Stream, ReadsTheWindowOnlyWhenItChangesAndOnlyTheArea) {
    const int right = x->screen()->width_in_pixels;
    const xcb_window_t w = window(QRect(right - 200, 120, 300, 200), 0x336699);
    const xcb_window_t cover = window(QRect(right - 180, 140, 60, 60), 0xffffff);
    x11::WindowStream stream(*x);
    SerialQueue queue(QStringLiteral("test.stream"));
    start(stream, queue, w);
    EXPECT_TRUE(stream.usesComposite()) << "no compositor: the server keeps the pixmap itself";
    ASSERT_TRUE(eventually([&] { return !frames.empty(); }));
    // Drawn once the server keeps the window's pixels (a real application
    // draws again when asked); then it stands still.
    fill(w, QRect(20, 30, 40, 50), 0xff8800);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    const int settled = stream.grabs();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    ASSERT_EQ(stream.grabs(), settled) << "a still window was read again";
    {
        std::lock_guard guard(mutex);
        const QImage& f = frames.back();
        EXPECT_EQ(f.size(), QSize(300, 200));
        EXPECT_EQ(f.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(f.pixel(25, 35), 0xffff8800u) << "the window on top shows through";
        EXPECT_EQ(f.pixel(299, 199), 0xff336699u) << "the part off screen is missing";
    }
    fill(w, QRect(100, 100, 10, 10), 0x00ff00);
    ASSERT_TRUE(eventually([&] { return int(frames.size()) == settled + 1; }));
    stream.setArea(QRect(20, 30, 40, 50), true);
    ASSERT_TRUE(eventually([&] { return int(frames.size()) == settled + 2; }));
    {
        std::lock_guard guard(mutex);
        EXPECT_EQ(frames.back().size(), QSize(40, 50));
        EXPECT_EQ(frames.back().pixel(0, 0), 0xffff8800u);
    }
    stream.setArea(QRect(20, 30, 40, 50), false);
    fill(w, QRect(25, 35, 5, 5), 0x000000);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    {
        std::lock_guard guard(mutex);
        EXPECT_EQ(int(frames.size()), settled + 2) << "read while inactive";
    }
    stream.stop();
    std::lock_guard guard(mutex);
    EXPECT_FALSE(stopped);
    xcb_destroy_window(x->get(), w);
    xcb_destroy_window(x->get(), cover);
    sync();
}

TEST_F(Stream, ClosedWindowEndsTheStreamWithAnError) {
    x11::WindowStream stream(*x);
    SerialQueue queue(QStringLiteral("test.stream"));
    WindowStreamConfiguration missing;
    missing.window = 0x7fffffe;
    EXPECT_THROW(stream.start(missing, queue, {}, {}), Error);

    const xcb_window_t w = window(QRect(10, 10, 50, 50), 0xffffff);
    start(stream, queue, w);
    ASSERT_TRUE(eventually([&] { return !frames.empty(); }));
    xcb_destroy_window(x->get(), w);
    sync();
    ASSERT_TRUE(eventually([&] { return stopped.has_value(); }));
    EXPECT_EQ(stopped->domain(), QStringLiteral("Korvel"));
    EXPECT_FALSE(stopped->description().isEmpty());
    stream.stop();
}

} // namespace
