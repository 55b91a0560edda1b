#include "platform.h"

#include "atspi/atspiaccessibility.h"
#include "kde/kwinscreenshot.h"
#include "kde/kwinwindowlist.h"
#include "portal/portalhotkeys.h"
#include "portal/portalrequest.h"
#include "portal/portalscreensource.h"
#include "portal/remotedesktop.h"
#include "portal/screencaststream.h"
#include "portal/windowpartstream.h"
#include "wayland/screencopystream.h"
#include "wayland/swayplacement.h"
#include "wayland/swaywindowlist.h"
#include "wayland/waylandconnection.h"
#include "wayland/waylandkeytap.h"
#include "wayland/waylandscreensource.h"
#include "wayland/waylandscrollposter.h"
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
    explicit NoHotKeys(bool global = true)
        : global_(global) {}
    bool registerHotKey(quint32, quint32) override { return false; }
    void unregisterHotKey() override {}
    bool global() const override { return global_; }

private:
    bool global_;
};
class NoAccessibility final : public AccessibilityTree {
public:
    bool isTrusted() override { return false; }
    bool usable() const override { return false; }
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

bool waylandSession() {
    return !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY");
}

// The wlroots backend: screencopy for stills and streams, a virtual pointer
// for scrolling, sway's IPC for the window list where sway runs. Keys cannot
// be taken and windows cannot be placed by a Wayland client.
std::unique_ptr<Platform> waylandPlatform() {
    std::shared_ptr<wayland::Connection> connection = wayland::Connection::open();
    if (!connection)
        return nullptr;
    auto p = std::make_unique<Platform>();
    p->screens = std::make_unique<wayland::ScreenSource>(*connection);
    p->capabilities.screenCapture = connection->screencopy() != nullptr;
    const QString sway = wayland::SwayIpc::socketPath();
    if (!sway.isEmpty()) {
        p->windows = std::make_unique<wayland::SwayWindowList>(sway);
        p->windowHints = std::make_unique<wayland::SwayPlacement>(sway);
        p->capabilities.windowList = true;
        p->capabilities.placesWindows = true;
        p->capabilities.liveStream = p->capabilities.screenCapture;
        p->openWindowStream = [sway] {
            auto list = std::make_shared<wayland::SwayWindowList>(sway);
            return std::unique_ptr<WindowStream>(std::make_unique<wayland::ScreencopyStream>(
                [list](quint32 window) -> std::optional<QRect> {
                    for (const WindowInfo& w : list->windows()) {
                        if (w.id == window && w.bounds)
                            return w.bounds->toAlignedRect();
                    }
                    return std::nullopt;
                }));
        };
    } else {
        p->windows = std::make_unique<NoWindows>();
    }
    p->hotKeys = std::make_unique<NoHotKeys>(false);
    p->keyTap = std::make_unique<wayland::KeyTap>();
    auto scrolls = std::make_unique<wayland::ScrollPoster>(*connection);
    p->capabilities.syntheticScroll = scrolls->available() && p->capabilities.windowList;
    p->scrolls = std::move(scrolls);
    p->accessibility = std::make_shared<NoAccessibility>();
    // The layout is logical: one unit is one point on every output.
    p->scale = 1.0;
    p->backend = std::move(connection);
    return p;
}

// GNOME, KDE and every compositor without wlr-screencopy: the desktop
// portals over D-Bus. KORVEL_PLATFORM=portal chooses them anywhere,
// KORVEL_PLATFORM=wlroots never.
std::unique_ptr<Platform> portalPlatform() {
    const QString chosen = qEnvironmentVariable("KORVEL_PLATFORM");
    if (chosen == QLatin1String("wlroots"))
        return nullptr;
    std::shared_ptr<wayland::Connection> connection = wayland::Connection::open();
    if (!connection || (connection->screencopy() && chosen != QLatin1String("portal")))
        return nullptr;
    auto p = std::make_unique<Platform>();
    p->screens = std::make_unique<portal::ScreenSource>(*connection);
    p->capabilities.screenCapture =
        portal::interfaceVersion(QStringLiteral("org.freedesktop.portal.Screenshot")) > 0;
    // On Plasma, KWin itself gives authorised programs the pixels without
    // a dialog; the portal stays for when it refuses.
    const bool plasma = kde::plasmaSession();
    if (plasma && kde::screenShotAvailable()) {
        p->screens = std::make_unique<kde::ScreenSource>(std::move(p->screens));
        p->capabilities.screenCapture = true;
    }
    if (portal::interfaceVersion(QStringLiteral("org.freedesktop.portal.GlobalShortcuts")) > 0) {
        p->hotKeys = std::make_unique<portal::HotKeys>();
        p->capabilities.globalKeys = true;
    } else {
        p->hotKeys = std::make_unique<NoHotKeys>(false);
    }
    p->keyTap = std::make_unique<wayland::KeyTap>();
    if (portal::ScrollPoster::available()) {
        p->scrolls = std::make_unique<portal::ScrollPoster>();
        p->capabilities.syntheticScroll = true;
    } else {
        p->scrolls = std::make_unique<NoScrolls>();
        p->noScrollReason = QStringLiteral("桌面不提供远程控制门户，无法自动滚动。");
    }
    p->accessibility = std::make_shared<NoAccessibility>();
    p->scale = 1.0;
    // On Plasma, KWin's scripting lists the windows to hover.
    std::unique_ptr<kde::KWinWindowList> kwin;
    if (plasma && kde::KWinWindowList::available())
        kwin = std::make_unique<kde::KWinWindowList>();
    kde::KWinWindowList* kwinWindows = kwin.get();
    p->capabilities.windowList = kwinWindows != nullptr;
    if (p->capabilities.screenCapture && portal::screenCastAvailable()) {
        // A long capture streams the output it lies on.
        auto outputs = [screens = p->screens.get()] {
            std::vector<QRect> result;
            for (const Display& d : screens->displays())
                result.push_back(d.geometry);
            return result;
        };
        auto castOutput = [outputs](quint32 output) -> std::optional<QRect> {
            const std::vector<QRect> all = outputs();
            if (output < 1 || output > all.size())
                return std::nullopt;
            return all[output - 1];
        };
        if (kwinWindows) {
            p->windows = std::move(kwin);
            p->openWindowStream = [outputs, castOutput, kwinWindows] {
                return std::unique_ptr<WindowStream>(std::make_unique<portal::WindowPartStream>(
                    std::make_unique<portal::ScreenCastStream>(castOutput),
                    [outputs, kwinWindows](quint32 window) -> std::optional<portal::WindowPart> {
                        const std::optional<WindowInfo> w = kwinWindows->window(window);
                        if (!w || !w->bounds)
                            return std::nullopt;
                        const QRect bounds = w->bounds->toAlignedRect();
                        const std::vector<QRect> all = outputs();
                        for (std::size_t i = 0; i < all.size(); ++i) {
                            if (all[i].contains(bounds.center()))
                                return portal::WindowPart{
                                    quint32(i + 1), all[i].size(),
                                    bounds.intersected(all[i]).translated(-all[i].topLeft())};
                        }
                        return std::nullopt;
                    }));
            };
        } else {
            p->windows = std::make_unique<portal::OutputWindows>(outputs);
            p->openWindowStream = [castOutput] {
                return std::unique_ptr<WindowStream>(
                    std::make_unique<portal::ScreenCastStream>(castOutput));
            };
        }
        p->capabilities.liveStream = true;
    } else {
        if (kwin)
            p->windows = std::move(kwin);
        else
            p->windows = std::make_unique<NoWindows>();
        p->capabilities.syntheticScroll = false;
    }
    p->backend = std::move(connection);
    return p;
}

} // namespace

bool compositorPlacesWindows() {
    return qGuiApp && QGuiApplication::platformName() == QLatin1String("wayland");
}

void preferNativePlatform() {
    if (!waylandSession())
        return;
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "wayland;xcb");
    // Qt otherwise pins every top-level window to its screen's corner, as a
    // Wayland client cannot know where it is; where the compositor can be
    // told (sway), windows do go where the program puts them.
    if (qEnvironmentVariableIsEmpty("QT_WAYLAND_DISABLE_FIXED_POSITIONS"))
        qputenv("QT_WAYLAND_DISABLE_FIXED_POSITIONS", "1");
}

std::unique_ptr<AccessibilityTree> createAccessibilityTree() {
    return std::make_unique<atspi::Accessibility>();
}

std::unique_ptr<Platform> createPlatform() {
    if (qGuiApp && QGuiApplication::platformName() == QLatin1String("wayland")) {
        if (auto p = portalPlatform())
            return p;
        if (auto p = waylandPlatform())
            return p;
    }
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
        p->capabilities.keyTap = true;
        p->capabilities.placesWindows = true;
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
