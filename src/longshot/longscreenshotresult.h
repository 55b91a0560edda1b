#pragma once

#include "annotate/annotationhost.h"

#include <QImage>
#include <QWidget>

#include <functional>

class QScrollArea;

namespace korvel {

// What a result window needs from the rest of the application.
using LongScreenshotServices = AnnotationServices;

// An ordinary window in which a long image (or any image handed to it) is
// annotated with the overlay editor's canvas and toolbar, then copied, saved,
// pinned or passed to text recognition. The canvas sits in a scroll area,
// scaled down to fit 880 points of width; it paints only what is exposed, so
// images of tens of thousands of rows scroll freely.
class LongScreenshotResult final : public QWidget, public AnnotationHost {
    Q_OBJECT

public:
    // `onPin` takes the PNG and returns whether a pin was made; without it
    // the toolbar's "贴图" is disabled.
    LongScreenshotResult(const QImage& image, const QString& title,
                         std::function<bool(const QByteArray& png)> onPin,
                         LongScreenshotServices services);
    ~LongScreenshotResult() override;

    // Called once, when the window has closed.
    std::function<void()> onClose;

    void showWindow();
    // The close button comes here too; runs once.
    void closeResult() { closeHost(); }
    void selectTool(int index) override;

    QScrollArea* scrollArea() const { return scroll_; }
    QUndoStack* edits() const override { return edits_; }
    // Points per image pixel: min(880 / image width, 1).
    double scale() const { return scale_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void closeWindow() override;
    bool pinPng(const QByteArray& png) override;
    QWidget* alertParent() override { return this; }

private:
    void layoutContent();

    std::function<bool(const QByteArray&)> onPin_;
    QUndoStack* edits_;
    QScrollArea* scroll_;
    double scale_ = 1;
};

} // namespace korvel
