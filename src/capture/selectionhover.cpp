// Hovering on a selection view: which window or panel the pointer is over,
// the child-region queries behind it and the wheel stepping between them.
#include "selectionview.h"

#include "childregionresolver.h"
#include "pixelmagnifier.h"

#include <QApplication>
#include <QThreadPool>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

constexpr double queryInterval = 0.06; // seconds between two queries of one view
constexpr double cacheAge = 1.0;       // seconds an answer is reused
constexpr double cacheRadius = 12;     // points around its query point
constexpr std::size_t cacheSize = 48;
constexpr double applyRadius = 8;   // pointer travel beyond which an answer is only cached
constexpr int maximumRetries = 3;   // re-queries at a still pointer, 0.5 s apart and growing
constexpr double debounce = 0.045;  // seconds before another candidate takes over
constexpr double edgeTolerance = 3; // points outside a child that still keep it

double distance(QPointF a, QPointF b) {
    return std::hypot(a.x() - b.x(), a.y() - b.y());
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

} // namespace korvel
