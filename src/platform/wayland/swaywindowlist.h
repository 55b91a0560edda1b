#pragma once

#include "../windowlist.h"
#include "swayipc.h"

#include <QJsonObject>

namespace korvel::wayland {

// The windows sway shows, front to back: full-screen ones, then floating
// ones from the top of their stack down, then tiled ones. Only windows on a
// visible workspace (and not hidden behind a tab) are listed. Bounds are
// the containers' outer rectangles in the logical layout.
std::vector<WindowInfo> swayWindows(const QJsonObject& tree);
// The node of the tree with the keyboard focus.
std::optional<QJsonObject> swayFocused(const QJsonObject& tree);

// The window list from sway's IPC (`get_tree`).
class SwayWindowList final : public WindowList {
public:
    explicit SwayWindowList(QString socketPath);

    std::vector<WindowInfo> windows() override;
    std::optional<qint64> activePid() override;
    void activate(quint32 window) override;

private:
    SwayIpc ipc_;
};

} // namespace korvel::wayland
