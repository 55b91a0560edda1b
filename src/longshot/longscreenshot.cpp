#include "longscreenshot.h"

#include "export/toolbarbuttons.h"
#include "longcapturecrop.h"
#include "longcapturepanels.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QThreadPool>

#include <cmath>

namespace korvel {
namespace {

Error longCaptureError(int code, const QString& description) {
    return Error(QStringLiteral("Dastra"), code, description);
}

Error sourceChangedError() {
    return longCaptureError(5, QStringLiteral("目标窗口已移动、缩放或关闭。"));
}

constexpr qint64 maximumPixels = 24'000'000;
// The first frame is taken once the window was quiet this long, or after
// the longer wait when it never is (an animation).
constexpr double settleSeconds = 0.25;
constexpr double settleAtMostSeconds = 1.0;
// Unmatched frames in a row before the first join after which the first
// frame is taken for stale and the latest one starts the image instead.
constexpr int reseedAfter = 3;

} // namespace

LongScreenshot::LongScreenshot(QRectF screenFrame, QRectF region, LongCaptureServices services)
    : screenFrame_(screenFrame)
    , region_(region)
    , services_(std::move(services)) {
    clock_.start();
    loop_.setSingleShot(true);
    connect(&loop_, &QTimer::timeout, this, &LongScreenshot::step);
    reader_.setInterval(10);
    buildPanels();
}

LongScreenshot::~LongScreenshot() {
    close();
    delete control_;
    delete previewWindow_;
    delete regionView_;
}

QRectF LongScreenshot::globalRegion() const {
    return QRectF(screenFrame_.x() + region_.x(),
                  services_.primaryTop - screenFrame_.y() - (region_.y() + region_.height()),
                  region_.width(), region_.height());
}

// Starting --------------------------------------------------------------------------

void LongScreenshot::start() {
    control_->show();
    control_->raise();
    regionView_->show();
    regionView_->raise();
    QTimer::singleShot(0, this, [this] {
        if (closed_)
            return;
        try {
            findSource();
        } catch (const Error& error) {
            fail(error);
            return;
        }
        schedule(0);
    });
}

void LongScreenshot::findSource() {
    if (!services_.windows || !services_.openStream)
        throw longCaptureError(1, QStringLiteral("显示器已断开，请重新选择区域。"));
    const QRectF region = globalRegion();
    for (const WindowInfo& w : services_.windows->windows()) {
        if (!w.bounds || w.pid == services_.ownPid || w.layer.value_or(0) != 0)
            continue;
        const QRectF frame = globalTopLeft(*w.bounds, services_.layout);
        if (!frame.contains(region))
            continue;
        sourcePid_ = w.pid.value_or(0);
        sourceWindow_ = w.id;
        sourceFrame_ = frame;
        break;
    }
    if (!sourceWindow_)
        throw longCaptureError(3, QStringLiteral("请在一个窗口内部框选可滚动内容。 "));
    const QRectF screenTopLeft(screenFrame_.x(),
                               services_.primaryTop - screenFrame_.y() - screenFrame_.height(),
                               screenFrame_.width(), screenFrame_.height());
    constraint_ = sourceFrame_.intersected(screenTopLeft);
    regionView_->constraint = constraint_;
    if (services_.keys) {
        services_.keys->onKey = [self = QPointer<LongScreenshot>(this)](int key) {
            if (!self || self->closed_)
                return;
            if (key == KeyTap::returnKey)
                self->copyCurrent();
            else if (key == KeyTap::escape)
                self->close();
            else if (key == KeyTap::space)
                self->togglePause();
        };
        services_.keys->start(sourcePid_);
    }
    if (services_.scrolls) {
        services_.scrolls->onUserScroll = [self = QPointer<LongScreenshot>(this)] {
            if (self && self->autoScrolling_)
                self->stopAutoScroll(QStringLiteral("已切换手动滚动。"));
        };
        services_.scrolls->setWatching(true);
    }
    services_.windows->activate(sourceWindow_);

    sourceScale_ = services_.displayScale;
    stream_ = std::make_unique<LongFrameStream>(services_.openStream());
    configureFrameStream();
    WindowStreamConfiguration configuration;
    configuration.window = sourceWindow_;
    configuration.size = QSize(qRound(sourceFrame_.width() * sourceScale_),
                               qRound(sourceFrame_.height() * sourceScale_));
    stream_->start(configuration);
}

void LongScreenshot::configureFrameStream() {
    if (!stream_)
        return;
    const QRectF g = globalRegion();
    const QRect crop(qRound((g.x() - sourceFrame_.x()) * sourceScale_),
                     qRound((g.y() - sourceFrame_.y()) * sourceScale_),
                     qRound(g.width() * sourceScale_), qRound(g.height() * sourceScale_));
    stream_->configure(crop, axis_, regionGeneration_, !paused_ && !closed_);
}

// The loop ----------------------------------------------------------------------------

void LongScreenshot::schedule(int ms) {
    if (!closed_ && !captureFailed_)
        loop_.start(ms);
}

bool LongScreenshot::sourceUnchanged() {
    const std::optional<WindowInfo> w = services_.windows->window(sourceWindow_);
    if (!w || !w->bounds)
        return false;
    const QRectF frame = globalTopLeft(*w->bounds, services_.layout);
    return std::abs(frame.x() - sourceFrame_.x()) < 1 &&
           std::abs(frame.y() - sourceFrame_.y()) < 1 &&
           std::abs(frame.width() - sourceFrame_.width()) < 1 &&
           std::abs(frame.height() - sourceFrame_.height()) < 1;
}

void LongScreenshot::step() {
    if (closed_ || captureFailed_ || processing_ || !stream_)
        return;
    if (paused_ && stream_->queuedCount() == 0) {
        schedule(8);
        return;
    }
    if (now() - lastSourceCheck_ >= 0.1) {
        lastSourceCheck_ = now();
        if (!sourceUnchanged()) {
            fail(sourceChangedError());
            return;
        }
    }
    if (stream_->takeDropped()) {
        autoScrolling_ = false;
        awaitingAutoFrame_ = false;
        autoButton_->setText(QStringLiteral("自动滚动"));
        setSticky(QStringLiteral("滚动过快，部分中间帧未能保留。若未接上，请稍向回滚动。"));
    }
    if (const std::optional<Error> failure = stream_->failure()) {
        // The stream ends by itself when its window goes: say so in the
        // capture's own words, not the stream's.
        fail(sourceUnchanged() ? *failure : sourceChangedError());
        return;
    }
    if (autoScrolling_ && now() - lastTargetCheck_ >= 0.1) {
        lastTargetCheck_ = now();
        autoScrollTarget();
    }
    std::optional<LongCaptureFrame> frame = stream_->takeFrame();
    if (frame && frame->generation != regionGeneration_) {
        schedule(0);
        return;
    }
    if (!stitcher_) {
        if (frame) {
            if (pendingFirst_.isNull())
                pendingSince_ = now();
            pendingFirst_ = std::move(frame->image);
            pendingAt_ = now();
        } else if (!pendingFirst_.isNull() && (now() - pendingAt_ >= settleSeconds ||
                                               now() - pendingSince_ >= settleAtMostSeconds)) {
            beginStitching(std::exchange(pendingFirst_, QImage()));
        }
        schedule(8);
        return;
    }
    if (!frame) {
        if (autoScrolling_ && now() - lastProgress_ > 2)
            stopAutoScroll(QStringLiteral("画面未变化，自动滚动已停止。可手动继续，或直接复制。"));
        if (autoScrolling_ && !paused_ && !movingRegion_ && consecutiveUnmatched_ == 0)
            scrollAutomatically();
        schedule(8);
        return;
    }
    stitch(std::move(*frame));
}

void LongScreenshot::beginStitching(const QImage& first) {
    stitcher_ = std::make_shared<ScrollStitcher>(first, maximumPixels);
    refreshPreview(true);
    finishButton_->setEnabled(true);
    autoButton_->setEnabled(true);
    moveButton_->setEnabled(true);
    if (!paused_)
        previewWindow_->show();
    lastProgress_ = now();
    if (paused_)
        setStatus(QStringLiteral("已停止，点开始继续，或直接复制、保存。"));
    else
        setStatus(readyText());
    if (onMatchResult)
        onMatchResult(std::nullopt);
    if (onReady)
        onReady();
}

// What to do next, once frames come in; without automatic scrolling, why not.
QString LongScreenshot::readyText() const {
    if (services_.canScroll || services_.noScrollReason.isEmpty())
        return QStringLiteral("滚动原窗口，或点“自动滚动”。空格停止，Enter 复制，Esc 关闭。");
    return QStringLiteral("滚动原窗口。") + services_.noScrollReason +
           QStringLiteral("空格停止，Enter 复制，Esc 关闭。");
}

void LongScreenshot::stitch(LongCaptureFrame frame) {
    processing_ = true;
    const qint64 generation = regionGeneration_;
    std::shared_ptr<ScrollStitcher> stitcher = stitcher_;
    const bool crop = automaticCrop_;
    QPointer<LongScreenshot> self(this);
    QThreadPool::globalInstance()->start([self, stitcher, image = std::move(frame.image), crop,
                                          generation] {
        const ScrollAppendResult result = stitcher->append(image, crop);
        QMetaObject::invokeMethod(
            qApp,
            [self, stitcher, result, generation, image] {
                if (!self)
                    return;
                self->processing_ = false;
                if (self->closed_)
                    return;
                if (generation != self->regionGeneration_) {
                    if (self->stitcher_ == stitcher)
                        self->refreshPreview(true);
                } else {
                    self->handleResult(result, image);
                }
                const bool more = !self->paused_ && self->stream_ && self->stream_->queuedCount();
                if (self->autoScrolling_ && !self->paused_ && !self->movingRegion_ &&
                    self->consecutiveUnmatched_ == 0 && !more)
                    self->scrollAutomatically();
                self->schedule(more ? 0 : 8);
            },
            Qt::QueuedConnection);
    });
}

void LongScreenshot::handleResult(const ScrollAppendResult& result, const QImage& frame) {
    using Kind = ScrollAppendResult::Kind;
    if (onMatchResult)
        onMatchResult(result);
    const LongCaptureFeedback::Outcome outcome = feedback_.record(result);
    if (result.kind == Kind::appended || result.kind == Kind::cropped) {
        if (result.kind == Kind::appended && lastAutoClicks_ > 0)
            rowsSinceAutoStep_ += result.rows;
        awaitingAutoFrame_ = false;
        clampCrop(cropEdges_.leading, cropEdges_.trailing, stitcher_->height());
        sticky_.reset();
        lastProgress_ = now();
        previewDirty_ = true;
        refreshPreview(false);
        consecutiveUnmatched_ = 0;
    } else if (result.kind == Kind::unchanged) {
        if (consecutiveUnmatched_ > 0)
            sticky_.reset();
        consecutiveUnmatched_ = 0;
        refreshPreview(false);
    } else if (result.kind == Kind::unmatched) {
        ++consecutiveUnmatched_;
        // Nothing joined the first frame yet while the window goes on
        // changing: that frame is stale (the window was still painting, or
        // changed as it came to the front). Start again from this one.
        if (!stitcher_->hasAppended() && consecutiveUnmatched_ >= reseedAfter && !frame.isNull()) {
            stitcher_ = std::make_shared<ScrollStitcher>(frame, maximumPixels);
            consecutiveUnmatched_ = 0;
            refreshPreview(true);
        }
    } else {
        consecutiveUnmatched_ = 0;
        pauseButton_->setEnabled(false);
        autoButton_->setEnabled(false);
    }
    preview_->matched = result.kind != Kind::unmatched;
    preview_->update();
    if (autoScrolling_ && !services_.scrolls->watchesUser() && userScrolled(result))
        stopAutoScroll(QStringLiteral("已切换手动滚动。"));
    if (outcome.message && !sticky_)
        setStatus(*outcome.message);
    if (outcome.pause)
        setPaused(true);
    if (consecutiveUnmatched_ >= 5 && autoScrolling_)
        stopAutoScroll(
            QStringLiteral("自动滚动已停止。请沿刚才滚动的反方向稍作回滚，匹配恢复后可继续。"));
    if (result.kind == Kind::unchanged && autoScrolling_ && now() - lastProgress_ > 2)
        stopAutoScroll(QStringLiteral("画面未变化，自动滚动已停止。可手动继续，或直接复制。"));
}

// Where the user's own wheel cannot be watched (Wayland shows no client
// another's input), the frames tell it apart: the picture went back against
// the steps, or went on further than one click more than posted since the
// last step, at the rate earlier clicks scrolled.
bool LongScreenshot::userScrolled(const ScrollAppendResult& result) const {
    if (result.kind == ScrollAppendResult::Kind::cropped)
        return true;
    if (result.kind != ScrollAppendResult::Kind::appended || lastAutoClicks_ < 1 ||
        pixelsPerClick_.empty())
        return false;
    std::vector<double> sorted = pixelsPerClick_;
    std::sort(sorted.begin(), sorted.end());
    return rowsSinceAutoStep_ > (lastAutoClicks_ + 1) * sorted[sorted.size() / 2];
}

void LongScreenshot::refreshPreview(bool force) {
    if (!stitcher_)
        return;
    captureReverseDirection_ = stitcher_->reverseDirection();
    const int length = stitcher_->height();
    clampCrop(cropEdges_.leading, cropEdges_.trailing, length);
    const int remaining = length - cropEdges_.leading - cropEdges_.trailing;
    const bool horizontal = axis_ == LongCaptureAxis::horizontal;
    dimensions_->setText(horizontal
                             ? QStringLiteral("%1 × %2 px").arg(remaining).arg(stitcher_->width())
                             : QStringLiteral("%1 × %2 px").arg(stitcher_->width()).arg(remaining));
    if (!force && !(previewDirty_ && now() - lastPreviewRefresh_ >= 0.1))
        return;
    previewDirty_ = false;
    lastPreviewRefresh_ = now();
    preview_->viewportFraction = double(stitcher_->viewportHeight()) / std::max(1, length);
    preview_->reverseDirection = captureReverseDirection_;
    preview_->horizontal = horizontal;
    preview_->leadingCrop = double(cropEdges_.leading) / std::max(1, length);
    preview_->trailingCrop = double(cropEdges_.trailing) / std::max(1, length);
    const std::optional<QImage> image = stitcher_->image(true, previewWindow_->height());
    const std::optional<QImage> shown = image ? restore(axis_, *image) : std::nullopt;
    preview_->image = shown.value_or(QImage());
    preview_->update();
}

void LongScreenshot::fail(const Error& error) {
    captureFailed_ = true;
    processing_ = false;
    loop_.stop();
    if (stream_)
        stream_->stop();
    setPaused(true);
    pauseButton_->setEnabled(false);
    autoButton_->setEnabled(false);
    direction_->setEnabled(false);
    moveButton_->setEnabled(false);
    regionView_->setShowsHandles(false);
    setStatus(stitcher_
                  ? error.description() + QStringLiteral(" 已有内容保留，可复制、保存或编辑。")
                  : error.description());
    if (onError)
        onError(error);
}

void LongScreenshot::close() {
    if (closed_)
        return;
    closed_ = true;
    loop_.stop();
    reader_.stop();
    stopAutoScroll(std::nullopt);
    if (services_.keys) {
        services_.keys->stop();
        services_.keys->onKey = nullptr;
    }
    if (services_.scrolls) {
        services_.scrolls->setWatching(false);
        services_.scrolls->onUserScroll = nullptr;
    }
    if (movingRegion_ && moveButton_->onEnd)
        moveButton_->onEnd();
    if (stream_)
        stream_->stop();
    previewWindow_->hide();
    regionView_->hide();
    control_->hide();
    if (onClose)
        onClose();
}

} // namespace korvel
