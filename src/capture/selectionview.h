#pragma once

#include "screensnapshot.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QThreadPool;

namespace korvel {

class PixelMagnifier;
class SelectionSizeBadge;

// The one serial queue on which every overlay's child-region queries run.
QThreadPool& childRegionQueue();

// The parts of `bounds` left after cutting out every excluded rectangle, as
// non-overlapping pieces (below, above, left, right of each cut).
std::vector<QRectF> rectsOutside(const QRectF& bounds, const std::vector<QRectF>& excluded);

// A cancellable piece of main-thread work run once after a delay. Owned by
// the view it works on, so a destroyed view's work never runs.
class WorkItem {
public:
    explicit WorkItem(QObject* owner);
    void schedule(double seconds, std::function<void()> work);
    void cancel();
    bool scheduled() const { return timer_.isActive(); }

private:
    QTimer timer_;
    std::function<void()> work_;
};

// One display's frozen snapshot, on which the user picks a window, a panel
// inside it, or drags a free rectangle. Geometry is display-local points
// (origin at the bottom left, y up), as everywhere in a capture.
class SelectionView final : public QWidget {
    Q_OBJECT

public:
    explicit SelectionView(ScreenSnapshot snapshot, QWidget* parent = nullptr);
    ~SelectionView() override;

    const ScreenSnapshot& snapshot() const { return snapshot_; }
    PixelMagnifier* magnifier() const { return magnifier_; }
    SelectionSizeBadge* sizeBadge() const { return sizeBadge_; }
    QRectF bounds() const { return QRectF(0, 0, width(), height()); }

    // Called once per lock, on release, with the locked selection.
    std::function<void(const QRectF&)> onSelect;

    std::optional<QRectF> selection;
    bool selected = false;
    const std::optional<QRectF>& hoveredWindow() const { return hoveredWindow_; }
    const std::vector<QRectF>& candidates() const { return candidates_; }
    int candidateIndex() const { return candidateIndex_; }
    bool windowSelectionOnly() const { return windowSelectionOnly_; }
    bool queryInFlight() const { return queryInFlight_; }
    int queryRetries() const { return queryRetries_; }
    bool pressing() const { return anchor_.has_value(); }

    void hoverUpdate(QPointF p);
    void toggleWindowSelection();
    void resetSelection();
    void cancelAutomaticSelection();
    // Repaints what the selection, the highlight or the lock changed.
    void updateSelectionLayers();
    // Which cursor each part shows follows the lock, the selection and the
    // toolbar; the editor tells the view about its toolbar.
    void setToolbar(QWidget* toolbar);
    void updateCursorAreas();

    // The display-local centre of the snapshot pixel under a pointer at
    // widgetPoint (y down). Hover, hit tests and the loupe use it: a pixel's
    // centre lies inside exactly the rectangles that cover the pixel, while
    // the flipped pixel corner would be the top edge of the pixel and fall
    // into the row above.
    QPointF toLocal(QPointF widgetPoint) const;
    QRectF toWidget(const QRectF& local) const;

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct CachedRegions {
        int window;
        QPointF point;
        std::vector<QRectF> regions;
        double time;
    };

    // The pointer as a corner of a dragged rectangle, clamped to the bounds.
    QPointF clamped(QPointF widgetPoint) const;
    // The centre of the pixel under the pointer, the pointer held inside.
    QPointF clampedPixel(QPointF widgetPoint) const;
    std::optional<int> windowAt(QPointF p) const;
    QRectF hoveredWindowRect() const;
    void setHovered(std::optional<QRectF> rect);
    void dragTo(QPointF widgetPoint);
    void queryChildRegions();
    void applyRegions(quint64 generation, int window, QPointF queryPoint, QRectF windowRect,
                      const std::vector<QRectF>& regions);
    void proposeCandidate(const QRectF& r, QPointF p);
    void exitReset();
    std::optional<QRectF> highlight() const;
    void repaintChange(const std::optional<QRectF>& before, const std::optional<QRectF>& after);

    const ScreenSnapshot snapshot_;
    QImage background_;
    PixelMagnifier* magnifier_;
    SelectionSizeBadge* sizeBadge_;
    QPointer<QWidget> toolbar_;
    std::optional<QPointF> anchor_;
    std::optional<QRectF> hoveredWindow_;
    std::optional<QRectF> painted_; // the highlight as last painted
    bool paintedSelected_ = false;
    bool selectionDragged_ = false;
    std::optional<QPointF> hoverPoint_;
    quint64 hoverGeneration_ = 0;
    WorkItem hoverWork_;
    std::vector<QRectF> candidates_;
    int candidateIndex_ = 0;
    bool manuallySelectedCandidate_ = false;
    bool queryInFlight_ = false;
    bool windowSelectionOnly_ = false;
    std::optional<int> hoverWindowIndex_;
    int queryRetries_ = 0;
    std::optional<QRectF> pendingCandidate_;
    WorkItem candidateWork_;
    WorkItem queryDelayWork_;
    double lastQueryTime_ = 0;
    std::vector<CachedRegions> regionCache_; // oldest first
    std::vector<QRectF> blockedCursorRects_;
};

} // namespace korvel
