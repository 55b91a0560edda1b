#include "longscreenshotresult.h"

#include "annotate/annotationtoolbar.h"
#include "annotate/canvas.h"
#include "annotate/canvasstyle.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCursor>
#include <QKeyEvent>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QUndoStack>
#include <QWheelEvent>

#include <algorithm>

namespace korvel {
namespace {

constexpr int margin = 10;
constexpr double fittedWidth = 880;

// The formats the painter draws without converting: any other would be
// converted on every frame, which a long image cannot afford.
QImage workingImage(const QImage& image) {
    switch (image.format()) {
    case QImage::Format_RGB32:
    case QImage::Format_ARGB32:
    case QImage::Format_ARGB32_Premultiplied:
        return image;
    default:
        return image.convertToFormat(image.hasAlphaChannel() ? QImage::Format_ARGB32_Premultiplied
                                                             : QImage::Format_RGB32);
    }
}

} // namespace

LongScreenshotResult::LongScreenshotResult(const QImage& image, const QString& title,
                                           std::function<bool(const QByteArray&)> onPin,
                                           LongScreenshotServices services)
    : AnnotationHost(*this, std::move(services))
    , onPin_(std::move(onPin))
    // A child, so the application's undo and redo find this window's edits.
    , edits_(new QUndoStack(this))
    , scroll_(new QScrollArea(this)) {
    setAttribute(Qt::WA_DeleteOnClose, false);
    setWindowTitle(
        QStringLiteral("Korvel · %1 %2 × %3 px").arg(title).arg(image.width()).arg(image.height()));
    resize(920, 720);

    const QSize pixels = image.size();
    scale_ = pixels.width() > 0 ? std::min(fittedWidth / pixels.width(), 1.0) : 1.0;
    canvas_ = new Canvas(workingImage(image), pixels, edits_);
    canvas_->resize(QSizeF(pixels.width() * scale_, pixels.height() * scale_).toSize());

    toolbar_ = new AnnotationToolbar(900, this);
    QStringList unavailable{QStringLiteral("长截图"), QStringLiteral("移动选区")};
    if (!onPin_)
        unavailable << QStringLiteral("贴图");
    if (!services_.recognizeText)
        unavailable << QStringLiteral("识别文字");
    toolbar_->disableActions(unavailable);
    toolbar_->reserveStyleRow();
    toolbar_->move(margin, margin);
    setMinimumSize(std::max(500, toolbar_->width()), 420);

    scroll_->setWidget(canvas_);
    scroll_->setWidgetResizable(false);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    canvas_->selectionOnly = true;
    loadCanvasStyle(*canvas_);
    canvas_->selectMark(std::nullopt);
    toolbar_->selectTool(1);

    toolbar_->onLayoutChange = [this] { layoutContent(); };
    connectToolbar();
    showStyle();
    layoutContent();
    scroll_->verticalScrollBar()->setValue(0);

    startMonitoring();
    canvas_->setFocus();
}

LongScreenshotResult::~LongScreenshotResult() = default;

void LongScreenshotResult::showWindow() {
    if (isClosed())
        return;
    // On the display the user works on: where the capture was made, or
    // the pointer is.
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    if (screen) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
    show();
    raise();
    activateWindow();
    canvas_->setFocus();
}

void LongScreenshotResult::closeWindow() {
    canvas_->cancelText();
    edits_->clear();
    hide();
    if (onClose)
        onClose();
}

void LongScreenshotResult::closeEvent(QCloseEvent* event) {
    // The window manager's close button ends the window the same way as the
    // toolbar's "关闭"; the owner releases it after onClose.
    event->ignore();
    closeResult();
}

void LongScreenshotResult::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContent();
}

// The toolbar stays at the top; the scroll area fills the rest, 10 points
// from every edge and from the toolbar.
void LongScreenshotResult::layoutContent() {
    toolbar_->move(margin, margin);
    const int top = toolbar_->geometry().bottom() + 1 + margin;
    scroll_->setGeometry(margin, top, std::max(1, width() - 2 * margin),
                         std::max(1, height() - top - margin));
    setMinimumWidth(std::max(500, toolbar_->width()));
}

void LongScreenshotResult::selectTool(int index) {
    canvas_->commitText();
    canvas_->selectionOnly = index <= 1;
    if (index >= 2)
        canvas_->tool = toolForIndex(index).value_or(Tool::rectangle);
    canvas_->selectMark(std::nullopt);
    canvas_->setFocus();
}

bool LongScreenshotResult::pinPng(const QByteArray& png) {
    return onPin_ && onPin_(png);
}

// Keys and the wheel ----------------------------------------------------------------

bool LongScreenshotResult::eventFilter(QObject* watched, QEvent* event) {
    if (isClosed())
        return false;
    if (watched == canvas_ && event->type() == QEvent::Wheel) {
        // The wheel scrolls the long image; with Control it steps the style
        // as on the overlay, where there is nothing to scroll.
        auto* wheel = static_cast<QWheelEvent*>(event);
        if (wheel->modifiers() & Qt::ControlModifier)
            return false;
        QApplication::sendEvent(scroll_->viewport(), event);
        return true;
    }
    if (event->type() != QEvent::KeyPress)
        return false;
    auto* widget = qobject_cast<QWidget*>(watched);
    if (!widget || widget->window() != this)
        return false;
    return handleSharedKey(*static_cast<QKeyEvent*>(event), {}, true);
}

} // namespace korvel
