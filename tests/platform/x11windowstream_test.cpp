// The X11 window stream against a real server without a window manager or
// compositor (scripts/xsession --bare): frames come from the root area.
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

TEST_F(Stream, DeliversTheWindowUntilStopped) {
    const xcb_window_t w = window(QRect(100, 120, 300, 200), 0x336699);
    fill(w, QRect(20, 30, 40, 50), 0xff8800);
    x11::WindowStream stream(*x);
    SerialQueue queue(QStringLiteral("test.stream"));
    start(stream, queue, w);
    EXPECT_FALSE(stream.usesComposite());
    ASSERT_TRUE(eventually([&] { return frames.size() >= 3; }));
    {
        std::lock_guard guard(mutex);
        const QImage& f = frames.back();
        EXPECT_EQ(f.size(), QSize(300, 200));
        EXPECT_EQ(f.format(), QImage::Format_ARGB32_Premultiplied);
        EXPECT_EQ(f.pixel(5, 5), 0xff336699u);
        EXPECT_EQ(f.pixel(25, 35), 0xffff8800u);
        EXPECT_EQ(f.pixel(299, 199), 0xff336699u);
    }
    stream.stop();
    size_t count = 0;
    {
        std::lock_guard guard(mutex);
        count = frames.size();
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    std::lock_guard guard(mutex);
    EXPECT_EQ(frames.size(), count) << "a frame arrived after stop";
    EXPECT_FALSE(stopped);
    xcb_destroy_window(x->get(), w);
    sync();
}

TEST_F(Stream, PartlyOffScreenWindowIsPaddedWithBlack) {
    const xcb_screen_t* screen = x->screen();
    const int right = screen->width_in_pixels;
    const xcb_window_t w = window(QRect(right - 100, 50, 300, 80), 0x10a020);
    x11::WindowStream stream(*x);
    SerialQueue queue(QStringLiteral("test.stream"));
    start(stream, queue, w);
    ASSERT_TRUE(eventually([&] { return !frames.empty(); }));
    {
        std::lock_guard guard(mutex);
        const QImage& f = frames.front();
        EXPECT_EQ(f.size(), QSize(300, 80));
        EXPECT_EQ(f.pixel(10, 10), 0xff10a020u);
        EXPECT_EQ(f.pixel(150, 10), 0xff000000u);
    }
    stream.stop();
    xcb_destroy_window(x->get(), w);
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
