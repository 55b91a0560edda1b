#pragma once

#include "annotationhost.h"
#include "capture/captureeditor.h"
#include "capture/overlaywindow.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

namespace korvel {

class SelectionChrome;

// What the editor needs from the rest of the application, besides what every
// annotating window does.
struct EditorServices : AnnotationServices {
    // The capture preference, read at the moment of use.
    std::function<int()> defaultTool = [] { return 2; };
    // The self-test neither reads nor writes the remembered style.
    bool selfTest = false;
};

// One capture from the frozen displays to its result: an overlay per display
// to pick a region on, then the canvas, chrome and toolbar on the overlay that
// holds the selection. It handles the keyboard and right clicks of the whole
// capture.
class Editor final : public QObject, public CaptureEditor, public AnnotationHost {
public:
    Editor(std::vector<ScreenSnapshot> snapshots, EditorServices services);
    ~Editor() override;

    void showWindow() override;
    void close() override { closeHost(); }
    bool isSaving() const override { return busy_; }
    std::vector<QWidget*> overlays() const override;

    const std::vector<OverlayWindow*>& overlayWindows() const { return overlays_; }
    SelectionView* root(std::size_t i) const;
    SelectionChrome* chrome() const { return chrome_; }
    // The overlay that takes the keyboard: the first until a region is
    // locked, then the one holding it.
    OverlayWindow* keyOverlay() const { return keyOverlay_; }

    void editSize();
    // Back to region picking on the same frozen displays.
    void reselect(QWidget* clicked, QPointF globalPosition);
    void updateSelection(const QRectF& rect, SelectionView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeWindow() override;
    bool pinPng(const QByteArray& png) override;
    void selectTool(int index) override;
    QUndoStack* edits() const override;
    bool stepsAside() const override { return true; }
    void stepAside(bool aside) override;

private:
    struct Crop {
        QRect pixels;
        QRectF points;
        QImage image;
    };
    std::optional<Crop> cropFor(const SelectionView& view, const QRectF& rect) const;
    void lock(const QRectF& rect, SelectionView* view);
    void addToolbar(SelectionView* view);
    void placeToolbar(SelectionView* view);
    void hideOverlays();
    void grabKeyboard(bool grab);
    OverlayWindow* overlayOf(QObject* object) const;
    bool handleKey(QKeyEvent* event, OverlayWindow* overlay);
    // The keys only a capture has: Space, the arrows and Alt+C.
    bool captureKey(const QKeyEvent& event, OverlayWindow* overlay);
    // The action a Control key combination stands for while editing, if any.
    std::function<void()> keyEquivalent(const QKeyEvent& event);
    bool nudgeSelection(int key, bool shift, OverlayWindow* overlay);

    std::function<int()> defaultTool_;
    bool selfTest_ = false;
    std::vector<OverlayWindow*> overlays_; // owned
    OverlayWindow* keyOverlay_ = nullptr;
    QPointer<OverlayWindow> grabbed_;
    SelectionChrome* chrome_ = nullptr;
};

} // namespace korvel
