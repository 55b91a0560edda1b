#pragma once

#include "captureeditor.h"

#include <QPointer>

namespace korvel {

// The frozen displays, one borderless window per display above everything
// else. Escape or a right click ends the capture.
class FrozenOverlays final : public CaptureEditor {
public:
    explicit FrozenOverlays(const std::vector<ScreenSnapshot>& snapshots);
    ~FrozenOverlays() override;

    void showWindow() override;
    void close() override;
    bool isSaving() const override { return false; }
    std::vector<QWidget*> overlays() const override;

private:
    std::vector<std::unique_ptr<QWidget>> windows_;
    bool closed_ = false;
};

} // namespace korvel
