#include "regioncheck.h"

#include "capture/childregionresolver.h"
#include "capture/screencapture.h"
#include "checksupport.h"
#include "platform/platform.h"

#include <QCoreApplication>

namespace korvel::selfcheck {
namespace {

QString fail(const QString& reason) {
    return QStringLiteral("FAIL: region-check: %1").arg(reason);
}

} // namespace

RegionProbe::RegionProbe(Platform& platform, qint32 pid, QPointF point)
    : platform_(platform)
    , pid_(pid)
    // The hook moves the point far off every display.
    , point_(broken("region-check") ? point + QPointF(1e6, 1e6) : point) {}

RegionProbe::~RegionProbe() = default;

std::optional<QString> RegionProbe::capture() {
    if (!platform_.capabilities.screenCapture || !platform_.capabilities.windowList)
        return QStringLiteral("this display offers no screen capture or window list");
    CaptureOptions options;
    options.ownPid = QCoreApplication::applicationPid();
    options.scale = platform_.scale;
    options.accessibility = platform_.accessibility;
    std::vector<ScreenSnapshot> snapshots =
        captureScreens(*platform_.screens, *platform_.windows, options);

    // The snapshot keeps the windows of every display in the order of the
    // window targets that lie on it; the same rule finds their processes.
    const std::vector<Display> displays = platform_.screens->displays();
    const DesktopLayout layout = desktopLayout(displays, options.scale);
    const double top = primaryTop(displays, layout);
    const std::vector<WindowTarget> targets =
        captureWindowTargets(platform_.windows->windows(), layout, options.ownPid);
    const QPointF global(point_.x(), top - point_.y());
    for (ScreenSnapshot& snapshot : snapshots) {
        if (!snapshot.frame.contains(global))
            continue;
        const QPointF local = global - snapshot.frame.topLeft();
        std::vector<qint32> pids;
        for (const WindowTarget& target : targets) {
            if (auto rect = localWindowRect(target.bounds, snapshot.frame, top);
                rect && pids.size() < snapshot.windows.size() &&
                *rect == snapshot.windows[pids.size()])
                pids.push_back(target.pid);
        }
        if (pids.size() != snapshot.windows.size())
            return QStringLiteral("the window list changed while capturing");
        for (size_t i = 0; i < pids.size(); ++i) {
            if (!snapshot.windows[i].contains(local))
                continue;
            if (pids[i] != pid_)
                break; // another window is in front at the point
            snapshot_ = std::make_unique<ScreenSnapshot>(std::move(snapshot));
            window_ = int(i);
            local_ = local;
            primaryTop_ = top;
            return std::nullopt;
        }
    }
    return QStringLiteral("no window of process %1 in front at %2,%3")
        .arg(pid_)
        .arg(point_.x())
        .arg(point_.y());
}

QStringList RegionProbe::query() {
    if (!snapshot_) {
        try {
            if (const std::optional<QString> failure = capture())
                return {fail(*failure)};
        } catch (const Error& e) {
            return {fail(e.description())};
        }
    }
    // What hovering offers: the regions around the point, smallest first,
    // the window itself last.
    const std::vector<QRectF> candidates = childRegionCandidates(
        snapshot_->childRegions(window_, local_), local_, snapshot_->windows[size_t(window_)]);
    if (candidates.size() < 2)
        return {fail(QStringLiteral("no child region at %1,%2").arg(point_.x()).arg(point_.y()))};
    QStringList lines;
    for (const QRectF& r : candidates) {
        // Display-local (y up) back to global top-left points.
        const QRectF g = r.translated(snapshot_->frame.topLeft());
        lines << QStringLiteral("PASS: region-check: %1,%2 %3x%4")
                     .arg(g.x())
                     .arg(primaryTop_ - g.y() - g.height())
                     .arg(g.width())
                     .arg(g.height());
    }
    return lines;
}

} // namespace korvel::selfcheck
