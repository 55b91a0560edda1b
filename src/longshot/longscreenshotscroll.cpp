// Automatic scrolling during a long capture: synthetic wheel steps sized by
// what earlier steps scrolled, and where they may land.
#include "longscreenshot.h"

#include "longcapturepanels.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

#include <cmath>

namespace korvel {
namespace {

// Synthetic steps: at most one every 0.3 s, never more than this share of
// the viewport at once, so frames keep overlapping.
constexpr double autoStepSeconds = 0.3;
constexpr double autoStepShare = 0.6;

} // namespace

// Automatic scrolling -------------------------------------------------------------------

void LongScreenshot::toggleAutoScroll() {
    if (!autoButton_->isEnabled() || !services_.canScroll || !services_.scrolls) {
        autoScrolling_ = false;
        autoButton_->setText(QStringLiteral("自动滚动"));
        setSticky(QStringLiteral("自动滚动需要辅助功能授权；仍可在原窗口手动滚动。"));
        return;
    }
    if (autoScrolling_) {
        autoScrolling_ = false;
        autoButton_->setText(QStringLiteral("自动滚动"));
        setStatus(QStringLiteral("已切换手动滚动。"));
        return;
    }
    sticky_.reset();
    setPaused(false);
    autoScrolling_ = true;
    lastAutoClicks_ = 0;
    rowsSinceAutoStep_ = 0;
    autoInterval_ = autoStepSeconds;
    autoButton_->setText(QStringLiteral("停止自动"));
    lastProgress_ = lastAutoScroll_ = now();
    services_.windows->activate(sourceWindow_);
    setStatus(autoScrollStatus(axis_ == LongCaptureAxis::horizontal, captureReverseDirection_));
}

void LongScreenshot::stopAutoScroll(const std::optional<QString>& message) {
    autoScrolling_ = false;
    awaitingAutoFrame_ = false;
    if (autoButton_)
        autoButton_->setText(QStringLiteral("自动滚动"));
    if (message)
        setSticky(*message);
}

std::optional<QPointF> LongScreenshot::autoScrollTarget() {
    const std::optional<qint64> front = services_.windows->activePid();
    if (front && *front != sourcePid_) {
        stopAutoScroll(QStringLiteral("已切换应用，自动滚动停止。"));
        return std::nullopt;
    }
    const QRectF region = globalRegion();
    const QPointF qtOrigin = QPointF(services_.layout.primaryOrigin) / services_.layout.scale;
    const std::vector<WindowInfo> windows = services_.windows->windows();
    for (double fraction : {0.5, 0.25, 0.75}) {
        const QPointF p(region.x() + fraction * region.width(), region.center().y());
        const QPoint onScreen = (p + qtOrigin).toPoint();
        if (control_->frameGeometry().contains(onScreen) ||
            (previewWindow_->isVisible() && previewWindow_->frameGeometry().contains(onScreen)))
            continue;
        for (const WindowInfo& w : windows) {
            if (!w.bounds || w.pid == services_.ownPid || w.alpha.value_or(1) <= 0)
                continue;
            const QRectF frame = globalTopLeft(*w.bounds, services_.layout);
            if (!frame.contains(p))
                continue;
            // Desktops and docks that span a whole display lie under
            // everything; they cover nothing.
            if (w.layer.value_or(0) != 0 && frame.contains(region) &&
                frame.width() >= screenFrame_.width() && frame.height() >= screenFrame_.height())
                continue;
            if (w.id == sourceWindow_)
                return p;
            break;
        }
    }
    // A window on top takes the synthetic steps (and the stream, reading the
    // source's own pixels, would only see nothing move).
    stopAutoScroll(QStringLiteral("目标区域被遮挡，自动滚动停止。"));
    return std::nullopt;
}

// One synthetic step at a time, each after the last one's frame arrived.
// A wheel click scrolls what the application decides; from what earlier
// clicks did, the step is made of as many clicks as the speed's share of
// the region allows, and when one click is already more, steps come less
// often instead, so the three speeds differ and frames keep overlapping.
void LongScreenshot::scrollAutomatically() {
    if (awaitingAutoFrame_ || now() - lastAutoScroll_ < autoInterval_ || !sourceWindow_)
        return;
    const std::optional<QPointF> point = autoScrollTarget();
    if (!point)
        return;
    const bool horizontal = axis_ == LongCaptureAxis::horizontal;
    const QRectF region = globalRegion();
    const int step =
        autoScrollStep(horizontal ? region.width() : region.height(), speed_->currentIndex());
    if (step < 1) {
        stopAutoScroll(std::nullopt);
        return;
    }
    if (lastAutoClicks_ > 0 && rowsSinceAutoStep_ > 0) {
        pixelsPerClick_.push_back(double(rowsSinceAutoStep_) / lastAutoClicks_);
        if (pixelsPerClick_.size() > 5)
            pixelsPerClick_.erase(pixelsPerClick_.begin());
    }
    const double target = step * sourceScale_;
    int clicks = 1;
    autoInterval_ = autoStepSeconds;
    if (!pixelsPerClick_.empty()) {
        std::vector<double> sorted = pixelsPerClick_;
        std::sort(sorted.begin(), sorted.end());
        const double perClick = std::max(1.0, sorted[sorted.size() / 2]);
        const double most = autoStepShare * (stitcher_ ? stitcher_->viewportHeight() : target);
        clicks = std::clamp(int(std::min(target, most) / perClick), 1, 50);
        if (perClick > target)
            autoInterval_ = autoStepSeconds * std::min(perClick / target, 10.0);
    }
    const int amount = captureReverseDirection_ ? clicks : -clicks;
    const QPoint root =
        services_.layout.primaryOrigin + (*point * services_.layout.scale).toPoint();
    if (!services_.scrolls->post(root, horizontal, amount)) {
        const QString why = services_.scrolls->failure();
        if (!why.isEmpty()) {
            // Refused for this capture: as where the desktop has no way.
            stopAutoScroll(std::nullopt);
            services_.canScroll = false;
            services_.noScrollReason = why;
            autoButton_->setVisible(false);
            setStatus(readyText());
        }
        return;
    }
    lastAutoScroll_ = now();
    awaitingAutoFrame_ = true;
    lastAutoClicks_ = clicks;
    rowsSinceAutoStep_ = 0;
    ++autoPostedCount_;
}

} // namespace korvel
