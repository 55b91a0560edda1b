#include "platform/kde/kwinscreenshot.h"
#include "platform/kde/kwinwindowlist.h"
#include "platform/portal/windowpartstream.h"
#include "platform/serialqueue.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

#include <chrono>
#include <fcntl.h>
#include <unistd.h>

using namespace korvel;
using namespace std::chrono_literals;

// Sizes are checked against the limit before anything is allocated for them.
TEST(KWinAnswer, TakesOnlySaneRawImages) {
    using namespace Qt::StringLiterals;
    // Fields the check reads; a negative stride is left out.
    const auto answer = [](const char* type, qint64 width, qint64 height, qint64 stride,
                           uint format) {
        QVariantMap m{{u"width"_s, width}, {u"height"_s, height}, {u"format"_s, format}};
        if (stride >= 0)
            m.insert(u"stride"_s, stride);
        if (type)
            m.insert(u"type"_s, QString::fromLatin1(type));
        return m;
    };
    const struct {
        const char* name;
        QVariantMap results;
        bool accepted;
    } cases[] = {
        {"screen", answer("raw", 1000, 800, 4000, 5), true},
        {"padded rows", answer("raw", 1000, 800, 4096, 6), true},
        {"no type, of early versions", answer(nullptr, 10, 10, 40, 4), true},
        {"not raw", answer("png", 10, 10, 40, 5), false},
        {"past the pixel limit", answer("raw", 1001, 1000, 4004, 5), false},
        {"huge sides", answer("raw", 1LL << 40, 1LL << 40, 1LL << 42, 5), false},
        {"rows shorter than pixels", answer("raw", 10, 10, 39, 5), false},
        {"rows padded past the limit", answer("raw", 1, 1000, 8000, 5), false},
        {"three-byte pixels", answer("raw", 10, 10, 40, 13), false},
        {"no width", answer("raw", 0, 10, 40, 5), false},
        {"no stride", answer("raw", 10, 10, -1, 5), false},
    };
    for (const auto& c : cases)
        EXPECT_EQ(kde::rawImageOf(c.results, 1'000'000).has_value(), c.accepted) << c.name;
}

namespace {

// A pipe that waits without blocking, as KWin's read end is given.
struct Pipe {
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe2(fds, O_NONBLOCK), 0); }
    ~Pipe() { std::ranges::for_each(fds, ::close); } // -1, closed already: harmless
};

// The output's stream as the window's part sees it.
struct OutputStream final : WindowStream {
    WindowStreamConfiguration configuration;
    QRect area;
    FrameHandler onFrame;
    void start(const WindowStreamConfiguration& c, SerialQueue&, FrameHandler frames,
               StopHandler) override {
        configuration = c;
        onFrame = std::move(frames);
    }
    void stop() override {}
    void setArea(const QRect& a, bool) override { area = a; }
};

} // namespace

// Rows of 2 pixels padded to 12 bytes. Pieces as a pipe delivers them: wayland.KWin.
TEST(KWinPixels, ReadsPaddedRows) {
    Pipe pipe;
    const kde::RawImage raw{QSize(2, 2), 12, QImage::Format_ARGB32};
    const quint32 pixels[] = {0xffff0000, 0xff00ff00, 0xdeadbeef,
                              0xff0000ff, 0xffffffff, 0xdeadbeef};
    ASSERT_EQ(::write(pipe.fds[1], pixels, sizeof pixels), ssize_t(sizeof pixels));
    const QImage image = kde::readRawImage(pipe.fds[0], raw, 2000ms);
    EXPECT_EQ(image, QImage(reinterpret_cast<const uchar*>(pixels), 2, 2, 12, QImage::Format_ARGB32)
                         .convertToFormat(QImage::Format_ARGB32_Premultiplied));
}

// A writer that stops short, or never writes, gives no image; the second
// is given up on when the time is over instead of waiting for ever.
TEST(KWinPixels, ShortOrSilentWriterGivesNothing) {
    const kde::RawImage raw{QSize(100, 100), 400, QImage::Format_RGB32};
    Pipe shortWriter;
    ASSERT_EQ(::write(shortWriter.fds[1], "abcd", 4), 4);
    ::close(std::exchange(shortWriter.fds[1], -1));
    EXPECT_TRUE(kde::readRawImage(shortWriter.fds[0], raw, 2000ms).isNull());

    Pipe silent;
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(kde::readRawImage(silent.fds[0], raw, 200ms).isNull());
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 190ms);
    EXPECT_LT(waited, 2s);
}

// KWin counts stacking from the bottom; minimised windows and those on other
// desktops are not shown; docks and the desktop go on layers never hovered.
TEST(KWinWindows, FrontToBackShownOnlyWithLayersAndStableIds) {
    // Only what each entry is checked for; absent fields read as none.
    const QByteArray report = R"([
      {"id": "{a}", "width": 1920, "height": 1080, "stacking": 0, "desktop": true, "shown": true},
      {"id": "{c}", "y": 1040, "width": 1920, "height": 40, "stacking": 5, "dock": true,
       "shown": true},
      {"id": "{d}", "width": 400, "height": 300, "stacking": 3, "normal": true, "shown": false},
      {"id": "{e}", "x": 200, "y": 100, "width": 640, "height": 480, "pid": 40, "caption": "web",
       "resourceClass": "firefox", "stacking": 4, "normal": true, "opacity": 0.9, "shown": true}])";
    const QJsonArray array = QJsonDocument::fromJson(report).array();
    std::map<QString, quint32> ids;
    const std::vector<WindowInfo> windows = kde::kwinWindows(array, ids);
    ASSERT_EQ(windows.size(), 3u);
    EXPECT_EQ(windows[0].layer, 20);
    EXPECT_EQ(windows[1].owner, QStringLiteral("firefox"));
    EXPECT_EQ(windows[1].title, QStringLiteral("web"));
    EXPECT_EQ(windows[1].pid, 40);
    EXPECT_EQ(windows[1].bounds, QRectF(200, 100, 640, 480));
    EXPECT_DOUBLE_EQ(*windows[1].alpha, 0.9);
    EXPECT_EQ(windows[2].layer, -1);

    const std::vector<WindowInfo> again = kde::kwinWindows(array, ids); // the same ids
    for (std::size_t i = 0; i < windows.size(); ++i)
        EXPECT_EQ(again[i].id, windows[i].id);
    EXPECT_NE(windows[0].id, windows[1].id);
}

// A window at (100, 50) on the second output: areas move onto the output and
// back, and whole output frames are cut to the window.
TEST(KWinWindowStream, ReadsTheWindowsPartOfItsOutput) {
    auto output = std::make_unique<OutputStream>();
    OutputStream* stream = output.get();
    portal::WindowPartStream part(std::move(output), [](quint32 window) {
        return window == 7 ? std::optional<portal::WindowPart>(
                                 {2, QSize(400, 300), QRect(100, 50, 200, 100)})
                           : std::nullopt;
    });
    SerialQueue queue(QStringLiteral("test"));
    std::vector<WindowFrame> frames;
    WindowStreamConfiguration configuration;
    configuration.window = 8;
    EXPECT_THROW(part.start(configuration, queue, {}, {}), Error);
    configuration.window = 7;
    part.start(configuration, queue, [&](const WindowFrame& f) { frames.push_back(f); }, {});
    EXPECT_EQ(stream->configuration.window, 2u);
    EXPECT_EQ(stream->configuration.size, QSize(400, 300));

    part.setArea(QRect(10, 20, 30, 40), true);
    EXPECT_EQ(stream->area, QRect(110, 70, 30, 40));
    QImage whole(400, 300, QImage::Format_ARGB32_Premultiplied);
    whole.setPixel(100, 50, 0xffff0000);
    stream->onFrame(WindowFrame{whole.copy(110, 70, 30, 40), true, QRect(110, 70, 30, 40)});
    stream->onFrame(WindowFrame{whole, true, QRect()});
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(frames[0].area, QRect(10, 20, 30, 40));
    EXPECT_EQ(frames[1].image.size(), QSize(200, 100));
    EXPECT_EQ(frames[1].image.pixel(0, 0), 0xffff0000);
}
