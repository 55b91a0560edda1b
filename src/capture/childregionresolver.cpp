#include "childregionresolver.h"

#include "visualchildregions.h"

#include <chrono>

#include <algorithm>
#include <cmath>
#include <iterator>

namespace korvel {
namespace {

constexpr double answerRadius = 12;  // points
constexpr double answerMaxAge = 1.0; // seconds
constexpr size_t answerLimit = 48;

bool containsWithin(const QRectF& outer, const QRectF& inner, double slack) {
    return outer.adjusted(-slack, -slack, slack, slack).contains(inner);
}

// An element whose bounds cut through a panel the pixels show, neither
// holding it nor lying in it, is not where the application says: browsers
// report stale bounds for their pages (a box at the window's corner, half
// over the toolbar). Elements the pixels cannot tell apart (flat panels)
// cross nothing and stay.
bool agreesWithPixels(const QRectF& element, const std::vector<QRectF>& visual) {
    constexpr double slack = 3;
    return std::none_of(visual.begin(), visual.end(), [&](const QRectF& v) {
        const QRectF common = element.intersected(v);
        const double smaller = std::min(element.width() * element.height(), v.width() * v.height());
        return common.width() * common.height() > 0.1 * smaller &&
               !containsWithin(element, v, slack) && !containsWithin(v, element, slack);
    });
}

} // namespace

double uptime() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

ChildAccessibilityWorker& ChildAccessibilityWorker::shared() {
    // Never destroyed: a query hanging on another application may still run
    // when the process exits, and waiting for it there would stall the exit.
    static auto* worker = new ChildAccessibilityWorker;
    return *worker;
}

ChildAccessibilityWorker::ChildAccessibilityWorker() {
    queue_.setMaxThreadCount(1);
    queue_.setExpiryTimeout(-1);
    queue_.setObjectName(QStringLiteral("local.korvel.accessibility"));
}

bool ChildAccessibilityWorker::submit(std::function<void()> job) {
    {
        std::lock_guard guard(lock_);
        if (busy_)
            return false;
        busy_ = true;
    }
    queue_.start([this, job = std::move(job)] {
        job();
        std::lock_guard guard(lock_);
        busy_ = false;
        idle_.notify_all();
    });
    return true;
}

bool ChildAccessibilityWorker::busy() const {
    std::lock_guard guard(lock_);
    return busy_;
}

bool ChildAccessibilityWorker::waitForIdle(std::chrono::milliseconds timeout) {
    std::unique_lock guard(lock_);
    return idle_.wait_for(guard, timeout, [this] { return !busy_; });
}

ChildRegionResolver::ChildRegionResolver(QImage image, std::vector<ChildRegionTarget> targets,
                                         QRectF screen, ChildAccessibilityWorker& worker,
                                         AccessibilityQuery accessibility, Clock clock)
    : image_(std::move(image))
    , targets_(std::move(targets))
    , screen_(screen)
    , worker_(worker)
    , accessibility_(std::move(accessibility))
    , clock_(clock ? std::move(clock) : Clock(uptime))
    , visualCache_(targets_.size()) {}

std::vector<QRectF> ChildRegionResolver::regions(int index, QPointF point) {
    if (index < 0 || size_t(index) >= targets_.size())
        return {};
    const ChildRegionTarget target = targets_[size_t(index)];

    std::optional<std::vector<QRectF>> visual;
    {
        std::lock_guard guard(lock_);
        visual = visualCache_[size_t(index)];
    }
    if (!visual) {
        // Two first queries may both compute; their results are equal.
        visual = visualChildRegions(image_, screen_.size(), target.rect);
        std::lock_guard guard(lock_);
        visualCache_[size_t(index)] = visual;
    }

    std::optional<Answer> cached;
    {
        std::lock_guard guard(lock_);
        for (auto it = accessibleCache_.rbegin(); it != accessibleCache_.rend(); ++it) {
            if (it->index == index &&
                std::hypot(it->point.x() - point.x(), it->point.y() - point.y()) < answerRadius &&
                sameRegionsAround(it->regions, it->point, point)) {
                cached = *it;
                break;
            }
        }
    }

    if (accessibility_ && target.pid > 0 && !(cached && clock_() - cached->time <= answerMaxAge)) {
        std::weak_ptr<ChildRegionResolver> weak = weak_from_this();
        worker_.submit([weak, query = accessibility_, index, point, target] {
            std::vector<QRectF> found = query(target.pid, point, target.rect);
            if (auto self = weak.lock())
                self->store(index, point, std::move(found));
        });
    }

    std::vector<QRectF> result;
    if (cached) {
        std::copy_if(cached->regions.begin(), cached->regions.end(), std::back_inserter(result),
                     [&](const QRectF& r) { return agreesWithPixels(r, *visual); });
    }
    result.insert(result.end(), visual->begin(), visual->end());
    return result;
}

void ChildRegionResolver::store(int index, QPointF point, std::vector<QRectF> regions) {
    std::lock_guard guard(lock_);
    if (accessibleCache_.size() >= answerLimit)
        accessibleCache_.erase(accessibleCache_.begin());
    accessibleCache_.push_back({index, point, std::move(regions), clock_()});
}

bool containsPoint(const QRectF& r, QPointF p) {
    return p.x() >= r.left() && p.x() < r.right() && p.y() >= r.top() && p.y() < r.bottom();
}

bool sameRegionsAround(const std::vector<QRectF>& regions, QPointF asked, QPointF now) {
    return std::all_of(regions.begin(), regions.end(), [&](const QRectF& r) {
        return containsPoint(r, asked) == containsPoint(r, now);
    });
}

std::vector<QRectF> childRegionCandidates(const std::vector<QRectF>& regions, QPointF point,
                                          const QRectF& window) {
    std::vector<QRectF> kept;
    for (const QRectF& region : regions) {
        const QRectF c = region.intersected(window);
        if (c.isEmpty())
            continue;
        const double shorter = std::min(c.width(), c.height());
        const double longer = std::max(c.width(), c.height());
        if (shorter >= 60 && longer >= 100 && c.width() * c.height() >= 8000 &&
            containsPoint(c, point) && c != window &&
            std::find(kept.begin(), kept.end(), c) == kept.end())
            kept.push_back(c);
    }
    std::stable_sort(kept.begin(), kept.end(), [](const QRectF& a, const QRectF& b) {
        return a.width() * a.height() < b.width() * b.height();
    });
    kept.push_back(window);
    return kept;
}

} // namespace korvel
