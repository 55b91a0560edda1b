#include "swayplacement.h"

#include "swaywindowlist.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>
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
        for (const auto& child : node.value(QLatin1String(key)).toArray())
            best = std::max(best, newestView(child.toObject(), pid, title, taken));
    }
    return best;
}

} // namespace

SwayPlacement::SwayPlacement(const QString& socketPath)
    : ipc_(socketPath)
    , events_(socketPath) {
    hideUntilPlaced(socketPath);
    if (qGuiApp)
        qGuiApp->installEventFilter(this);
    if (const int fd = events_.subscribeTo(QByteArrayLiteral("[\"window\"]")); fd >= 0) {
        eventNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        connect(eventNotifier_.get(), &QSocketNotifier::activated, this,
                &SwayPlacement::readEvents);
    }
}

void SwayPlacement::hideUntilPlaced(const QString& socketPath) {
    // Floating windows (dialogs, and panels made to float, below) stay
    // unseen until placed, or they would show where sway put them first,
    // and in the frames of a long capture. sway keeps a rule until it ends
    // and cannot drop one: the first Korvel on this sway adds it for every
    // later one, which a file in the runtime folder, named after sway's
    // socket (its process id), remembers.
    // Qt names a window's application after the program's file.
    const QString appId = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_-]+$"));
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.isEmpty() || !plain.match(appId).hasMatch()) {
        ipc_.command(QStringLiteral("for_window [pid=%1 floating] opacity 0")
                         .arg(QCoreApplication::applicationPid()));
        return;
    }
    const QString rule =
        QStringLiteral("for_window [app_id=\"^%1$\" floating] opacity 0").arg(appId);
    QFile marker(QDir(runtime).filePath(
        QStringLiteral("korvel-%1-%2.rule").arg(QFileInfo(socketPath).fileName(), appId)));
    if (marker.exists())
        return;
    if (ipc_.command(rule))
        marker.open(QIODevice::WriteOnly);
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
            (window->type() == Qt::Window || window->type() == Qt::Tool ||
             window->type() == Qt::Dialog)) {
            if (pending_.insert(window).second)
                // Windows may go without hiding first; their address is
                // then free for the next one.
                connect(window, &QObject::destroyed, this, [this, window] { forget(window); });
            // Exposed but not drawn, so not yet mapped: a window of fixed
            // size is mapped floating, at its own size. Tiled first, it
            // would keep the tile's.
            if (placeable(*window)) {
                sizeLimits_[window] = {window->minimumSize(), window->maximumSize()};
                window->setMinimumSize(window->size());
                window->setMaximumSize(window->size());
            }
            find(window, 0);
        }
        break;
    case QEvent::Move:
        if (auto it = placed_.find(window); it != placed_.end() && placeable(*window))
            moveTo(it->second, window->geometry());
        break;
    case QEvent::MouseButtonRelease:
        // A panel that takes no focus when shown still takes the keyboard
        // when clicked, as any window does; after the release, so that the
        // click itself is not cut short.
        if (auto it = placed_.find(window); it != placed_.end() && placeable(*window)) {
            lastClicked_ = window;
            ipc_.command(QStringLiteral("[con_id=%1] focus").arg(it->second));
        }
        break;
    case QEvent::Hide:
        // Hiding unmaps the window: sway forgets it, and a later show is
        // a new view.
        forget(window);
        break;
    default:
        break;
    }
    return false;
}

void SwayPlacement::forget(QWindow* window) {
    sizeLimits_.erase(window);
    if (auto it = placed_.find(window); it != placed_.end()) {
        taken_.erase(it->second);
        placed_.erase(it);
    }
    pending_.erase(window);
}

void SwayPlacement::find(const QPointer<QWindow>& window, int attempt) {
    if (!window || !pending_.count(window))
        return;
    const qint64 pid = QCoreApplication::applicationPid();
    const std::optional<QJsonDocument> tree = ipc_.request(SwayIpc::getTree);
    const quint32 view = tree ? newestView(tree->object(), pid, window->title(), taken_) : 0;
    if (!view) {
        if (tree && attempt + 1 < lookups) {
            QTimer::singleShot(lookupIntervalMs, this,
                               [this, window, attempt] { find(window, attempt + 1); });
        } else {
            // Never left unseen, wherever it is.
            forget(window);
            ipc_.command(QStringLiteral("[pid=%1] opacity 1").arg(pid));
        }
        return;
    }
    pending_.erase(window);
    placed_[window] = view;
    taken_.insert(view);
    if (placeable(*window)) {
        ipc_.command(
            QStringLiteral("[con_id=%1] floating enable, border none, sticky enable").arg(view));
        moveTo(view, window->geometry());
    }
    if (auto it = sizeLimits_.find(window); it != sizeLimits_.end()) {
        window->setMinimumSize(it->second.first);
        window->setMaximumSize(it->second.second);
        sizeLimits_.erase(it);
    }
    ipc_.command(QStringLiteral("[con_id=%1] opacity 1").arg(view));
    // Another program's window that took the focus while this one was not
    // placed yet came up over it unnoticed.
    if (const std::optional<QJsonObject> focus = swayFocused(tree->object()))
        raiseAbove(*focus);
}

void SwayPlacement::readEvents() {
    const std::optional<QJsonDocument> event = events_.readEvent();
    if (!event) {
        eventNotifier_.reset();
        return;
    }
    const QJsonObject o = event->object();
    if (o.value(QLatin1String("change")).toString() == QLatin1String("focus"))
        raiseAbove(o.value(QLatin1String("container")).toObject());
}

void SwayPlacement::raiseAbove(const QJsonObject& container) {
    // Tiled windows lie under every floating one anyway.
    if (container.value(QLatin1String("type")).toString() != QLatin1String("floating_con") ||
        container.value(QLatin1String("pid")).toInteger() == QCoreApplication::applicationPid())
        return;
    const QJsonObject r = container.value(QLatin1String("rect")).toObject();
    const QRect covering(r.value(QLatin1String("x")).toInt(), r.value(QLatin1String("y")).toInt(),
                         r.value(QLatin1String("width")).toInt(),
                         r.value(QLatin1String("height")).toInt());
    QStringList commands;
    QString last;
    for (const auto& [window, view] : placed_) {
        if (!window->isVisible() || !placeable(*window) ||
            !window->flags().testFlag(Qt::WindowDoesNotAcceptFocus) ||
            !window->geometry().intersects(covering))
            continue;
        // The panel clicked last keeps the keyboard.
        QString command = QStringLiteral("[con_id=%1] focus").arg(view);
        if (window == lastClicked_)
            last = std::move(command);
        else
            commands.append(std::move(command));
    }
    if (!last.isEmpty())
        commands.append(last);
    if (!commands.isEmpty())
        ipc_.commandKeepingPointer(commands.join(QLatin1String("; ")));
}

void SwayPlacement::moveTo(quint32 container, const QRect& geometry) {
    ipc_.command(QStringLiteral("[con_id=%1] move absolute position %2 %3")
                     .arg(container)
                     .arg(geometry.x())
                     .arg(geometry.y()));
}

} // namespace korvel::wayland
