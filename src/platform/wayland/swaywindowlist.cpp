#include "swaywindowlist.h"

#include <QCoreApplication>
#include <QJsonArray>

#include <map>

namespace korvel::wayland {
namespace {

QString text(const QJsonObject& o, const char* key) {
    return o.value(QLatin1String(key)).toString();
}

bool isView(const QJsonObject& node) {
    // Views carry the process behind them; containers that only group do not.
    return node.contains(QLatin1String("pid"));
}

struct Stacks {
    std::vector<QJsonObject> fullscreen, floating, tiled;
};

void collect(const QJsonObject& node, bool floating, Stacks& stacks) {
    if (isView(node)) {
        if (!node.value(QLatin1String("visible")).toBool())
            return;
        if (node.value(QLatin1String("fullscreen_mode")).toInt() != 0)
            stacks.fullscreen.push_back(node);
        else
            (floating ? stacks.floating : stacks.tiled).push_back(node);
        return;
    }
    for (const auto& child : node.value(QLatin1String("nodes")).toArray())
        collect(child.toObject(), floating, stacks);
    // Floating containers are drawn in list order: the last is on top.
    const QJsonArray floatingNodes = node.value(QLatin1String("floating_nodes")).toArray();
    for (auto it = floatingNodes.end(); it != floatingNodes.begin();) {
        --it;
        collect(it->toObject(), true, stacks);
    }
}

WindowInfo info(const QJsonObject& view) {
    WindowInfo w;
    w.id = quint32(view.value(QLatin1String("id")).toInteger());
    if (const qint64 pid = view.value(QLatin1String("pid")).toInteger(); pid > 0)
        w.pid = pid;
    w.layer = 0;
    const QJsonObject r = view.value(QLatin1String("rect")).toObject();
    const QRectF bounds(
        r.value(QLatin1String("x")).toDouble(), r.value(QLatin1String("y")).toDouble(),
        r.value(QLatin1String("width")).toDouble(), r.value(QLatin1String("height")).toDouble());
    if (bounds.isValid())
        w.bounds = bounds;
    w.owner = text(view, "app_id");
    if (w.owner.isEmpty()) // an X11 client under XWayland
        w.owner = view.value(QLatin1String("window_properties"))
                      .toObject()
                      .value(QLatin1String("class"))
                      .toString();
    w.title = text(view, "name");
    return w;
}

// The view of another process that had the keyboard last: every container
// lists its children's ids by focus, the most recent first.
std::optional<QJsonObject> lastFocusedOther(const QJsonObject& node, qint64 ownPid) {
    if (isView(node)) {
        if (node.value(QLatin1String("pid")).toInteger() == ownPid)
            return std::nullopt;
        return node;
    }
    std::map<qint64, QJsonObject> children;
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const auto& child : node.value(QLatin1String(key)).toArray()) {
            const QJsonObject c = child.toObject();
            children.emplace(c.value(QLatin1String("id")).toInteger(), c);
        }
    }
    for (const auto& id : node.value(QLatin1String("focus")).toArray()) {
        if (auto it = children.find(id.toInteger()); it != children.end()) {
            if (auto found = lastFocusedOther(it->second, ownPid))
                return found;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<QJsonObject> swayFocused(const QJsonObject& node) {
    if (node.value(QLatin1String("focused")).toBool())
        return node;
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const auto& child : node.value(QLatin1String(key)).toArray()) {
            if (auto found = swayFocused(child.toObject()))
                return found;
        }
    }
    return std::nullopt;
}

std::vector<WindowInfo> swayWindows(const QJsonObject& tree) {
    Stacks stacks;
    collect(tree, false, stacks);
    std::vector<WindowInfo> result;
    for (const auto* list : {&stacks.fullscreen, &stacks.floating, &stacks.tiled}) {
        for (const QJsonObject& view : *list)
            result.push_back(info(view));
    }
    return result;
}

SwayWindowList::SwayWindowList(QString socketPath)
    : ipc_(std::move(socketPath)) {}

std::vector<WindowInfo> SwayWindowList::windows() {
    const std::optional<QJsonDocument> tree = ipc_.request(SwayIpc::getTree);
    return tree ? swayWindows(tree->object()) : std::vector<WindowInfo>();
}

std::optional<qint64> SwayWindowList::activePid() {
    const std::optional<QJsonDocument> tree = ipc_.request(SwayIpc::getTree);
    if (!tree)
        return std::nullopt;
    std::optional<QJsonObject> view = swayFocused(tree->object());
    if (!view || !isView(*view))
        return std::nullopt;
    // Korvel's own panels take the keyboard only to keep it from the
    // program the user works in, as panels that never activate would.
    const qint64 ownPid = QCoreApplication::applicationPid();
    if (view->value(QLatin1String("pid")).toInteger() == ownPid)
        view = lastFocusedOther(tree->object(), ownPid);
    if (!view)
        return std::nullopt;
    return view->value(QLatin1String("pid")).toInteger();
}

void SwayWindowList::activate(quint32 window) {
    ipc_.commandKeepingPointer(QStringLiteral("[con_id=%1] focus").arg(window));
}

} // namespace korvel::wayland
