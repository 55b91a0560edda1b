#include "platform.h"

#include "atspi/atspiaccessibility.h"
#include "x11/x11connection.h"
#include "x11/x11hotkeys.h"
#include "x11/x11screensource.h"
#include "x11/x11windowhints.h"
#include "x11/x11windowlist.h"

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
        p->windowHints = std::make_unique<x11::WindowHints>(*connection);
        p->capabilities.screenCapture = true;
        p->capabilities.windowList = true;
        p->capabilities.childRegions = true;
        p->capabilities.globalKeys = true;
        p->backend = std::shared_ptr<x11::Connection>(std::move(connection));
        result = std::move(p);
    } else {
        result = std::make_unique<Platform>();
        result->screens = std::make_unique<NoScreens>();
        result->windows = std::make_unique<NoWindows>();
        result->hotKeys = std::make_unique<NoHotKeys>();
    }
    result->accessibility = createAccessibilityTree();
    if (const QScreen* screen = qGuiApp ? QGuiApplication::primaryScreen() : nullptr)
        result->scale = screen->devicePixelRatio();
    return result;
}

} // namespace korvel
