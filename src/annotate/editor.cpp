#include "editor.h"

#include "annotationtoolbar.h"
#include "canvas.h"
#include "capture/selectionadjustment.h"
#include "capture/selectionchrome.h"
#include "capture/selectionview.h"

#include <QApplication>
#include <QCursor>
#include <QWindow>

namespace korvel {

Editor::Editor(std::vector<ScreenSnapshot> snapshots, EditorServices services)
    : AnnotationHost(*this, services)
    , defaultTool_(std::move(services.defaultTool))
    , selfTest_(services.selfTest) {
    remembersStyle_ = !selfTest_;
    for (ScreenSnapshot& snapshot : snapshots) {
        OverlayWindow* overlay = OverlayWindow::obtain(std::move(snapshot));
        SelectionView* view = overlay->view();
        QPointer<SelectionView> weakView(view);
        view->onSelect = [this, weakView](const QRectF& r) {
            if (weakView)
                lock(r, weakView);
        };
        overlays_.push_back(overlay);
    }
    keyOverlay_ = overlays_.empty() ? nullptr : overlays_.front();
    startMonitoring();
    // The frozen images no longer match the displays.
    connect(qApp, &QGuiApplication::screenAdded, this, [this] { close(); });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { close(); });
}

Editor::~Editor() {
    for (OverlayWindow* overlay : overlays_)
        OverlayWindow::giveBack(overlay);
}

std::vector<QWidget*> Editor::overlays() const {
    return {overlays_.begin(), overlays_.end()};
}

SelectionView* Editor::root(std::size_t i) const {
    return i < overlays_.size() ? overlays_[i]->view() : nullptr;
}

// Showing and closing -------------------------------------------------------------

void Editor::showWindow() {
    if (isClosed())
        return;
    for (OverlayWindow* overlay : overlays_) {
        overlay->present();
        overlay->raise();
    }
    const QPoint pointer = QCursor::pos();
    for (OverlayWindow* overlay : overlays_) {
        SelectionView* view = overlay->view();
        view->hoverUpdate(view->toLocal(QPointF(view->mapFromGlobal(pointer))));
    }
    grabKeyboard(true);
    if (canvas_)
        canvas_->setFocus();
}

void Editor::grabKeyboard(bool grab) {
    // An X grab, not QWidget::grabKeyboard: keys must still reach the focused
    // text field. Bypass windows get no focus from the window manager, so it
    // is set here.
    OverlayWindow* wanted = grab && keyOverlay_ && keyOverlay_->isVisible() ? keyOverlay_ : nullptr;
    if (grabbed_ && grabbed_ != wanted && grabbed_->windowHandle())
        grabbed_->windowHandle()->setKeyboardGrabEnabled(false);
    grabbed_ = wanted;
    if (!wanted)
        return;
    wanted->raise();
    wanted->activateWindow();
    if (QWindow* handle = wanted->windowHandle())
        handle->setKeyboardGrabEnabled(true);
}

void Editor::hideOverlays() {
    grabKeyboard(false);
    for (OverlayWindow* overlay : overlays_)
        overlay->hide();
}

void Editor::stepAside(bool aside) {
    if (aside)
        hideOverlays();
    else
        showWindow();
}

void Editor::closeWindow() {
    if (canvas_)
        canvas_->commitText();
    hideOverlays();
    if (onClose)
        onClose();
}

// Toolbar ---------------------------------------------------------------------------

void Editor::addToolbar(SelectionView* view) {
    toolbar_ = new AnnotationToolbar(std::max(0, view->width() - 16), view);
    QPointer<SelectionView> weakView(view);
    toolbar_->onLayoutChange = [this, weakView] {
        if (weakView && weakView->selection)
            placeToolbar(weakView);
    };
    connectToolbar();
    toolbar_->onLongCapture = [this, weakView] {
        if (!weakView || !weakView->selection || !onLongCapture)
            return;
        if (onLongCapture(weakView->snapshot().frame, *weakView->selection))
            close();
    };
    view->setToolbar(toolbar_);
    placeToolbar(view);
    toolbar_->show();
    toolbar_->raise();
    showStyle();
    if (!selfTest_) {
        const int index = std::clamp(defaultTool_ ? defaultTool_() : 2, 0, 10);
        toolbar_->selectTool(index);
        selectTool(index);
    }
}

void Editor::placeToolbar(SelectionView* view) {
    if (!toolbar_ || !view->selection)
        return;
    const QRectF frame = toolbarFrame(QSizeF(toolbar_->size()), *view->selection, view->bounds());
    toolbar_->setGeometry(view->toWidget(frame).toRect());
    view->updateCursorAreas();
}

void Editor::selectTool(int index) {
    if (!canvas_)
        return;
    canvas_->commitText();
    if (chrome_)
        chrome_->setMoving(index == 0);
    canvas_->selectionOnly = index == 1;
    if (index != 1)
        canvas_->selectMark(std::nullopt);
    if (index >= 2)
        canvas_->tool = toolForIndex(index).value_or(Tool::rectangle);
    if (auto* view = qobject_cast<SelectionView*>(canvas_->parentWidget()))
        view->updateCursorAreas();
    canvas_->updateCursorAreas();
    canvas_->setFocus();
}

QUndoStack* Editor::edits() const {
    return keyOverlay_ ? keyOverlay_->edits() : nullptr;
}

// Results ---------------------------------------------------------------------------

bool Editor::pinPng(const QByteArray& png) {
    auto* view = qobject_cast<SelectionView*>(canvas_->parentWidget());
    if (!view || !view->selection || !onPin)
        return false;
    return onPin(png, view->selection->translated(view->snapshot().frame.topLeft()));
}

} // namespace korvel
