#pragma once

#include "screensnapshot.h"

#include <QByteArray>
#include <QRectF>
#include <QWidget>

#include <functional>
#include <memory>

namespace korvel {

// What the application delegate needs of the editor that carries one capture
// from selection to result.
class CaptureEditor {
public:
    virtual ~CaptureEditor() = default;

    virtual void showWindow() = 0;
    virtual void close() = 0;
    // True while the save panel is open; a new capture must not pull the
    // screen away from under it.
    virtual bool isSaving() const = 0;
    virtual std::vector<QWidget*> overlays() const = 0;

    // PNG data and its screen frame (global bottom-left points); returns
    // whether a pin was created.
    std::function<bool(const QByteArray& png, const QRectF& frame)> onPin;
    // Display frame and selected region; returns whether a long capture began.
    std::function<bool(const QRectF& frame, const QRectF& region)> onLongCapture;
    std::function<void()> onClose;
};

using EditorFactory =
    std::function<std::unique_ptr<CaptureEditor>(std::vector<ScreenSnapshot> snapshots)>;

} // namespace korvel
