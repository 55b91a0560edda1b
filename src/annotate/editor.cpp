#include "editor.h"

#include "annotationtoolbar.h"
#include "canvas.h"
#include "canvasstyle.h"
#include "capture/pixelmagnifier.h"
#include "capture/selectionchrome.h"
#include "capture/selectionview.h"
#include "export/screenshotexport.h"
#include "history/screenshothistory.h"
#include "platform/pngcheck.h"

#include <QApplication>
#include <QCursor>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QScreen>
#include <QTextEdit>
#include <QUndoStack>
#include <QVBoxLayout>
#include <QWindow>

#include <cmath>

namespace korvel {
namespace {

constexpr auto editingModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

bool isTextInput(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
           qobject_cast<const QTextEdit*>(w);
}

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
    : services_(std::move(services)) {
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
    qApp->installEventFilter(this);
    monitoring_ = true;
    // The frozen images no longer match the displays.
    connect(qApp, &QGuiApplication::screenAdded, this, [this] { close(); });
    connect(qApp, &QGuiApplication::screenRemoved, this, [this] { close(); });
}

Editor::~Editor() {
    if (monitoring_)
        qApp->removeEventFilter(this);
    for (OverlayWindow* overlay : overlays_)
        OverlayWindow::giveBack(overlay);
}

std::vector<QWidget*> Editor::overlays() const {
    return {overlays_.begin(), overlays_.end()};
}

SelectionView* Editor::root(std::size_t i) const {
    return i < overlays_.size() ? overlays_[i]->view() : nullptr;
}

int Editor::runModal(QDialog& dialog) {
    return services_.runModal ? services_.runModal(dialog) : dialog.exec();
}

// Showing and closing -------------------------------------------------------------

void Editor::showWindow() {
    if (closed_)
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

void Editor::close() {
    if (closed_)
        return;
    closed_ = true;
    if (monitoring_) {
        qApp->removeEventFilter(this);
        monitoring_ = false;
    }
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
    if (canvas_ || closed_)
        return;
    std::optional<Crop> crop = cropFor(*view, rect);
    if (!crop)
        return;
    OverlayWindow* overlay = overlayOf(view);
    canvas_ =
        new Canvas(crop->image, crop->pixels.size(), overlay ? overlay->edits() : nullptr, view);
    canvas_->setFrame(view->toWidget(crop->points));
    canvas_->annotationOrigin = crop->points.topLeft();
    canvas_->onCopy = [this] { copy(); };

    for (OverlayWindow* o : overlays_) {
        SelectionView* v = o->view();
        v->selected = true;
        v->cancelAutomaticSelection();
        v->magnifier()->hide();
        v->updateSelectionLayers();
        v->updateCursorAreas();
    }

    if (!services_.selfTest)
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
    connectStyleControls(
        *toolbar_, *canvas_, [this](int index) { selectTool(index); }, [this] { rememberStyle(); });
    toolbar_->onUndo = [this] {
        if (QUndoStack* edits = keyOverlay_ ? keyOverlay_->edits() : nullptr)
            edits->undo();
    };
    toolbar_->onRedo = [this] {
        if (QUndoStack* edits = keyOverlay_ ? keyOverlay_->edits() : nullptr)
            edits->redo();
    };
    toolbar_->onPin = [this] { pin(); };
    toolbar_->onSave = [this] { save(); };
    toolbar_->onCopy = [this] { copy(); };
    toolbar_->onClose = [this] { close(); };
    toolbar_->onOCR = [this](bool copyAtOnce) { recognizeText(copyAtOnce); };
    toolbar_->onLongCapture = [this, weakView] {
        if (!weakView || !weakView->selection || !onLongCapture)
            return;
        if (onLongCapture(weakView->snapshot().frame, *weakView->selection))
            close();
    };
    canvas_->onStyleChange = [this] {
        showStyle();
        rememberStyle();
    };
    view->setToolbar(toolbar_);
    placeToolbar(view);
    toolbar_->show();
    toolbar_->raise();
    showStyle();
    if (!services_.selfTest) {
        const int index = std::clamp(services_.defaultTool ? services_.defaultTool() : 2, 0, 10);
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

void Editor::showStyle() {
    if (toolbar_ && canvas_)
        showCanvasStyle(*toolbar_, *canvas_);
}

void Editor::rememberStyle() {
    if (!services_.selfTest && canvas_)
        rememberCanvasStyle(*canvas_);
}

// Results ---------------------------------------------------------------------------

void Editor::copy() {
    if (!canvas_ || closed_)
        return;
    const std::optional<QByteArray> png = canvas_->png();
    if (!png || !services_.history || !ScreenshotExport::copy(*png, *services_.history))
        return;
    copied();
}

void Editor::copied() {
    if (services_.copyCloses && services_.copyCloses())
        close();
    else if (toolbar_)
        toolbar_->flashCopied();
}

void Editor::save() {
    if (!canvas_ || isSaving_ || closed_)
        return;
    isSaving_ = true;
    canvas_->commitText();
    hideOverlays();
    std::unique_ptr<QFileDialog> panel = ScreenshotExport::savePanel();
    const bool chosen = runModal(*panel) == QDialog::Accepted && !panel->selectedFiles().isEmpty();
    bool saved = false;
    if (chosen) {
        if (const std::optional<QByteArray> png = canvas_->png()) {
            ScreenshotHistory* history = services_.history;
            const QString path = panel->selectedFiles().constFirst();
            const std::optional<QString> error = history
                                                     ? ScreenshotExport::save(*png, path, *history)
                                                     : ScreenshotExport::writePng(*png, path);
            if (error) {
                QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"), *error);
                box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
                runModal(box);
            }
            saved = !error;
        }
    }
    isSaving_ = false;
    if (saved)
        close();
    else
        showWindow();
}

void Editor::pin() {
    if (!canvas_ || closed_ || isSaving_)
        return;
    const std::optional<QByteArray> png = canvas_->png();
    auto* view = qobject_cast<SelectionView*>(canvas_->parentWidget());
    if (!png || !view || !view->selection || !onPin)
        return;
    const QRectF screen = view->selection->translated(view->snapshot().frame.topLeft());
    if (!onPin(*png, screen))
        return;
    if (services_.history)
        services_.history->record(*png);
    close();
}

void Editor::recognizeText(bool copyWhenReady) {
    if (isSaving_ || !canvas_ || closed_ || !services_.recognizeText)
        return;
    const std::optional<QByteArray> png = canvas_->png();
    if (!png)
        return;
    const QImage image = decodedPng(*png);
    if (image.isNull())
        return;
    isSaving_ = true;
    hideOverlays();
    QPointer<Editor> self(this);
    services_.recognizeText(
        image, copyWhenReady,
        [self] {
            if (self && !self->closed_)
                self->copied();
        },
        [self] {
            if (!self)
                return;
            self->isSaving_ = false;
            if (!self->closed_)
                self->showWindow();
        });
}

void Editor::editSize() {
    auto* view = canvas_ ? qobject_cast<SelectionView*>(canvas_->parentWidget()) : nullptr;
    if (!view || !view->selection || isSaving_ || closed_)
        return;
    isSaving_ = true;
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
    isSaving_ = false;
    showWindow();
}

// Reselect ----------------------------------------------------------------------------

void Editor::reselect(QWidget* clicked, QPointF globalPosition) {
    if (!canvas_ || closed_ || isSaving_)
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
    if (!overlay || closed_)
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
        else if (isSaving_)
            return false;
        else
            reselect(qobject_cast<QWidget*>(watched), mouse->globalPosition());
        return true;
    }
    return handleKey(static_cast<QKeyEvent*>(event), overlay);
}

bool Editor::handleKey(QKeyEvent* event, OverlayWindow* overlay) {
    if ((canvas_ && canvas_->textField()) || isTextInput(QApplication::focusWidget()))
        return false;
    if (toolbar_ && toolbar_->handleShortcut(*event))
        return true;
    const Qt::KeyboardModifiers mods = event->modifiers();
    const bool plain =
        !(mods & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier));
    const int key = event->key();
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
    if (key == Qt::Key_Escape) {
        close();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && !(mods & editingModifiers)) {
        copy();
        return true;
    }
    if (std::function<void()> action = keyEquivalent(*event)) {
        action();
        return true;
    }
    return false;
}

std::function<void()> Editor::keyEquivalent(const QKeyEvent& event) {
    // The toolbar's Control shortcuts and the redo of the window menus.
    if (!canvas_ || !toolbar_ || canvas_->textField() || isTextInput(QApplication::focusWidget()))
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
