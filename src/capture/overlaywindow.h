#pragma once

#include "selectionview.h"

#include <QWidget>

class QUndoStack;

namespace korvel {

// The borderless window above everything that shows one display's frozen
// snapshot during a capture. Its undo stack keeps the capture's edits apart
// from every other window's.
class OverlayWindow final : public QWidget {
    Q_OBJECT

public:
    explicit OverlayWindow(ScreenSnapshot snapshot);

    // A window for the snapshot; with reuse on, one given back by an earlier
    // capture of a display of the same geometry. A 4K window's first paint
    // fills a new backing store page by page, which costs more than the rest
    // of a capture together; a kept window still has its own.
    static OverlayWindow* obtain(ScreenSnapshot snapshot);
    // Hides the window and keeps it for the next capture when reuse is on
    // (one per display geometry), deletes it otherwise.
    static void giveBack(OverlayWindow* window);
    // Reuse is for the application, which empties the store before it ends;
    // tests keep every capture's windows apart.
    static void setReuse(bool reuse);
    static void releaseKept();

    SelectionView* view() const { return view_; }
    QUndoStack* edits() const { return edits_; }
    // Covers the snapshot's display: placed on it directly, or full screen
    // on that output where the compositor places windows.
    void present();

private:
    void showSnapshot(ScreenSnapshot snapshot);

    SelectionView* view_ = nullptr;
    QUndoStack* edits_;
};

} // namespace korvel
