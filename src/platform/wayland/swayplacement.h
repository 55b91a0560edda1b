#pragma once

#include "../windowhints.h"
#include "swayipc.h"

#include <QObject>
#include <QPointer>
#include <QWindow>

#include <map>
#include <set>

namespace korvel::wayland {

// A Wayland client cannot place its own windows, but sway can be asked to:
// Korvel's frameless tool windows (panels, pins) float without a border on
// every workspace where the program put them, follow its later moves, and
// stay unseen until placed, as dialogs do until sway has them. Windows are
// matched to sway's by process and title, the newest not yet placed first.
class SwayPlacement final : public QObject, public WindowHints {
public:
    explicit SwayPlacement(QString socketPath);
    ~SwayPlacement() override;

    // Every placed window is on all workspaces already.
    void showOnAllDesktops(quintptr) override {}
    // A Wayland compositor always composites.
    bool compositing() override { return true; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    static bool placeable(const QWindow& window);
    void forget(QWindow* window);
    void find(const QPointer<QWindow>& window, int attempt);
    void moveTo(quint32 container, const QRect& geometry);

    SwayIpc ipc_;
    std::map<QWindow*, quint32> placed_;
    std::set<QWindow*> pending_;
    std::set<quint32> taken_;
    // What the windows made to float allowed before.
    std::map<QWindow*, std::pair<QSize, QSize>> sizeLimits_;
};

} // namespace korvel::wayland
