// The editor's selection: locking a region into a canvas, changing it by
// dragging, typing its size or picking again.
#include "editor.h"

#include "annotationtoolbar.h"
#include "canvas.h"
#include "canvasstyle.h"
#include "capture/pixelmagnifier.h"
#include "capture/selectionadjustment.h"
#include "capture/selectionchrome.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QUndoStack>
#include <QVBoxLayout>

#include <cmath>

namespace korvel {
namespace {

// A finite size of at least one pixel, or nothing.
std::optional<double> pixelValue(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v) || v < 1)
        return std::nullopt;
    return v;
}

} // namespace

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

} // namespace korvel
