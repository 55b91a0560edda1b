#include "selectionview.h"

#include "childregionresolver.h"
#include "pixelmagnifier.h"
#include "platform/windowhints.h"
#include "selectionchrome.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QThreadPool>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

#include <chrono>
#include <cmath>

namespace korvel {
namespace {

constexpr double queryInterval = 0.06; // seconds between two queries of one view
constexpr double cacheAge = 1.0;       // seconds an answer is reused
constexpr double cacheRadius = 12;     // points around its query point
constexpr std::size_t cacheSize = 48;
constexpr double applyRadius = 8;      // pointer travel beyond which an answer is only cached
constexpr int maximumRetries = 3;      // re-queries at a still pointer, 0.5 s apart and growing
constexpr double debounce = 0.045;     // seconds before another candidate takes over
constexpr double edgeTolerance = 3;    // points outside a child that still keep it
constexpr double dragThreshold = 3;    // points of travel that make a press a drag
constexpr double minimumSelection = 3; // points in each dimension

double uptime() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

double distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
}

bool sameRect(const std::optional<QRectF>& a, const std::optional<QRectF>& b) {
    return a.has_value() == b.has_value() && (!a || *a == *b);
}

} // namespace

QThreadPool& childRegionQueue() {
    // Leaked: a query may still run while the application object goes away.
    static QThreadPool* queue = [] {
        auto* pool = new QThreadPool;
        pool->setObjectName(QStringLiteral("local.korvel.child-regions"));
        pool->setMaxThreadCount(1);
        return pool;
    }();
    return *queue;
}

std::vector<QRectF> rectsOutside(const QRectF& bounds, const std::vector<QRectF>& excluded) {
    std::vector<QRectF> pieces{bounds};
    for (const QRectF& cut : excluded) {
        std::vector<QRectF> next;
        for (const QRectF& r : pieces) {
            const QRectF i = r.intersected(cut);
            if (i.isEmpty()) {
                next.push_back(r);
                continue;
            }
            const QRectF parts[] = {
                QRectF(r.left(), r.top(), r.width(), i.top() - r.top()),
                QRectF(r.left(), i.bottom(), r.width(), r.bottom() - i.bottom()),
                QRectF(r.left(), i.top(), i.left() - r.left(), i.height()),
                QRectF(i.right(), i.top(), r.right() - i.right(), i.height()),
            };
            for (const QRectF& part : parts) {
                if (!part.isEmpty())
                    next.push_back(part);
            }
        }
        pieces = std::move(next);
    }
    return pieces;
}

WorkItem::WorkItem(QObject* owner)
    : timer_(owner) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, owner, [this] {
        // The work may schedule this item again.
        auto work = std::move(work_);
        work_ = nullptr;
        if (work)
            work();
    });
}

void WorkItem::schedule(double seconds, std::function<void()> work) {
    work_ = std::move(work);
    timer_.start(std::max(0, int(std::lround(seconds * 1000))));
}

void WorkItem::cancel() {
    timer_.stop();
    work_ = nullptr;
}

SelectionView::SelectionView(ScreenSnapshot snapshot, QWidget* parent)
    : QWidget(parent)
    , snapshot_(std::move(snapshot))
    , background_(snapshot_.image)
    , magnifier_(new PixelMagnifier(snapshot_.image, this))
    , sizeBadge_(new SelectionSizeBadge(this))
    , hoverWork_(this)
    , candidateWork_(this)
    , queryDelayWork_(this) {
    if (snapshot_.frame.width() > 0)
        background_.setDevicePixelRatio(background_.width() / snapshot_.frame.width());
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setCursor(Qt::CrossCursor);
    resize(snapshot_.frame.size().toSize());
    // The loupe above the badge.
    magnifier_->raise();
    updateSelectionLayers();
}

SelectionView::~SelectionView() = default;

QPointF SelectionView::toLocal(QPointF w) const {
    const QSize image = snapshot_.image.size();
    const double sx = image.width() > 0 && width() > 0 ? double(image.width()) / width() : 1;
    const double sy = image.height() > 0 && height() > 0 ? double(image.height()) / height() : 1;
    // The slack keeps a position that is exactly a pixel's edge at a
    // fractional scale from landing on the pixel before it.
    const double column = std::floor(w.x() * sx + 1e-6);
    const double row = std::floor(w.y() * sy + 1e-6);
    return QPointF((column + 0.5) / sx, height() - (row + 0.5) / sy);
}

QRectF SelectionView::toWidget(const QRectF& r) const {
    return QRectF(r.x(), height() - r.y() - r.height(), r.width(), r.height());
}

QPointF SelectionView::clampedPixel(QPointF widgetPoint) const {
    return toLocal(QPointF(std::clamp(widgetPoint.x(), 0.0, std::max(0.0, width() - 1e-3)),
                           std::clamp(widgetPoint.y(), 0.0, std::max(0.0, height() - 1e-3))));
}

QPointF SelectionView::clamped(QPointF widgetPoint) const {
    const QPointF p(widgetPoint.x(), height() - widgetPoint.y());
    return QPointF(std::clamp(p.x(), 0.0, double(width())),
                   std::clamp(p.y(), 0.0, double(height())));
}

std::optional<int> SelectionView::windowAt(QPointF p) const {
    if (!containsPoint(bounds(), p))
        return std::nullopt;
    for (std::size_t i = 0; i < snapshot_.windows.size(); ++i) {
        if (containsPoint(snapshot_.windows[i], p))
            return int(i);
    }
    return std::nullopt;
}

QRectF SelectionView::hoveredWindowRect() const {
    return hoverWindowIndex_ ? snapshot_.windows[std::size_t(*hoverWindowIndex_)] : QRectF();
}

std::optional<QRectF> SelectionView::highlight() const {
    if (selection)
        return selection;
    if (!selected)
        return hoveredWindow_;
    return std::nullopt;
}

void SelectionView::setHovered(std::optional<QRectF> rect) {
    if (sameRect(hoveredWindow_, rect))
        return;
    hoveredWindow_ = rect;
    updateSelectionLayers();
}

void SelectionView::updateSelectionLayers() {
    const std::optional<QRectF> now = highlight();
    sizeBadge_->update(now, snapshot_.frame.size(), snapshot_.image.size(), bounds());
    if (sameRect(now, painted_) && selected == paintedSelected_)
        return;
    repaintChange(painted_, now);
    painted_ = now;
    paintedSelected_ = selected;
}

void SelectionView::repaintChange(const std::optional<QRectF>& before,
                                  const std::optional<QRectF>& after) {
    // Outside both rectangles the shade stays as it is; the border reaches a
    // little past each edge.
    QRectF dirty;
    for (const auto& r : {before, after}) {
        if (r)
            dirty |= toWidget(*r).adjusted(-4, -4, 4, 4);
    }
    if (!before || !after)
        dirty = before || after ? dirty : QRectF(rect());
    update(dirty.toAlignedRect());
}

void SelectionView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(QPointF(0, 0), background_);
    const std::optional<QRectF> lit = painted_;
    const QColor shade(0, 0, 0, 102);
    for (const QRectF& piece : rectsOutside(QRectF(rect()), {lit ? toWidget(*lit) : QRectF()}))
        painter.fillRect(piece, shade);
    if (lit && !paintedSelected_)
        drawSelectionBorder(painter, toWidget(*lit));
}

// Hover ----------------------------------------------------------------------

void SelectionView::hoverUpdate(QPointF p) {
    if (selected || anchor_)
        return;
    // The re-asks for late answers belong to the point the pointer rests
    // on; spent on one element of a window they must not starve the next.
    if (hoverPoint_ != p)
        queryRetries_ = 0;
    hoverPoint_ = p;
    const bool inside = containsPoint(bounds(), p);
    if (inside)
        magnifier_->updateAt(p, bounds());
    else
        magnifier_->hide();

    const std::optional<int> index = windowAt(p);
    if (index != hoverWindowIndex_ || !hoveredWindow_) {
        ++hoverGeneration_;
        hoverWork_.cancel();
        candidateWork_.cancel();
        pendingCandidate_.reset();
        candidates_.clear();
        candidateIndex_ = 0;
        manuallySelectedCandidate_ = false;
        queryRetries_ = 0;
        hoverWindowIndex_ = index;
        if (!inside)
            setHovered(std::nullopt);
        else
            setHovered(index ? hoveredWindowRect() : bounds());
    }

    if (windowSelectionOnly_) {
        setHovered(index ? hoveredWindowRect() : bounds());
        return;
    }
    if (index) {
        const double now = uptime();
        for (auto it = regionCache_.rbegin(); it != regionCache_.rend(); ++it) {
            if (it->window != *index || now - it->time >= cacheAge ||
                distance(it->point, p) >= cacheRadius ||
                !sameRegionsAround(it->regions, it->point, p))
                continue;
            std::vector<QRectF> found = childRegionCandidates(it->regions, p, hoveredWindowRect());
            if (found.size() > 1) {
                candidates_ = std::move(found);
                if (!manuallySelectedCandidate_)
                    proposeCandidate(candidates_.front(), p);
                return;
            }
            break;
        }
    }
    queryChildRegions();
}

void SelectionView::queryChildRegions() {
    if (queryInFlight_ || windowSelectionOnly_ || selected || anchor_ || !hoverPoint_ ||
        !hoverWindowIndex_ || !snapshot_.childRegions)
        return;
    const double now = uptime();
    const double wait = lastQueryTime_ + queryInterval - now;
    if (wait > 0) {
        if (!queryDelayWork_.scheduled())
            queryDelayWork_.schedule(wait, [this] { queryChildRegions(); });
        return;
    }
    lastQueryTime_ = now;
    queryInFlight_ = true;
    const int window = *hoverWindowIndex_;
    const QPointF point = *hoverPoint_;
    const quint64 generation = hoverGeneration_;
    const QRectF windowRect = hoveredWindowRect();
    QPointer<SelectionView> self(this);
    childRegionQueue().start(
        [self, query = snapshot_.childRegions, window, point, generation, windowRect] {
            std::vector<QRectF> regions = query(window, point);
            QMetaObject::invokeMethod(
                qApp,
                [self, window, point, generation, windowRect, regions = std::move(regions)] {
                    if (self)
                        self->applyRegions(generation, window, point, windowRect, regions);
                },
                Qt::QueuedConnection);
        });
}

void SelectionView::applyRegions(quint64 generation, int window, QPointF queryPoint,
                                 QRectF windowRect, const std::vector<QRectF>& regions) {
    queryInFlight_ = false;
    if (selected || anchor_ || !hoverPoint_)
        return;
    if (generation != hoverGeneration_) {
        queryChildRegions();
        return;
    }
    if (regionCache_.size() >= cacheSize)
        regionCache_.erase(regionCache_.begin());
    regionCache_.push_back({window, queryPoint, regions, uptime()});

    const QPointF p = *hoverPoint_;
    std::vector<QRectF> found = childRegionCandidates(regions, p, windowRect);
    if (distance(p, queryPoint) <= applyRadius) {
        const bool keep = found.size() < 2 && !candidates_.empty() && hoveredWindow_ &&
                          containsPoint(*hoveredWindow_, p);
        if (!keep) {
            candidates_ = std::move(found);
            candidateIndex_ = 0;
            if (manuallySelectedCandidate_ && hoveredWindow_) {
                const auto equal =
                    std::find(candidates_.begin(), candidates_.end(), *hoveredWindow_);
                if (equal != candidates_.end())
                    candidateIndex_ = int(equal - candidates_.begin());
            }
            if (!candidates_.empty())
                proposeCandidate(candidates_[std::size_t(candidateIndex_)], p);
        }
    }
    if (p == queryPoint) {
        // Accessibility answers may arrive after the pixels: ask again a few
        // times while the pointer rests.
        if (queryRetries_ < maximumRetries) {
            ++queryRetries_;
            const quint64 current = hoverGeneration_;
            hoverWork_.schedule(queryRetries_ * 0.5, [this, current] {
                if (hoverGeneration_ == current)
                    queryChildRegions();
            });
        }
    } else {
        queryRetries_ = 0;
        queryChildRegions();
    }
}

void SelectionView::proposeCandidate(const QRectF& r, QPointF p) {
    const QRectF window = hoveredWindowRect();
    if (hoveredWindow_) {
        const QRectF& h = *hoveredWindow_;
        const bool edgeBand =
            h != window && !containsPoint(h, p) &&
            containsPoint(h.adjusted(-edgeTolerance, -edgeTolerance, edgeTolerance, edgeTolerance),
                          p);
        if (r == h || edgeBand) {
            candidateWork_.cancel();
            pendingCandidate_.reset();
            return;
        }
    }
    if (pendingCandidate_ && *pendingCandidate_ == r)
        return;
    candidateWork_.cancel();
    pendingCandidate_ = r;
    const quint64 generation = hoverGeneration_;
    candidateWork_.schedule(debounce, [this, generation, r] {
        if (generation != hoverGeneration_ || selected || anchor_ || !pendingCandidate_ ||
            *pendingCandidate_ != r)
            return;
        pendingCandidate_.reset();
        if (hoverPoint_ && containsPoint(r, *hoverPoint_))
            setHovered(r);
    });
}

void SelectionView::cancelAutomaticSelection() {
    ++hoverGeneration_;
    hoverWork_.cancel();
    candidateWork_.cancel();
    queryDelayWork_.cancel();
    pendingCandidate_.reset();
}

void SelectionView::exitReset() {
    if (selected || anchor_)
        return;
    ++hoverGeneration_;
    hoverWork_.cancel();
    candidateWork_.cancel();
    hoverPoint_.reset();
    hoverWindowIndex_.reset();
    pendingCandidate_.reset();
    setHovered(std::nullopt);
    candidates_.clear();
    magnifier_->hide();
}

void SelectionView::toggleWindowSelection() {
    if (selected || anchor_)
        return;
    windowSelectionOnly_ = !windowSelectionOnly_;
    cancelAutomaticSelection();
    candidates_.clear();
    manuallySelectedCandidate_ = false;
    setHovered(std::nullopt);
    if (hoverPoint_)
        hoverUpdate(*hoverPoint_);
}

void SelectionView::resetSelection() {
    cancelAutomaticSelection();
    anchor_.reset();
    selectionDragged_ = false;
    hoverPoint_.reset();
    hoverWindowIndex_.reset();
    hoveredWindow_.reset();
    candidates_.clear();
    candidateIndex_ = 0;
    manuallySelectedCandidate_ = false;
    queryRetries_ = 0;
    selection.reset();
    selected = false;
    updateSelectionLayers();
    magnifier_->hide();
    updateCursorAreas();
}

// Pointer --------------------------------------------------------------------

void SelectionView::enterEvent(QEnterEvent* event) {
    hoverUpdate(toLocal(event->position()));
}

void SelectionView::leaveEvent(QEvent*) {
    exitReset();
}

void SelectionView::wheelEvent(QWheelEvent* event) {
    const double delta = event->angleDelta().y();
    if (selected || windowSelectionOnly_ || anchor_ || candidates_.size() < 2 || delta == 0 ||
        std::isnan(delta))
        return;
    candidateWork_.cancel();
    pendingCandidate_.reset();
    manuallySelectedCandidate_ = true;
    // Smallest first, the window last: up goes outward.
    candidateIndex_ =
        std::clamp(candidateIndex_ + (delta > 0 ? 1 : -1), 0, int(candidates_.size()) - 1);
    setHovered(candidates_[std::size_t(candidateIndex_)]);
}

void SelectionView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || selected)
        return;
    window()->raise();
    window()->activateWindow();
    // The press anchors a drag at the pointer's corner and takes what lies
    // under its pixel.
    const QPointF corner = clamped(event->position());
    const QPointF p = clampedPixel(event->position());
    cancelAutomaticSelection();
    anchor_ = corner;

    const std::optional<int> index = windowAt(p);
    const bool hoverHolds = hoveredWindow_ && containsPoint(*hoveredWindow_, p);
    QRectF take = bounds();
    if (index && index != hoverWindowIndex_)
        take = snapshot_.windows[std::size_t(*index)];
    else if (index)
        take = hoverHolds ? *hoveredWindow_ : snapshot_.windows[std::size_t(*index)];
    else if (!hoverWindowIndex_ && hoverHolds)
        take = *hoveredWindow_;
    setHovered(take);

    selectionDragged_ = false;
    selection = hoveredWindow_;
    updateSelectionLayers();
    updateCursorAreas();
}

void SelectionView::dragTo(QPointF widgetPoint) {
    if (selected || !anchor_)
        return;
    magnifier_->updateAt(clampedPixel(widgetPoint), bounds());
    const QPointF p = clamped(widgetPoint);
    if (!selectionDragged_ && distance(p, *anchor_) < dragThreshold)
        return;
    selectionDragged_ = true;
    setHovered(std::nullopt);
    selection = QRectF(QPointF(std::min(p.x(), anchor_->x()), std::min(p.y(), anchor_->y())),
                       QPointF(std::max(p.x(), anchor_->x()), std::max(p.y(), anchor_->y())));
    updateSelectionLayers();
    updateCursorAreas();
}

void SelectionView::mouseMoveEvent(QMouseEvent* event) {
    if (anchor_) {
        dragTo(event->position());
    } else if (selected) {
        const QPointF p = toLocal(event->position());
        const bool blocked = std::any_of(blockedCursorRects_.begin(), blockedCursorRects_.end(),
                                         [p](const QRectF& r) { return containsPoint(r, p); });
        setCursor(blocked ? Qt::ForbiddenCursor : Qt::ArrowCursor);
    } else {
        hoverUpdate(toLocal(event->position()));
    }
}

void SelectionView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || selected || !anchor_)
        return;
    dragTo(event->position());
    if (!selectionDragged_) {
        selection = hoveredWindow_;
        updateSelectionLayers();
        updateCursorAreas();
    }
    anchor_.reset();
    if (selection && selection->width() >= minimumSelection &&
        selection->height() >= minimumSelection) {
        selected = true;
        cancelAutomaticSelection();
        magnifier_->hide();
        updateSelectionLayers();
        if (onSelect)
            onSelect(*selection);
        return;
    }
    selection.reset();
    updateSelectionLayers();
    updateCursorAreas();
    hoverUpdate(toLocal(event->position()));
}

// Cursor areas ------------------------------------------------------------------

void SelectionView::setToolbar(QWidget* toolbar) {
    toolbar_ = toolbar;
    updateCursorAreas();
}

void SelectionView::updateCursorAreas() {
    if (!selected) {
        blockedCursorRects_.clear();
        setCursor(Qt::CrossCursor);
        return;
    }
    std::vector<QRectF> excluded;
    if (selection)
        excluded.push_back(selection->adjusted(-8, -8, 8, 8));
    for (QObject* child : children()) {
        auto* w = qobject_cast<QWidget*>(child);
        const bool counts =
            w && w->isVisible() && (w == toolbar_ || (w == sizeBadge_ && sizeBadge_->onEdit));
        if (counts)
            excluded.push_back(toWidget(QRectF(w->geometry()))); // the flip is its own inverse
    }
    blockedCursorRects_ = rectsOutside(bounds(), excluded);
    setCursor(Qt::ArrowCursor);
}

// Window -----------------------------------------------------------------------

OverlayWindow::OverlayWindow(ScreenSnapshot snapshot)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint)
    , edits_(new QUndoStack(this)) {
    setWindowTitle(QStringLiteral("Korvel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    showSnapshot(std::move(snapshot));
}

void OverlayWindow::showSnapshot(ScreenSnapshot snapshot) {
    const QRect geometry = QRectF(snapshot.screenOrigin, snapshot.frame.size()).toAlignedRect();
    delete view_;
    view_ = new SelectionView(std::move(snapshot), this);
    layout()->addWidget(view_);
    setGeometry(geometry);
    setFocusProxy(view_);
}

void OverlayWindow::present() {
    if (!compositorPlacesWindows()) {
        show();
        return;
    }
    // Qt keeps the geometry as its idea of where the window is, so global
    // positions of events still follow the layout.
    const QRect area = geometry();
    if (QScreen* screen = QGuiApplication::screenAt(area.center()))
        setScreen(screen);
    setGeometry(area);
    showFullScreen();
}

namespace {

struct KeptOverlays {
    bool reuse = false;
    std::vector<OverlayWindow*> windows;
};

KeptOverlays& kept() {
    static KeptOverlays store;
    return store;
}

} // namespace

OverlayWindow* OverlayWindow::obtain(ScreenSnapshot snapshot) {
    std::vector<OverlayWindow*>& windows = kept().windows;
    const QRect geometry = QRectF(snapshot.screenOrigin, snapshot.frame.size()).toAlignedRect();
    const auto same = std::find_if(windows.begin(), windows.end(),
                                   [&](OverlayWindow* w) { return w->geometry() == geometry; });
    if (same == windows.end())
        return new OverlayWindow(std::move(snapshot));
    OverlayWindow* window = *same;
    windows.erase(same);
    window->showSnapshot(std::move(snapshot));
    return window;
}

void OverlayWindow::giveBack(OverlayWindow* window) {
    if (!window)
        return;
    KeptOverlays& store = kept();
    const bool taken =
        std::any_of(store.windows.begin(), store.windows.end(),
                    [&](OverlayWindow* w) { return w->geometry() == window->geometry(); });
    if (!store.reuse || taken) {
        delete window;
        return;
    }
    window->hide();
    window->edits_->clear();
    // The frozen pixels and the marks go now; only the window and its
    // backing store stay.
    delete window->view_;
    window->view_ = nullptr;
    store.windows.push_back(window);
}

void OverlayWindow::setReuse(bool reuse) {
    kept().reuse = reuse;
    if (!reuse)
        releaseKept();
}

void OverlayWindow::releaseKept() {
    for (OverlayWindow* window : std::exchange(kept().windows, {}))
        delete window;
}

} // namespace korvel
