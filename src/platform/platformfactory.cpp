#include "platform.h"

#include "atspi/atspiaccessibility.h"
#include "x11/x11connection.h"
#include "x11/x11hotkeys.h"
#include "x11/x11keytap.h"
#include "x11/x11screensource.h"
#include "x11/x11scrollposter.h"
#include "x11/x11windowhints.h"
#include "x11/x11windowlist.h"
#include "x11/x11windowstream.h"

#include <QGuiApplication>
#include <QScreen>

namespace korvel {
namespace {

// Services of a session we have no backend for (Wayland without portals,
// offscreen): nothing to capture, no global keys.
class NoScreens final : public ScreenSource {
public:
    std::vector<Display> displays() override { return {}; }
    QImage grab(const Display&) override { return {}; }
};
class NoWindows final : public WindowList {
public:
    std::vector<WindowInfo> windows() override { return {}; }
};
class NoHotKeys final : public HotKeys {
public:
    bool registerHotKey(quint32, quint32) override { return false; }
    void unregisterHotKey() override {}
};
class NoKeyTap final : public KeyTap {
public:
    bool start(qint64) override { return false; }
    void stop() override {}
    bool running() const override { return false; }
};
class NoScrolls final : public ScrollPoster {
public:
    bool post(QPoint, bool, int) override { return false; }
    void setWatching(bool) override {}
};

} // namespace

std::unique_ptr<AccessibilityTree> createAccessibilityTree() {
    return std::make_unique<atspi::Accessibility>();
}

std::unique_ptr<Platform> createPlatform() {
    std::unique_ptr<Platform> result;
    auto* x11App =
        qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    if (auto connection = x11App ? x11::Connection::borrow(x11App->connection(), 0) : nullptr) {
        auto p = std::make_unique<Platform>();
        p->screens = std::make_unique<x11::ScreenSource>(*connection);
        p->windows = std::make_unique<x11::WindowList>(*connection);
        p->hotKeys = std::make_unique<x11::HotKeys>(*connection);
        p->keyTap = std::make_unique<x11::KeyTap>(*connection, QCoreApplication::applicationPid());
        auto scrolls = std::make_unique<x11::ScrollPoster>(*connection);
        p->capabilities.syntheticScroll = scrolls->available();
        p->scrolls = std::move(scrolls);
        p->openWindowStream = [c = connection.get()] {
            return std::unique_ptr<WindowStream>(std::make_unique<x11::WindowStream>(*c));
        };
        p->windowHints = std::make_unique<x11::WindowHints>(*connection);
        p->capabilities.screenCapture = true;
        p->capabilities.windowList = true;
        p->capabilities.childRegions = true;
        p->capabilities.globalKeys = true;
        p->capabilities.liveStream = true;
        p->backend = std::shared_ptr<x11::Connection>(std::move(connection));
        result = std::move(p);
    } else {
        result = std::make_unique<Platform>();
        result->screens = std::make_unique<NoScreens>();
        result->windows = std::make_unique<NoWindows>();
        result->hotKeys = std::make_unique<NoHotKeys>();
        result->keyTap = std::make_unique<NoKeyTap>();
        result->scrolls = std::make_unique<NoScrolls>();
    }
    result->accessibility = createAccessibilityTree();
    if (const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
        result->scale = screen->devicePixelRatio();
    return result;
}

} // namespace korvel
