#include "annotationhost.h"

#include "annotationtoolbar.h"
#include "canvas.h"
#include "canvasstyle.h"
#include "export/screenshotexport.h"
#include "history/screenshothistory.h"
#include "platform/clipboard.h"
#include "platform/pngcheck.h"

#include <QApplication>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTextEdit>
#include <QUndoStack>

namespace korvel {
namespace {

bool isTextInput(const QWidget* w) {
    return qobject_cast<const QLineEdit*>(w) || qobject_cast<const QPlainTextEdit*>(w) ||
           qobject_cast<const QTextEdit*>(w);
}

} // namespace

AnnotationHost::AnnotationHost(QObject& owner, AnnotationServices services)
    : services_(std::move(services))
    , owner_(owner) {}

AnnotationHost::~AnnotationHost() {
    stopMonitoring();
}

void AnnotationHost::startMonitoring() {
    if (monitoring_)
        return;
    qApp->installEventFilter(&owner_);
    monitoring_ = true;
}

void AnnotationHost::stopMonitoring() {
    if (!monitoring_)
        return;
    qApp->removeEventFilter(&owner_);
    monitoring_ = false;
}

void AnnotationHost::closeHost() {
    if (closed_)
        return;
    closed_ = true;
    stopMonitoring();
    closeWindow();
}

int AnnotationHost::runModal(QDialog& dialog) {
    return services_.runModal ? services_.runModal(dialog) : dialog.exec();
}

// Toolbar and style -------------------------------------------------------------------

void AnnotationHost::connectToolbar() {
    connectStyleControls(
        *toolbar_, *canvas_, [this](int index) { selectTool(index); }, [this] { rememberStyle(); });
    toolbar_->onUndo = [this] {
        if (QUndoStack* stack = edits())
            stack->undo();
    };
    toolbar_->onRedo = [this] {
        if (QUndoStack* stack = edits())
            stack->redo();
    };
    toolbar_->onPin = [this] { pin(); };
    toolbar_->onSave = [this] { save(); };
    toolbar_->onCopy = [this] { copy(); };
    toolbar_->onClose = [this] { closeHost(); };
    toolbar_->onOCR = [this](bool copyAtOnce) { recognizeText(copyAtOnce); };
    canvas_->onCopy = [this] { copy(); };
    canvas_->onStyleChange = [this] {
        showStyle();
        rememberStyle();
    };
}

void AnnotationHost::showStyle() {
    if (toolbar_ && canvas_)
        showCanvasStyle(*toolbar_, *canvas_);
}

void AnnotationHost::rememberStyle() {
    if (remembersStyle_ && canvas_)
        rememberCanvasStyle(*canvas_);
}

// Results ---------------------------------------------------------------------------

void AnnotationHost::copy() {
    if (!canvas_ || closed_)
        return;
    const std::optional<QByteArray> png = canvas_->png();
    if (!png)
        return;
    const bool done = services_.history ? ScreenshotExport::copy(*png, *services_.history)
                                        : Clipboard::copyPng(*png);
    if (done)
        copied();
}

void AnnotationHost::copied() {
    if (services_.copyCloses && services_.copyCloses())
        closeHost();
    else if (toolbar_)
        toolbar_->flashCopied();
}

void AnnotationHost::save() {
    if (!canvas_ || closed_ || busy_)
        return;
    busy_ = true;
    canvas_->commitText();
    stepAside(true);
    std::unique_ptr<QFileDialog> panel = ScreenshotExport::savePanel();
    const bool chosen = runModal(*panel) == QDialog::Accepted && !panel->selectedFiles().isEmpty();
    bool saved = false;
    if (chosen) {
        // An image too large to render is a failed save the user hears of,
        // not a panel that closes on nothing.
        const std::optional<QByteArray> png = canvas_->png();
        const QString path = panel->selectedFiles().constFirst();
        std::optional<QString> error = QStringLiteral("保存失败：内存不足，无法生成图片。");
        if (png)
            error = services_.history ? ScreenshotExport::save(*png, path, *services_.history)
                                      : ScreenshotExport::writePng(*png, path);
        if (error) {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"), *error, {},
                            alertParent());
            box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
            runModal(box);
        }
        saved = !error;
    }
    busy_ = false;
    if (saved)
        closeHost();
    else
        stepAside(false);
}

void AnnotationHost::pin() {
    if (!canvas_ || closed_ || busy_)
        return;
    const std::optional<QByteArray> png = canvas_->png();
    if (!png || !pinPng(*png))
        return;
    if (services_.history)
        services_.history->record(*png);
    closeHost();
}

void AnnotationHost::recognizeText(bool copyWhenReady) {
    if (!canvas_ || closed_ || busy_ || !services_.recognizeText)
        return;
    const std::optional<QByteArray> png = canvas_->png();
    if (!png)
        return;
    const QImage image = decodedPng(*png);
    if (image.isNull())
        return;
    const bool aside = stepsAside();
    if (aside) {
        busy_ = true;
        stepAside(true);
    }
    QPointer<QObject> owner(&owner_);
    services_.recognizeText(
        image, copyWhenReady,
        [this, owner] {
            if (owner && !closed_)
                copied();
        },
        [this, owner, aside] {
            if (!owner || !aside)
                return;
            busy_ = false;
            if (!closed_)
                stepAside(false);
        });
}

// Keys ------------------------------------------------------------------------------

bool AnnotationHost::typing() const {
    return (canvas_ && canvas_->textField()) || isTextInput(QApplication::focusWidget());
}

bool AnnotationHost::handleSharedKey(QKeyEvent& event, const std::function<bool()>& ownKeys,
                                     bool anyReturn) {
    if (typing())
        return false;
    if (toolbar_ && toolbar_->handleShortcut(event))
        return true;
    if (ownKeys && ownKeys())
        return true;
    const int key = event.key();
    // A key held since before this window appeared repeats into it; only a
    // fresh press closes or copies.
    if ((key == Qt::Key_Escape || key == Qt::Key_Return || key == Qt::Key_Enter) &&
        event.isAutoRepeat())
        return true;
    if (key == Qt::Key_Escape) {
        closeHost();
        return true;
    }
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) &&
        (anyReturn || !(event.modifiers() & editingModifiers))) {
        copy();
        return true;
    }
    return false;
}

} // namespace korvel
