#pragma once

#include <QPointF>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace korvel {
struct Platform;
struct ScreenSnapshot;
} // namespace korvel

namespace korvel::selfcheck {

// The live child-region check: freezes the displays once, finds the
// front-most window of process `pid` under `point` (global top-left points)
// and asks the region resolver (pixels and accessibility) for the regions
// around the point. Answers from accessibility arrive later, so the owner
// asks again every second.
class RegionProbe {
public:
    RegionProbe(Platform& platform, qint32 pid, QPointF point);
    ~RegionProbe();

    // One "PASS: region-check: X,Y WxH" line per hover candidate (global
    // top-left points, smallest first, the window last), or a single FAIL
    // line. Captures again until the window is found.
    QStringList query();

private:
    // The failure, when the window cannot be found (yet).
    std::optional<QString> capture();

    Platform& platform_;
    const qint32 pid_;
    const QPointF point_;
    std::unique_ptr<ScreenSnapshot> snapshot_;
    int window_ = -1;
    QPointF local_;
    double primaryTop_ = 0;
};

} // namespace korvel::selfcheck
