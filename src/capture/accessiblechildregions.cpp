#include "accessiblechildregions.h"

#include "childregionresolver.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>
#include <set>

namespace korvel {
namespace {

using std::chrono::steady_clock;

constexpr auto budget = std::chrono::milliseconds(600);
constexpr int maxAncestors = 12;
constexpr int maxVisited = 96;
constexpr int maxDepth = 16;
constexpr double edgeSlack = 4; // points

template <typename T> bool contains(const std::vector<T>& list, const T& value) {
    return std::find(list.begin(), list.end(), value) != list.end();
}

// Each edge of a within 4 points of the same edge of b.
bool edgesNear(const QRectF& a, const QRectF& b) {
    return std::abs(a.left() - b.left()) < edgeSlack &&
           std::abs(a.right() - b.right()) < edgeSlack && std::abs(a.top() - b.top()) < edgeSlack &&
           std::abs(a.bottom() - b.bottom()) < edgeSlack;
}

class Reader {
public:
    Reader(AccessibilityTree& tree, const AccessibilityPlacement& placement,
           std::optional<QRectF> window, AccessibleElement app)
        : tree_(tree)
        , placement_(placement)
        , window_(window)
        , app_(std::move(app))
        , deadline_(steady_clock::now() + budget) {}

    bool expired() const { return steady_clock::now() >= deadline_; }

    // Display-local; absent without extents, or when less than 3 × 3 points
    // of the element lie on the display.
    std::optional<QRectF> geometry(const AccessibleElement& e) {
        const std::optional<QRectF> extents = tree_.extents(e);
        if (!extents || !(extents->width() > 0) || !(extents->height() > 0))
            return std::nullopt;
        return localWindowRect(globalTopLeft(*extents, placement_.layout), placement_.screen,
                               placement_.primaryTop);
    }

    QPoint rootPosition(QPointF point) const {
        const QRectF& s = placement_.screen;
        const QPointF topLeft(point.x() + s.x(), placement_.primaryTop - s.y() - point.y());
        const DesktopLayout& l = placement_.layout;
        return QPoint(int(std::floor(topLeft.x() * l.scale)) + l.primaryOrigin.x(),
                      int(std::floor(topLeft.y() * l.scale)) + l.primaryOrigin.y());
    }

    std::vector<AccessibleElement> children(const AccessibleElement& e, int limit) {
        std::vector<AccessibleElement> result;
        if (limit <= 0 || expired())
            return result;
        for (AccessibleElement& child : tree_.children(e, maxVisited)) {
            if (int(result.size()) >= std::min(limit, maxVisited))
                break;
            // Below the application only the target window's subtree counts.
            if (window_ && e == app_) {
                const std::optional<QRectF> g = geometry(child);
                if (g && !edgesNear(*g, *window_))
                    continue;
            }
            result.push_back(std::move(child));
        }
        return result;
    }

private:
    AccessibilityTree& tree_;
    const AccessibilityPlacement& placement_;
    const std::optional<QRectF> window_;
    const AccessibleElement app_;
    const steady_clock::time_point deadline_;
};

} // namespace

void prepareAccessibility(AccessibilityTree& tree, const AccessibleElement& application) {
    // Keyed by the element, not the process id: a later program may reuse an
    // id, while a bus name is never given out twice.
    static std::mutex lock;
    static std::set<QString> prepared;
    {
        std::lock_guard guard(lock);
        if (!prepared.insert(application.id).second)
            return;
    }
    tree.prepare(application);
}

std::vector<QRectF> accessibleChildRegions(AccessibilityTree& tree, qint32 pid, QPointF point,
                                           const AccessibilityPlacement& placement,
                                           std::optional<QRectF> window) {
    tree.setCallTimeout(int(budget.count()));
    if (!tree.isTrusted())
        return {};
    const AccessibleElement app = tree.application(pid);
    if (!app)
        return {};
    std::vector<AccessibleElement> windows = tree.windows(app);
    std::erase(windows, app);
    prepareAccessibility(tree, app);
    Reader reader(tree, placement, window, app);

    // The hit element and its ancestors.
    std::vector<QRectF> ancestors;
    std::vector<AccessibleElement> visited;
    AccessibleElement e =
        reader.expired() ? AccessibleElement{} : tree.elementAt(app, reader.rootPosition(point));
    const AccessibleElement hit = e;
    for (int i = 0; e && i < maxAncestors && !reader.expired(); ++i) {
        if (contains(visited, e))
            break;
        visited.push_back(e);
        if (auto r = reader.geometry(e))
            ancestors.push_back(*r);
        e = tree.parent(e);
    }
    if (window && childRegionCandidates(ancestors, point, *window).size() >= 2)
        return ancestors;

    // A bounded depth-first search around the point, from the hit element
    // and the windows that match the target.
    std::vector<AccessibleElement> roots;
    if (hit)
        roots.push_back(hit);
    bool anyWindow = false;
    for (const AccessibleElement& w : windows) {
        if (reader.expired())
            break;
        const std::optional<QRectF> g = reader.geometry(w);
        if (g && containsPoint(*g, point) && (!window || edgesNear(*g, *window))) {
            roots.push_back(w);
            anyWindow = true;
        }
    }
    if (!anyWindow)
        roots.push_back(app);

    std::vector<std::pair<AccessibleElement, int>> stack;
    for (auto it = roots.rbegin(); it != roots.rend(); ++it)
        stack.emplace_back(*it, 0);
    std::vector<AccessibleElement> seen;
    std::vector<QRectF> found;
    while (!stack.empty() && int(seen.size()) < maxVisited && !reader.expired()) {
        auto [element, depth] = std::move(stack.back());
        stack.pop_back();
        if (depth > maxDepth || contains(seen, element))
            continue;
        seen.push_back(element);
        if (const std::optional<QRectF> g = reader.geometry(element)) {
            if (!containsPoint(*g, point))
                continue;
            if (!contains(found, *g))
                found.push_back(*g);
        }
        if (depth >= maxDepth)
            continue;
        std::vector<AccessibleElement> kids =
            reader.children(element, maxVisited - int(seen.size()));
        for (auto it = kids.rbegin(); it != kids.rend(); ++it)
            stack.emplace_back(std::move(*it), depth + 1);
    }
    ancestors.insert(ancestors.end(), found.begin(), found.end());
    return ancestors;
}

} // namespace korvel
