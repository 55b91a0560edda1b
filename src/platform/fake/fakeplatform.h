#pragma once

#include "../error.h"
#include "../platform.h"

#include <algorithm>
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

// An element tree set by the test. Elements are named by their ids; a
// node's extents are root pixels. `beforeCall` runs before every element
// call (to count, delay or hang them).
class Accessibility final : public AccessibilityTree {
public:
    struct Node {
        QString parent;
        std::vector<QString> children;
        std::optional<QRectF> extents;
    };
    bool trusted = false;
    bool enableSucceeds = true;
    std::map<qint32, QString> applications;
    std::map<QString, Node> nodes;
    std::function<void()> beforeCall;
    int prepared = 0;
    int timeout = 0;

    bool isTrusted() override { return trusted; }
    bool enable() override { return trusted = enableSucceeds; }
    void setCallTimeout(int milliseconds) override { timeout = milliseconds; }
    AccessibleElement application(qint32 pid) override {
        called();
        auto it = applications.find(pid);
        return it == applications.end() ? AccessibleElement{} : AccessibleElement{it->second};
    }
    void prepare(const AccessibleElement&) override { ++prepared; }
    std::vector<AccessibleElement> windows(const AccessibleElement& app) override {
        return children(app, 1 << 20);
    }
    // The deepest element whose extents hold the position, first child
    // first; elements without extents are looked through.
    AccessibleElement elementAt(const AccessibleElement& app, QPoint position) override {
        called();
        return {hitIn(node(app.id).children, QPointF(position), 0)};
    }
    AccessibleElement parent(const AccessibleElement& e) override {
        called();
        return {node(e.id).parent};
    }
    std::vector<AccessibleElement> children(const AccessibleElement& e, int limit) override {
        called();
        std::vector<AccessibleElement> result;
        for (const QString& id : node(e.id).children) {
            if (int(result.size()) < limit)
                result.push_back({id});
        }
        return result;
    }
    std::optional<QRectF> extents(const AccessibleElement& e) override {
        called();
        return node(e.id).extents;
    }

    void add(const QString& id, const QString& parent, std::optional<QRectF> extents) {
        nodes[id].extents = extents;
        nodes[id].parent = parent;
        if (!parent.isEmpty())
            nodes[parent].children.push_back(id);
    }

private:
    const Node& node(const QString& id) {
        static const Node none;
        auto it = nodes.find(id);
        return it == nodes.end() ? none : it->second;
    }
    QString hitIn(const std::vector<QString>& level, QPointF position, int depth) {
        for (const QString& id : level) {
            const Node& n = node(id);
            if (depth > 64)
                break;
            if (n.extents && n.extents->contains(position)) {
                const QString deeper = hitIn(n.children, position, depth + 1);
                return deeper.isEmpty() ? id : deeper;
            }
            if (!n.extents) {
                if (QString deeper = hitIn(n.children, position, depth + 1); !deeper.isEmpty())
                    return deeper;
            }
        }
        return {};
    }
    void called() {
        if (beforeCall)
            beforeCall();
    }
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
