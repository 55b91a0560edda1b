#pragma once

#include <QImage>
#include <QPointF>
#include <QRectF>
#include <QThreadPool>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

namespace korvel {

// The one accessibility worker of the process: it runs at most one query at a
// time and refuses new ones while busy, so an application whose accessibility
// server hangs can neither block hovering nor pile up work.
class ChildAccessibilityWorker {
public:
    static ChildAccessibilityWorker& shared();

    // True when the job was accepted; false (and the job dropped) when busy.
    bool submit(std::function<void()> job);
    bool busy() const;
    // For shutdown and tests: true when no job runs within `timeout`.
    bool waitForIdle(std::chrono::milliseconds timeout);

    ChildAccessibilityWorker();

private:
    mutable std::mutex lock_;
    std::condition_variable idle_;
    bool busy_ = false;
    // One thread that never expires: every element call comes from it.
    QThreadPool queue_;
};

// A window of the display and the process that owns it.
struct ChildRegionTarget {
    QRectF rect; // display-local points
    qint32 pid = 0;
};

// (pid, display-local point, display-local window) → element rectangles.
using AccessibilityQuery =
    std::function<std::vector<QRectF>(qint32 pid, QPointF point, const QRectF& window)>;

// Seconds on the monotonic clock since boot, for the ages of hover answers:
// never near zero, so a first query is never held back as if one came just
// before.
double uptime();

// Answers, for the hover machinery, which panels inside window i contain a
// point: at once from the pixels (computed once per window) and, when an
// accessibility query is present, from answers of the worker that arrive
// later. Safe to query from a background thread.
class ChildRegionResolver : public std::enable_shared_from_this<ChildRegionResolver> {
public:
    using Clock = std::function<double()>; // seconds of uptime

    ChildRegionResolver(QImage image, std::vector<ChildRegionTarget> targets, QRectF screen,
                        ChildAccessibilityWorker& worker, AccessibilityQuery accessibility,
                        Clock clock = {});

    // Accessibility rectangles first, then visual ones; never blocks on
    // accessibility.
    std::vector<QRectF> regions(int index, QPointF point);

private:
    struct Answer {
        int index;
        QPointF point;
        std::vector<QRectF> regions;
        double time;
    };
    void store(int index, QPointF point, std::vector<QRectF> regions);

    const QImage image_;
    const std::vector<ChildRegionTarget> targets_;
    const QRectF screen_;
    ChildAccessibilityWorker& worker_;
    const AccessibilityQuery accessibility_;
    const Clock clock_;
    std::mutex lock_; // never held across image analysis or accessibility calls
    std::vector<std::optional<std::vector<QRectF>>> visualCache_;
    std::vector<Answer> accessibleCache_; // oldest first
};

// The ordered hover candidates: usable regions around the point, smallest
// first, and always the window itself last.
std::vector<QRectF> childRegionCandidates(const std::vector<QRectF>& regions, QPointF point,
                                          const QRectF& window);

// Whether r contains p, with its maximum edges open.
bool containsPoint(const QRectF& r, QPointF p);

// Whether an answer found at `asked` also describes `now`: the same regions
// contain both points. A pointer that crossed into another element of the
// window needs a new answer, however near it still is.
bool sameRegionsAround(const std::vector<QRectF>& regions, QPointF asked, QPointF now);

} // namespace korvel
