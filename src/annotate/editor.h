#pragma once

#include "capture/captureeditor.h"
#include "capture/selectionview.h"

#include <QObject>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>

class QDialog;

namespace korvel {

class AnnotationToolbar;
class Canvas;
class ScreenshotHistory;
class SelectionChrome;

// What the editor needs from the rest of the application.
struct EditorServices {
    ScreenshotHistory* history = nullptr;
    // The capture preferences, read at the moment of use.
    std::function<bool()> copyCloses = [] { return true; };
    std::function<int()> defaultTool = [] { return 2; };
    // The self-test neither reads nor writes the remembered style.
    bool selfTest = false;
    // Runs a save panel, the size dialog or an alert modally and returns its
    // result code; tests replace it.
    std::function<int(QDialog&)> runModal;
    // Opens the text recognition window on the image. It calls `copied`
    // when its text went to the clipboard and `closed` when it closes.
    std::function<void(const QImage& image, bool copyWhenReady, std::function<void()> copied,
                       std::function<void()> closed)>
        recognizeText;
};

// One capture from the frozen displays to its result: an overlay per display
// to pick a region on, then the canvas, chrome and toolbar on the overlay that
// holds the selection. It handles the keyboard and right clicks of the whole
// capture.
class Editor final : public QObject, public CaptureEditor {
public:
    Editor(std::vector<ScreenSnapshot> snapshots, EditorServices services);
    ~Editor() override;

    void showWindow() override;
    void close() override;
    bool isSaving() const override { return isSaving_; }
    std::vector<QWidget*> overlays() const override;

    const std::vector<OverlayWindow*>& overlayWindows() const { return overlays_; }
    SelectionView* root(std::size_t i) const;
    Canvas* canvas() const { return canvas_; }
    SelectionChrome* chrome() const { return chrome_; }
    AnnotationToolbar* toolbar() const { return toolbar_; }
    bool isClosed() const { return closed_; }
    // The overlay that takes the keyboard: the first until a region is
    // locked, then the one holding it.
    OverlayWindow* keyOverlay() const { return keyOverlay_; }

    void copy();
    void save();
    void pin();
    void recognizeText(bool copyWhenReady);
    void editSize();
    // Back to region picking on the same frozen displays.
    void reselect(QWidget* clicked, QPointF globalPosition);
    void updateSelection(const QRectF& rect, SelectionView* view);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

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
    void selectTool(int index);
    void showStyle();
    void rememberStyle();
    void copied();
    void hideOverlays();
    void grabKeyboard(bool grab);
    int runModal(QDialog& dialog);
    OverlayWindow* overlayOf(QObject* object) const;
    bool handleKey(QKeyEvent* event, OverlayWindow* overlay);
    // The action a Control key combination stands for while editing, if any.
    std::function<void()> keyEquivalent(const QKeyEvent& event);
    bool nudgeSelection(int key, bool shift, OverlayWindow* overlay);

    EditorServices services_;
    Canvas* canvas_ = nullptr;
    bool isSaving_ = false;
    std::vector<OverlayWindow*> overlays_; // owned
    OverlayWindow* keyOverlay_ = nullptr;
    QPointer<OverlayWindow> grabbed_;
    bool closed_ = false;
    bool monitoring_ = false;
    SelectionChrome* chrome_ = nullptr;
    AnnotationToolbar* toolbar_ = nullptr;
};

} // namespace korvel
