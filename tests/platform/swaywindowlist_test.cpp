#include "platform/wayland/screencopystream.h"
#include "platform/wayland/swayipc.h"
#include "platform/wayland/swaywindowlist.h"

#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace korvel;

// A tree as sway's get_tree gives it, trimmed to what the list reads: two
// outputs, a tiled window hidden behind a tab, floating windows in drawing
// order (the last on top) and a full-screen one on the second output.
TEST(SwayWindows, FullScreenThenFloatingTopFirstThenTiledVisibleOnly) {
    const QByteArray tree = R"({"type": "root", "nodes": [
      {"type": "output", "nodes": [{"type": "workspace", "nodes": [
        {"id": 10, "pid": 100, "app_id": "term", "name": "shell", "visible": true},
        {"id": 11, "pid": 101, "app_id": "files", "visible": false}],
       "floating_nodes": [
        {"id": 12, "pid": 102, "app_id": "below", "visible": true},
        {"id": 13, "pid": 103, "app_id": "", "window_properties": {"class": "XApp"},
         "visible": true}]}]},
      {"type": "output", "nodes": [{"type": "workspace", "nodes": [
        {"id": 14, "pid": 104, "app_id": "video", "visible": true, "fullscreen_mode": 1,
         "rect": {"x": 1920, "y": 0, "width": 1280, "height": 1024}}]}]}]})";
    const std::vector<WindowInfo> windows =
        wayland::swayWindows(QJsonDocument::fromJson(tree).object());
    ASSERT_EQ(windows.size(), 4u);
    const quint32 order[] = {14, 13, 12, 10};
    for (size_t i = 0; i < windows.size(); ++i)
        EXPECT_EQ(windows[i].id, order[i]) << i;
    EXPECT_EQ(windows[1].owner, QStringLiteral("XApp"));
    EXPECT_EQ(windows[1].pid, 103);
    EXPECT_EQ(windows[0].bounds, QRectF(1920, 0, 1280, 1024));
    EXPECT_EQ(windows[3].title, QStringLiteral("shell"));
}

// A window across two outputs streams from the one holding the captured
// region, even its smaller part; with no region, from the one holding most.
TEST(SwayWindows, StreamReadsTheOutputOfTheRegion) {
    const std::vector<QRect> outputs{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}};
    const QRect across(1520, 100, 640, 600); // 400 points on the first output, 240 on the second
    const struct {
        QRect window;
        QRectF region;
        int output;
    } cases[] = {
        {across, {}, 0},
        {across, {1940, 180, 200, 400}, 1},
        {across, {1560, 180, 200, 400}, 0},
        {{2000, 100, 640, 600}, {2040, 180, 560, 400}, 1},
        {{3300, 100, 640, 600}, {3340, 180, 560, 400}, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wayland::streamOutput(outputs, c.window, c.region), c.output) << c.region.x();
}

// What focusing without moving the pointer puts back: the configuration's
// last mouse_warping, or sway's default.
TEST(SwayWindows, MouseWarpingRestoredFromTheConfiguration) {
    const struct {
        const char* configuration;
        const char* warping;
    } cases[] = {
        {"", "output"},
        {"focus_follows_mouse yes\n#mouse_warping none\n", "output"},
        {"mouse_warping none\r\nbindsym Mod4+q kill\n", "none"},
        {"mouse_warping container\n  Mouse_Warping OUTPUT\n", "output"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(wayland::mouseWarping(QString::fromLatin1(c.configuration)),
                  QLatin1String(c.warping))
            << c.configuration;
}
