#pragma once

#include "../error.h"
#include "../platform.h"

#include <functional>
#include <map>

namespace korvel::fake {

// Displays and images set by the test; a display can be made to fail or to
// disappear between listing and grabbing.
class ScreenSource final : public korvel::ScreenSource {
public:
    std::vector<Display> list;
    std::map<quint32, QImage> images;
    std::map<quint32, Error> failures;
    // Called after each grab, e.g. to change the layout mid-capture.
    std::function<void(const Display&)> afterGrab;
    int grabs = 0;

    std::vector<Display> displays() override { return list; }
    QImage grab(const Display& display) override {
        ++grabs;
        if (auto it = failures.find(display.id); it != failures.end())
            throw it->second;
        QImage image = images.count(display.id) ? images[display.id] : QImage();
        if (image.isNull()) {
            image = QImage(display.geometry.size(), QImage::Format_ARGB32_Premultiplied);
            image.fill(0xff000000u | display.id);
        }
        if (afterGrab)
            afterGrab(display);
        return image;
    }
};

class WindowList final : public korvel::WindowList {
public:
    std::vector<WindowInfo> list;
    std::vector<WindowInfo> windows() override { return list; }
};

class Accessibility final : public AccessibilityTree {
public:
    bool trusted = false;
    bool isTrusted() override { return trusted; }
};

class HotKeys final : public korvel::HotKeys {
public:
    // Combinations another application holds.
    std::vector<std::pair<quint32, quint32>> taken;
    std::optional<std::pair<quint32, quint32>> active;
    int registrations = 0;

    bool registerHotKey(quint32 keyCode, quint32 modifiers) override {
        ++registrations;
        for (const auto& t : taken) {
            if (t == std::pair(keyCode, modifiers))
                return false;
        }
        active = std::pair(keyCode, modifiers);
        return true;
    }
    void unregisterHotKey() override { active.reset(); }
    void press() {
        if (active && onPressed)
            onPressed();
    }
};

// A platform made of fakes; the pointers stay valid while it lives.
struct Platform {
    ScreenSource* screens;
    WindowList* windows;
    Accessibility* accessibility;
    HotKeys* hotKeys;
    std::unique_ptr<korvel::Platform> platform;

    Platform()
        : platform(std::make_unique<korvel::Platform>()) {
        auto s = std::make_unique<ScreenSource>();
        auto w = std::make_unique<WindowList>();
        auto a = std::make_unique<Accessibility>();
        auto h = std::make_unique<HotKeys>();
        screens = s.get();
        windows = w.get();
        accessibility = a.get();
        hotKeys = h.get();
        platform->screens = std::move(s);
        platform->windows = std::move(w);
        platform->accessibility = std::move(a);
        platform->hotKeys = std::move(h);
        platform->capabilities = {true, true, false, false, false, true};
    }
};

} // namespace korvel::fake
