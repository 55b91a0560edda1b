#include "swayplacement.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QTimer>

namespace korvel::wayland {
namespace {

// sway lists a window once it is mapped, shortly after Qt first shows it.
constexpr int lookups = 50;
constexpr int lookupIntervalMs = 20;

// The newest mapped view of this process with the title that no other
// window took yet; 0 when none is there (yet).
quint32 newestView(const QJsonObject& node, qint64 pid, const QString& title,
                   const std::set<quint32>& taken) {
    quint32 best = 0;
    if (node.value(QLatin1String("pid")).toInteger() == pid &&
        node.value(QLatin1String("name")).toString() == title) {
        const auto id = quint32(node.value(QLatin1String("id")).toInteger());
        if (!taken.count(id))
            best = id;
    }
    for (const char* key : {"nodes", "floating_nodes"}) {
        for (const QJsonValue& child : node.value(QLatin1String(key)).toArray())
            best = std::max(best, newestView(child.toObject(), pid, title, taken));
    }
    return best;
}

} // namespace

SwayPlacement::SwayPlacement(QString socketPath)
    : ipc_(std::move(socketPath)) {
    // Floating from the start: a window tiled first would keep the tile's
    // size. Overlays still fill their outputs, full screen wins.
    ipc_.command(QStringLiteral("for_window [pid=%1] floating enable")
                     .arg(QCoreApplication::applicationPid()));
    if (qGuiApp)
        qGuiApp->installEventFilter(this);
}

SwayPlacement::~SwayPlacement() {
    if (qGuiApp)
        qGuiApp->removeEventFilter(this);
}

bool SwayPlacement::placeable(const QWindow& window) {
    // Panels and pins; a capture's overlays fill their outputs instead.
    return window.type() == Qt::Tool && window.flags().testFlag(Qt::FramelessWindowHint) &&
           !(window.windowStates() & (Qt::WindowFullScreen | Qt::WindowMaximized));
}

bool SwayPlacement::eventFilter(QObject* watched, QEvent* event) {
    if (!watched->isWindowType())
        return false;
    auto* window = static_cast<QWindow*>(watched);
    switch (event->type()) {
    case QEvent::Expose:
        if (window->isVisible() && !placed_.count(window) && !pending_.count(window) &&
            placeable(*window)) {
            pending_.insert(window);
            find(window, 0);
        }
        break;
    case QEvent::Move:
        if (auto it = placed_.find(window); it != placed_.end())
            moveTo(it->second, window->geometry());
        break;
    case QEvent::MouseButtonPress:
        // A panel that takes no focus when shown still takes the keyboard
        // when clicked, as any window does.
        if (auto it = placed_.find(window); it != placed_.end())
            ipc_.command(QStringLiteral("[con_id=%1] focus").arg(it->second));
        break;
    case QEvent::Hide:
    case QEvent::Destroy:
        // Hiding unmaps the window: sway forgets it, and a later show is
        // a new view.
        if (auto it = placed_.find(window); it != placed_.end()) {
            taken_.erase(it->second);
            placed_.erase(it);
        }
        pending_.erase(window);
        break;
    default:
        break;
    }
    return false;
}

void SwayPlacement::find(QPointer<QWindow> window, int attempt) {
    if (!window || !pending_.count(window))
        return;
    const std::optional<QJsonDocument> tree = ipc_.request(SwayIpc::getTree);
    const quint32 view = tree ? newestView(tree->object(), QCoreApplication::applicationPid(),
                                           window->title(), taken_)
                              : 0;
    if (!view) {
        if (tree && attempt + 1 < lookups) {
            QTimer::singleShot(lookupIntervalMs, this,
                               [this, window, attempt] { find(window, attempt + 1); });
        } else {
            pending_.erase(window);
        }
        return;
    }
    pending_.erase(window);
    placed_[window] = view;
    taken_.insert(view);
    ipc_.command(
        QStringLiteral("[con_id=%1] floating enable, border none, sticky enable").arg(view));
    moveTo(view, window->geometry());
}

void SwayPlacement::moveTo(quint32 container, const QRect& geometry) {
    ipc_.command(QStringLiteral("[con_id=%1] move absolute position %2 %3")
                     .arg(container)
                     .arg(geometry.x())
                     .arg(geometry.y()));
}

} // namespace korvel::wayland
