#include "screencapture.h"

#include "accessiblechildregions.h"
#include "childregionresolver.h"

#include "platform/error.h"

namespace korvel {
namespace {

Error captureError(int code, const QString& description) {
    return Error(QStringLiteral("Korvel"), code, description);
}

} // namespace

std::vector<ScreenSnapshot> captureScreens(ScreenSource& screens, WindowList& windowList,
                                           const CaptureOptions& options) {
    const std::vector<Display> displays = screens.displays();
    const DesktopLayout layout = desktopLayout(displays, options.scale);
    const std::vector<WindowTarget> targets =
        captureWindowTargets(windowList.windows(), layout, options.ownPid);
    const double top = primaryTop(displays, layout);

    std::vector<ScreenSnapshot> snapshots;
    snapshots.reserve(displays.size());
    screens.prepare(displays);
    for (const Display& display : displays) {
        if (display.geometry.isEmpty())
            continue;
        QImage image = screens.grab(display);
        // An image that does not match the display would put every selection
        // on the wrong pixels.
        if (image.isNull() || image.size() != screens.pixelSize(display))
            throw captureError(
                2, QStringLiteral("显示器 %1 的画面尺寸与显示器不符").arg(display.name));
        ScreenSnapshot snapshot;
        snapshot.frame = displayFrame(display, layout, top);
        snapshot.image = std::move(image);
        snapshot.screenOrigin = QPointF(display.geometry.topLeft()) / layout.scale;
        std::vector<ChildRegionTarget> kept;
        for (const WindowTarget& target : targets) {
            if (auto local = localWindowRect(target.bounds, snapshot.frame, top)) {
                snapshot.windows.push_back(*local);
                kept.push_back({*local, target.pid});
            }
        }
        AccessibilityQuery query;
        if (options.usingAccessibility && options.accessibility) {
            query = [tree = options.accessibility,
                     placement = AccessibilityPlacement{snapshot.frame, top, layout}](
                        qint32 pid, QPointF point, const QRectF& window) {
                return accessibleChildRegions(*tree, pid, point, placement, window);
            };
        }
        auto resolver = std::make_shared<ChildRegionResolver>(
            snapshot.image, std::move(kept), snapshot.frame, ChildAccessibilityWorker::shared(),
            std::move(query));
        snapshot.childRegions = [resolver](int index, QPointF point) {
            return resolver->regions(index, point);
        };
        snapshots.push_back(std::move(snapshot));
    }
    if (snapshots.empty())
        throw captureError(1, QStringLiteral("没有可截取的显示器"));
    // A display connected or removed while we grabbed leaves frames and images
    // that no longer describe the screen.
    if (screens.displays() != displays)
        throw captureError(3, QStringLiteral("截图时显示器布局发生了变化"));
    return snapshots;
}

} // namespace korvel
