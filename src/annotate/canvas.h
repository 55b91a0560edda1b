#pragma once

#include "annotationtextview.h"
#include "capture/selectionadjustment.h"
#include "mark.h"
#include "privacyeffects.h"

#include <QElapsedTimer>
#include <QImage>
#include <QPointer>
#include <QUndoStack>
#include <QWidget>

#include <functional>
#include <map>
#include <optional>

namespace korvel {

// The view on which a captured image is annotated. View space is the
// widget's own points with the origin at the lower left and y up; marks live
// in annotation space = view space + annotationOrigin, so a host can re-frame
// the canvas over another part of the same image without touching the marks.
class Canvas final : public QWidget {
    Q_OBJECT

public:
    // `pixels` is the image's size in pixels, the size of the export. Edits
    // are recorded on `undoStack`, which the host's window owns.
    Canvas(QImage image, QSize pixels, QUndoStack* undoStack, QWidget* parent = nullptr);
    ~Canvas() override;

    // Style of the next mark; hosts write these directly.
    Tool tool = Tool::rectangle;
    MosaicMode mosaicMode = MosaicMode::brush;
    bool selectionOnly = false;
    QPointF annotationOrigin;
    QColor ink;
    double strokeWidth = 3;
    double fontSize = 24;

    std::function<void()> onStyleChange;
    std::function<void()> onCopy;

    const QList<Mark>& marks() const { return marks_; }
    const std::optional<Mark>& draft() const { return draft_; }
    std::optional<int> selectedMarkIndex() const { return selected_; }
    QSize pixelSize() const { return QSize(pixelWidth_, pixelHeight_); }
    const QImage& image() const { return image_; }
    AnnotationTextView* textField() const { return textField_; }
    const PrivacyTileCache& privacyCache() const { return privacyCache_; }

    // Replaces the background (the host re-cropped it); the tile cache goes.
    void setImage(QImage image, QSize pixels);

    // Places the view at `frame` in its parent's coordinates. Widgets have
    // whole-point geometry, so the widget covers the frame rounded outwards
    // and the view's bounds keep the frame's exact place and size inside it:
    // a selection that starts or ends on a half point still shows its pixels
    // one to one.
    void setFrame(const QRectF& frame);
    // The view's bounds, in widget coordinates.
    QRectF viewRect() const;

    // Sets the cursor for the pointer's current place; hosts call it after
    // changing `tool`, `mosaicMode` or `selectionOnly`.
    void updateCursorAreas();

    // The annotated image at its full pixel size, as PNG; none on failure.
    std::optional<QByteArray> png();
    // The same image before encoding; null on failure.
    QImage renderImage();

    void selectMark(std::optional<int> index);
    void applyStyle(std::optional<QColor> color, std::optional<double> width);
    void applyFontSize(double size);
    void adjustStyleByWheel(double delta);
    void beginText(QPointF point, std::optional<int> index);
    void commitText();
    void cancelText();

    // The operations undo and redo are made of; each selects as the user
    // would expect after it.
    void removeLastMark();
    void restore(const Mark& mark);
    void replaceMark(int index, const Mark& mark);
    void removeMark(int index);
    void insertMark(int index, const Mark& mark);

    // Widget coordinates (y down) to annotation space and back.
    QPointF toAnnotation(QPointF widgetPoint) const;
    QPointF toWidget(QPointF annotationPoint) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    struct MarkDrag {
        int index;
        QPointF start;
        Mark original;
    };

    QPointF pointerPosition(QPointF widgetPoint) const;
    double viewWidth() const { return viewRect().width(); }
    double viewHeight() const { return viewRect().height(); }
    QRectF limits() const;
    // The mosaic brush paints on every press; marks are not hit-tested.
    bool brushActive() const;
    std::optional<QPointF> beginPress(QMouseEvent* event);
    Mark styledMark(Tool markTool, QList<QPointF> points) const;
    void dragTo(QPointF p, bool shift);
    // `exposed` (relative to the view's bounds) limits the work to what is
    // repainted;
    // marks wholly outside it are skipped.
    void paintMarks(QPainter& painter, bool onScreen, std::optional<QRectF> exposed = {});
    void drawMark(QPainter& painter, const Mark& mark, bool onScreen,
                  std::optional<QRectF> exposed = {});
    bool drawSprite(QPainter& painter, const Mark& mark);
    void drawSelectionDecoration(QPainter& painter, const Mark& mark);
    void updateCursor(QPointF widgetPoint);
    void refitTextField();
    void detachTextField();
    Mark textMarkAt(QPointF origin, const QString& text) const;
    bool validIndex(std::optional<int> index) const;
    void push(QUndoCommand* command);

    QImage image_;
    // The image shrunk smoothly to the view, in bands of rows, for a view
    // smaller than the image (the long image in its window): sampled
    // without smoothing, text there falls apart. Keyed by band; made anew
    // when the view's width changes.
    mutable std::map<int, QImage> shrunkBands_;
    mutable int shrunkWidth_ = 0;
    void paintShrunk(QPainter& painter, const QRectF& exposed, const QRectF& view,
                     double ratio) const;
    PrivacyTileCache privacyCache_;
    // Vector marks rendered once at the screen's pixel scale, so that a
    // repaint blits them instead of rasterising every stroke again.
    QHash<quint64, QImage> sprites_;
    qint64 spriteBytes_ = 0;
    int pixelWidth_ = 0;
    int pixelHeight_ = 0;
    bool opaque_ = true;
    // The exact frame a host gave; it holds while the widget keeps the size
    // that frame was given.
    std::optional<QRectF> frame_;
    QList<Mark> marks_;
    std::optional<Mark> draft_;
    std::optional<int> selected_;
    QPointer<AnnotationTextView> textField_;
    std::optional<int> textIndex_;
    QElapsedTimer lastWheelChange_;
    std::optional<int> arrowEndpoint_;
    std::optional<SelectionHandle> resizeHandle_;
    std::optional<MarkDrag> markDrag_;
    QPointer<QUndoStack> undoStack_;
};

} // namespace korvel
