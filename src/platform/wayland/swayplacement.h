#pragma once

#include "../windowhints.h"
#include "swayipc.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>
#include <QWindow>

#include <map>
#include <set>

namespace korvel::wayland {

// A Wayland client cannot place its own windows, but sway can be asked to:
// Korvel's frameless tool windows (panels, pins) float without a border on
// every workspace where the program put them, follow its later moves, and
// stay unseen until placed, as dialogs do until sway has them. Windows are
// matched to sway's by process and title, the newest not yet placed first.
// sway raises a floating window when it takes the focus, and has no other
// way to raise one: panels that take no focus of their own (a long
// capture's) are focused again, the pointer staying where it is, when
// another program's floating window that they overlap comes up over them,
// so they stay on top and keep the keys.
class SwayPlacement final : public QObject, public WindowHints {
public:
    explicit SwayPlacement(const QString& socketPath);
    ~SwayPlacement() override;

    // Every placed window is on all workspaces already.
    void showOnAllDesktops(quintptr) override {}
    // A Wayland compositor always composites.
    bool compositing() override { return true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool placeable(const QWindow& window);
    void hideUntilPlaced(const QString& socketPath);
    void forget(QWindow* window);
    void find(const QPointer<QWindow>& window, int attempt);
    void moveTo(quint32 container, const QRect& geometry);
    void readEvents();
    void raiseAbove(const QJsonObject& container);

    SwayIpc ipc_;
    // Window events: who takes the focus, which raises a floating window.
    SwayIpc events_;
    std::unique_ptr<QSocketNotifier> eventNotifier_;
    QPointer<QWindow> lastClicked_;
    std::map<QWindow*, quint32> placed_;
    std::set<QWindow*> pending_;
    std::set<quint32> taken_;
    // What the windows made to float allowed before.
    std::map<QWindow*, std::pair<QSize, QSize>> sizeLimits_;
};

} // namespace korvel::wayland
