#include "editor.h"

#include "annotationtoolbar.h"
#include "canvas.h"
#include "canvasstyle.h"
#include "capture/pixelmagnifier.h"
#include "capture/selectionchrome.h"
#include "capture/selectionview.h"

#include <QApplication>
#include <QCursor>
#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QScreen>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace korvel {
namespace {

constexpr auto editingModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// A finite size of at least one pixel, or nothing.
std::optional<double> pixelValue(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 1)
        return std::nullopt;
    return v;
}

} // namespace

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

// Locking and changing the selection ------------------------------------------------

std::optional<Editor::Crop> Editor::cropFor(const SelectionView& view, const QRectF& rect) const {
    const ScreenSnapshot& s = view.snapshot();
    const QSizeF frame = s.frame.size();
    const QSize image = s.image.size();
    const QRect pixels = pixelCrop(rect, frame, image);
    if (pixels.isEmpty() || frame.isEmpty())
        return std::nullopt;
    const double sx = frame.width() / image.width(), sy = frame.height() / image.height();
    const QRectF points(pixels.x() * sx, frame.height() - (pixels.y() + pixels.height()) * sy,
                        pixels.width() * sx, pixels.height() * sy);
    QImage crop = s.image.copy(pixels);
    if (crop.isNull())
        return std::nullopt;
    crop.setDevicePixelRatio(pixels.width() / points.width());
    return Crop{pixels, points, std::move(crop)};
}

void Editor::lock(const QRectF& rect, SelectionView* view) {
    if (canvas_ || isClosed())
        return;
    std::optional<Crop> crop = cropFor(*view, rect);
    if (!crop)
        return;
    OverlayWindow* overlay = overlayOf(view);
    canvas_ =
        new Canvas(crop->image, crop->pixels.size(), overlay ? overlay->edits() : nullptr, view);
    canvas_->setFrame(view->toWidget(crop->points));
    canvas_->annotationOrigin = crop->points.topLeft();

    for (OverlayWindow* o : overlays_) {
        SelectionView* v = o->view();
        v->selected = true;
        v->cancelAutomaticSelection();
        v->magnifier()->hide();
        v->updateSelectionLayers();
        v->updateCursorAreas();
    }

    if (!selfTest_)
        loadCanvasStyle(*canvas_);
    canvas_->selectMark(std::nullopt);

    QPointer<SelectionView> weakView(view);
    view->sizeBadge()->onEdit = [this] { editSize(); };
    view->selection = crop->points;
    view->updateSelectionLayers();
    canvas_->show();

    chrome_ = new SelectionChrome(view);
    chrome_->setGeometry(view->rect());
    chrome_->setMoving(true);
    chrome_->setSelection(crop->points);
    chrome_->onCopy = [this] { copy(); };
    chrome_->onAdjustingChanged = [this](bool adjusting) {
        if (toolbar_)
            toolbar_->setVisible(!adjusting);
    };
    chrome_->onChange = [this, weakView](const QRectF& r) {
        if (weakView)
            updateSelection(r, weakView);
    };
    chrome_->show();
    view->sizeBadge()->raise();

    keyOverlay_ = overlay;
    if (overlay && overlay->isVisible())
        grabKeyboard(true);
    canvas_->setFocus();
    addToolbar(view);
}

void Editor::updateSelection(const QRectF& rect, SelectionView* view) {
    if (!canvas_ || canvas_->parentWidget() != view)
        return;
    canvas_->commitText();
    std::optional<Crop> crop = cropFor(*view, rect);
    if (!crop)
        return;
    canvas_->setImage(crop->image, crop->pixels.size());
    canvas_->setFrame(view->toWidget(crop->points));
    canvas_->annotationOrigin = crop->points.topLeft();
    view->selection = crop->points;
    if (chrome_)
        chrome_->setSelection(crop->points);
    view->updateSelectionLayers();
    canvas_->update();
    placeToolbar(view);
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

void Editor::editSize() {
    auto* view = canvas_ ? qobject_cast<SelectionView*>(canvas_->parentWidget()) : nullptr;
    if (!view || !view->selection || busy_ || isClosed())
        return;
    busy_ = true;
    canvas_->commitText();

    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("Korvel"));
    auto* layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(QStringLiteral("设置截图尺寸")));
    auto* row = new QHBoxLayout;
    const auto field = [&](const QString& label, const QString& name, int value) {
        row->addWidget(new QLabel(label));
        auto* edit = new QLineEdit(QString::number(value));
        edit->setAccessibleName(name);
        edit->setObjectName(name);
        edit->setFixedWidth(90);
        row->addWidget(edit);
        return edit;
    };
    const QSize pixels = canvas_->pixelSize();
    QLineEdit* width = field(QStringLiteral("宽"), QStringLiteral("宽度像素"), pixels.width());
    QLineEdit* height = field(QStringLiteral("高"), QStringLiteral("高度像素"), pixels.height());
    layout->addLayout(row);
    auto* buttons = new QDialogButtonBox;
    buttons->addButton(QStringLiteral("确定"), QDialogButtonBox::AcceptRole);
    buttons->addButton(QStringLiteral("取消"), QDialogButtonBox::RejectRole);
    connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    layout->addWidget(buttons);

    hideOverlays();
    QPointer<SelectionView> weakView(view);
    if (runModal(dialog) == QDialog::Accepted && weakView && weakView->selection) {
        const auto w = pixelValue(width->text()), h = pixelValue(height->text());
        if (w && h) {
            const ScreenSnapshot& s = weakView->snapshot();
            updateSelection(exactSelectionSize(QSizeF(*w, *h), *weakView->selection, s.frame.size(),
                                               s.image.size()),
                            weakView);
        }
    }
    busy_ = false;
    showWindow();
}

// Reselect ----------------------------------------------------------------------------

void Editor::reselect(QWidget* clicked, QPointF globalPosition) {
    if (!canvas_ || isClosed() || busy_)
        return;
    canvas_->cancelText();
    // Deleted later: the click that asked for this is still being delivered
    // to one of them.
    for (QWidget* w : std::initializer_list<QWidget*>{canvas_, chrome_, toolbar_}) {
        if (w) {
            w->hide();
            w->deleteLater();
        }
    }
    canvas_ = nullptr;
    chrome_ = nullptr;
    toolbar_ = nullptr;
    for (OverlayWindow* overlay : overlays_) {
        overlay->edits()->clear();
        overlay->view()->sizeBadge()->onEdit = nullptr;
        overlay->view()->setToolbar(nullptr);
        overlay->view()->resetSelection();
    }
    OverlayWindow* overlay = overlayOf(clicked);
    if (!overlay && !overlays_.empty())
        overlay = overlays_.front();
    if (!overlay)
        return;
    keyOverlay_ = overlay;
    grabKeyboard(true);
    SelectionView* view = overlay->view();
    view->setFocus();
    view->hoverUpdate(view->toLocal(view->mapFromGlobal(globalPosition)));
}

// Keyboard and right clicks -------------------------------------------------------------

OverlayWindow* Editor::overlayOf(QObject* object) const {
    auto* widget = qobject_cast<QWidget*>(object);
    QWidget* top = widget ? widget->window() : nullptr;
    for (OverlayWindow* overlay : overlays_) {
        if (overlay == top)
            return overlay;
    }
    return nullptr;
}

bool Editor::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    // A quick second right press arrives as a double click; it counts too.
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (type != QEvent::KeyPress && !press && type != QEvent::ShortcutOverride)
        return false;
    OverlayWindow* overlay = overlayOf(watched);
    if (!overlay || isClosed())
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Window shortcuts of bypass windows fire only while Qt counts them
        // active, which the grab does not guarantee: the editor takes its key
        // equivalents as plain key presses instead.
        if (!keyEquivalent(*static_cast<QKeyEvent*>(event)))
            return false;
        event->accept();
        return true;
    }
    if (press) {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() != Qt::RightButton)
            return false;
        if (!canvas_)
            close();
        else if (busy_)
            return false;
        else
            reselect(qobject_cast<QWidget*>(watched), mouse->globalPosition());
        return true;
    }
    return handleKey(static_cast<QKeyEvent*>(event), overlay);
}

bool Editor::handleKey(QKeyEvent* event, OverlayWindow* overlay) {
    if (handleSharedKey(
            *event, [&] { return captureKey(*event, overlay); }, false))
        return true;
    if (std::function<void()> action = keyEquivalent(*event)) {
        action();
        return true;
    }
    return false;
}

bool Editor::captureKey(const QKeyEvent& event, OverlayWindow* overlay) {
    const Qt::KeyboardModifiers mods = event.modifiers();
    const bool plain =
        !(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const int key = event.key();
    if (key == Qt::Key_Space && plain && !canvas_) {
        // Keys arrive at the overlay holding the keyboard; the choice is made
        // on the display the pointer is on.
        OverlayWindow* pointed = overlay;
        for (OverlayWindow* o : overlays_) {
            if (o->isVisible() && o->geometry().contains(QCursor::pos()))
                pointed = o;
        }
        pointed->view()->toggleWindowSelection();
        return true;
    }
    const bool arrow =
        key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down;
    if (arrow && canvas_ && !canvas_->selectedMarkIndex() && !(mods & editingModifiers))
        return nudgeSelection(key, mods & Qt::ShiftModifier, overlay);
    // Option+C on the original keyboard: Alt+C.
    if (key == Qt::Key_C && (mods & editingModifiers) == Qt::AltModifier) {
        bool done = false;
        for (OverlayWindow* o : overlays_) {
            SelectionView* v = o->view();
            if (!v->selected && v->magnifier()->isVisible() && v->magnifier()->sample())
                done = v->magnifier()->copyColor() || done;
        }
        return done;
    }
    return false;
}

std::function<void()> Editor::keyEquivalent(const QKeyEvent& event) {
    // The toolbar's Control shortcuts and the redo of the window menus.
    if (!canvas_ || !toolbar_ || typing())
        return {};
    const Qt::KeyboardModifiers mods = event.modifiers() & (editingModifiers | Qt::ShiftModifier);
    const bool control = mods == Qt::ControlModifier;
    switch (event.key()) {
    case Qt::Key_Z:
        if (control)
            return [this] { toolbar_->onUndo(); };
        if (mods == (Qt::ControlModifier | Qt::ShiftModifier))
            return [this] { toolbar_->onRedo(); };
        return {};
    case Qt::Key_P:
        return control ? std::function<void()>([this] { pin(); }) : nullptr;
    case Qt::Key_S:
        return control ? std::function<void()>([this] { save(); }) : nullptr;
    case Qt::Key_C:
        return control ? std::function<void()>([this] { copy(); }) : nullptr;
    default:
        return {};
    }
}

bool Editor::nudgeSelection(int key, bool shift, OverlayWindow* overlay) {
    SelectionView* view = overlay->view();
    if (!view->selection || canvas_->parentWidget() != view)
        return false;
    const double step = shift ? 10 : 1;
    const QSize image = view->snapshot().image.size();
    const double dx = step * view->width() / std::max(1, image.width());
    const double dy = step * view->height() / std::max(1, image.height());
    QPointF delta;
    switch (key) {
    case Qt::Key_Left:
        delta = QPointF(-dx, 0);
        break;
    case Qt::Key_Right:
        delta = QPointF(dx, 0);
        break;
    case Qt::Key_Down:
        delta = QPointF(0, -dy);
        break;
    default:
        delta = QPointF(0, dy);
        break;
    }
    updateSelection(adjusted(SelectionHandle::move, *view->selection, delta, view->bounds(), false),
                    view);
    return true;
}

} // namespace korvel
