// The long capture's stream on wlroots compositors: frames per second of
// the screen-copy stream of a window (korvel_scrollfixture) while a virtual
// pointer scrolls it at a steady rate, and while nothing moves. Run inside
// scripts/waylandsession with the fixture shown, as bench/wayland-capture.sh
// does:
//   bench_waylandstream TITLE SECONDS CLICKS_PER_SECOND
// prints "RATE clicks/s: F frames/s scrolling, S frames/s still".
#include "platform/serialqueue.h"
#include "platform/wayland/screencopystream.h"
#include "platform/wayland/swaywindowlist.h"
#include "platform/wayland/waylandconnection.h"
#include "platform/wayland/waylandscrollposter.h"

#include <QCoreApplication>

#include <atomic>
#include <cstdio>
#include <thread>

using namespace korvel;
using Clock = std::chrono::steady_clock;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 4) {
        std::fputs("usage: bench_waylandstream TITLE SECONDS CLICKS_PER_SECOND\n", stderr);
        return 2;
    }
    const QString title = QString::fromLocal8Bit(argv[1]);
    const double seconds = std::atof(argv[2]);
    const double rate = std::atof(argv[3]);
    auto list = std::make_shared<wayland::SwayWindowList>(wayland::SwayIpc::socketPath());
    std::optional<WindowInfo> window;
    for (const WindowInfo& w : list->windows()) {
        if (w.title == title && w.bounds)
            window = w;
    }
    auto connection = wayland::Connection::open();
    if (!window || !connection) {
        std::fputs("no such window, or no compositor\n", stderr);
        return 1;
    }
    const QRect bounds = window->bounds->toAlignedRect();
    wayland::ScreencopyStream stream([list](quint32 id) -> std::optional<QRect> {
        for (const WindowInfo& w : list->windows()) {
            if (w.id == id && w.bounds)
                return w.bounds->toAlignedRect();
        }
        return std::nullopt;
    });
    SerialQueue queue(QStringLiteral("local.korvel.bench.frames"));
    std::atomic<int> frames{0};
    WindowStreamConfiguration configuration;
    configuration.window = window->id;
    // At the pixels of the output the window is on, as a long capture asks.
    configuration.size = bounds.size();
    for (const wayland::Output* o : connection->outputs()) {
        if (o->logical.contains(bounds.center()) && !o->logical.isEmpty())
            configuration.size = bounds.size() * o->pixels.width() / o->logical.width();
    }
    stream.start(
        configuration, queue, [&frames](const WindowFrame& f) { frames += f.complete ? 1 : 0; },
        [](const Error&) {});
    wayland::ScrollPoster pointer(*connection);
    // The stream's first frame, and the new pointer device, need a moment.
    std::this_thread::sleep_for(std::chrono::milliseconds(800));

    const auto count = [&frames](auto&& during) {
        const int before = frames;
        const auto start = Clock::now();
        during();
        const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
        return (frames - before) / elapsed;
    };
    const double still =
        count([seconds] { std::this_thread::sleep_for(std::chrono::duration<double>(seconds)); });
    const double scrolling = count([&] {
        const auto interval = std::chrono::duration<double>(1.0 / rate);
        const auto start = Clock::now();
        for (int n = 0; Clock::now() - start < std::chrono::duration<double>(seconds); ++n) {
            pointer.post(bounds.center(), false, -1);
            std::this_thread::sleep_until(start + (n + 1) * interval);
        }
        // The last step's frame.
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    });
    stream.stop();
    std::printf("%g clicks/s: %.1f frames/s scrolling, %.1f frames/s still\n", rate, scrolling,
                still);
    return 0;
}
