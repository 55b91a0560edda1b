#include "longscreenshot.h"

#include "annotate/pngencoder.h"
#include "annotate/screenshotexport.h"
#include "annotate/toolbarbuttons.h"
#include "capture/selectionadjustment.h"
#include "history/screenshothistory.h"
#include "longcapturecrop.h"
#include "longcapturepanels.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QToolButton>
#include <QVBoxLayout>

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
constexpr double previewWidth = 184;
// The first frame is taken once the window was quiet this long, or after
// the longer wait when it never is (an animation).
constexpr double settleSeconds = 0.25;
constexpr double settleAtMostSeconds = 1.0;
// Unmatched frames in a row before the first join after which the first
// frame is taken for stale and the latest one starts the image instead.
constexpr int reseedAfter = 3;
// Synthetic steps: at most one every 0.3 s, never more than this share of
// the viewport at once, so frames keep overlapping.
constexpr double autoStepSeconds = 0.3;
constexpr double autoStepShare = 0.6;

// Borderless, image only; the title is the tooltip and the accessible name.
ToolbarIconButton* iconButton(const QString& title, const QString& symbol,
                              const QColor& tint = QColor()) {
    auto* b = tint.isValid() ? new ToolbarIconButton(title, toolbarIcon(symbol, tint))
                             : new ToolbarIconButton(title, toolbarIcon(symbol));
    b->tint = tint;
    b->setFocusPolicy(Qt::NoFocus);
    return b;
}

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

// Panels ------------------------------------------------------------------------------

void LongScreenshot::buildPanels() {
    auto* content = new QWidget;
    content->setAutoFillBackground(true);
    // Always the light look: the bar floats over any application, and a
    // dark desktop palette would leave dark text on its light background.
    QPalette palette(QColor(240, 240, 240), QColor::fromRgbF(0.98f, 0.98f, 0.98f));
    palette.setColor(QPalette::Highlight, QColor(59, 130, 246));
    palette.setColor(QPalette::HighlightedText, Qt::white);
    content->setPalette(palette);
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(10, 8, 10, 6);
    auto* row = new QHBoxLayout;
    row->setSpacing(5);
    column->addLayout(row);

    dimensions_ = new QLabel(QStringLiteral("准备截取"));
    dimensions_->setFixedWidth(160);
    QFont mono = dimensions_->font();
    mono.setPixelSize(12);
    mono.setWeight(QFont::Medium);
    mono.setStyleHint(QFont::Monospace);
    dimensions_->setFont(mono);
    row->addWidget(dimensions_);

    moveButton_ = new LongCaptureMoveButton;
    moveButton_->setEnabled(false);
    moveButton_->onBegin = [this] {
        movingRegion_ = true;
        stopAutoScroll(std::nullopt);
        moveOrigin_ = globalRegion();
    };
    moveButton_->onMove = [this](QPointF delta) { moveCaptureRegion(delta); };
    moveButton_->onEnd = [this] { movingRegion_ = false; };
    row->addWidget(moveButton_);

    direction_ = new QComboBox;
    direction_->addItems({QStringLiteral("纵向"), QStringLiteral("横向")});
    direction_->setAccessibleName(QStringLiteral("长截图方向"));
    direction_->setFocusPolicy(Qt::NoFocus);
    connect(direction_, &QComboBox::activated, this, [this](int index) {
        setDirection(index == 1 ? LongCaptureAxis::horizontal : LongCaptureAxis::vertical);
    });
    row->addWidget(direction_);

    autoButton_ = new QPushButton(QStringLiteral("自动滚动"));
    autoButton_->setToolTip(QStringLiteral("自动向下滚动；匹配异常或目标被遮挡时停止自动滚动"));
    autoButton_->setEnabled(false);
    autoButton_->setFocusPolicy(Qt::NoFocus);
    autoButton_->setVisible(services_.canScroll || services_.noScrollReason.isEmpty());
    connect(autoButton_, &QPushButton::clicked, this, &LongScreenshot::toggleAutoScroll);
    row->addWidget(autoButton_);

    speed_ = new QComboBox;
    speed_->addItems({QStringLiteral("慢速"), QStringLiteral("正常"), QStringLiteral("快速")});
    speed_->setCurrentIndex(1);
    speed_->setToolTip(QStringLiteral("自动滚动速度"));
    speed_->setAccessibleName(QStringLiteral("自动滚动速度"));
    speed_->setFocusPolicy(Qt::NoFocus);
    row->addWidget(speed_);

    pauseButton_ = iconButton(QStringLiteral("停止／开始 · 空格"), QStringLiteral("pause"));
    pauseButton_->setAccessibleDescription(QStringLiteral("停止"));
    connect(pauseButton_, &QToolButton::clicked, this, &LongScreenshot::togglePause);
    row->addWidget(pauseButton_);

    auto* crop = iconButton(QStringLiteral("裁剪两端"), QStringLiteral("scissors"));
    connect(crop, &QToolButton::clicked, this, &LongScreenshot::cropCurrent);
    row->addWidget(crop);

    cropCheck_ = new QCheckBox(QStringLiteral("回滚裁剪"));
    cropCheck_->setChecked(true);
    cropCheck_->setToolTip(QStringLiteral("反向滚动会裁掉已拼接的末端；关闭后保留已有长图"));
    cropCheck_->setFocusPolicy(Qt::NoFocus);
    connect(cropCheck_, &QCheckBox::toggled, this, &LongScreenshot::toggleAutomaticCrop);
    row->addWidget(cropCheck_);

    finishButton_ = iconButton(QStringLiteral("编辑长图"), QStringLiteral("edit"));
    finishButton_->setEnabled(false);
    connect(finishButton_, &QToolButton::clicked, this, &LongScreenshot::finishCapture);
    row->addWidget(finishButton_);

    const struct {
        const char* title;
        const char* symbol;
        QColor tint;
        void (LongScreenshot::*action)();
    } actions[] = {
        {"贴图", "pin", {}, &LongScreenshot::pinCurrent},
        {"保存", "save", {}, &LongScreenshot::saveCurrent},
        {"关闭 · Esc", "close", QColor(255, 59, 48), &LongScreenshot::close},
        {"复制 · Enter", "check", QColor(52, 199, 89), &LongScreenshot::copyCurrent},
    };
    for (const auto& a : actions) {
        QToolButton* b =
            iconButton(QString::fromUtf8(a.title), QString::fromLatin1(a.symbol), a.tint);
        connect(b, &QToolButton::clicked, this, a.action);
        row->addWidget(b);
    }

    status_ = new QLabel(QStringLiteral("正在连接滚动窗口…"));
    status_->setWordWrap(true);
    QFont statusFont = status_->font();
    statusFont.setPixelSize(13);
    status_->setFont(statusFont);
    status_->setFixedHeight(36);
    column->addWidget(status_);

    control_ = new LongCapturePanel(content);
    preview_ = new LongCapturePreview;
    previewWindow_ = new LongCapturePanel(preview_);
    previewWindow_->resize(int(previewWidth),
                           int(std::min(std::max(region_.height(), 180.0), 400.0)));
    regionView_ = new LongCaptureRegionView;
    regionView_->globalRect = globalRegion();
    regionView_->onAdjust = [this](const QRectF& r) {
        if (paused_ && !captureFailed_ && r.width() >= 30 && r.height() >= 30)
            applyRegion(r.intersected(constraint_), true);
    };
    regionView_->follow();
    layoutPanels();
}

void LongScreenshot::layoutPanels() {
    // The layout rule works bottom-up on the region's display, within what
    // the desktop's own panels and docks leave of it.
    const QRectF g = globalRegion();
    const QRectF region(g.x(), services_.primaryTop - g.y() - g.height(), g.width(), g.height());
    const QPointF qtOrigin = QPointF(services_.layout.primaryOrigin) / services_.layout.scale;
    const auto topLeft = [this, qtOrigin](const QRectF& r) {
        return QPointF(r.x(), services_.primaryTop - r.y() - r.height()) + qtOrigin;
    };
    QRectF visible = screenFrame_;
    const QRectF screen(topLeft(screenFrame_), screenFrame_.size());
    if (const QScreen* s = QGuiApplication::screenAt(screen.center().toPoint())) {
        const QRectF work = QRectF(s->availableGeometry()).translated(-qtOrigin);
        const QRectF bottomUp(work.x(), services_.primaryTop - work.y() - work.height(),
                              work.width(), work.height());
        if (const QRectF inside = bottomUp.intersected(screenFrame_); !inside.isEmpty())
            visible = inside;
    }
    const QSize bar = control_->sizeHint();
    const LongCaptureLayout l =
        longCaptureLayout(region, visible, QSizeF(bar), QSizeF(previewWindow_->size()));
    control_->resize(bar);
    control_->move(topLeft(l.toolbar).toPoint());
    previewWindow_->move(topLeft(l.preview).toPoint());
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

    sourceScale_ = services_.layout.scale;
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
    else if (services_.canScroll || services_.noScrollReason.isEmpty())
        setStatus(QStringLiteral("滚动原窗口，或点“自动滚动”。空格停止，Enter 复制，Esc 关闭。"));
    else
        setStatus(QStringLiteral("滚动原窗口。") + services_.noScrollReason +
                  QStringLiteral("空格停止，Enter 复制，Esc 关闭。"));
    if (onMatchResult)
        onMatchResult(std::nullopt);
    if (onReady)
        onReady();
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

// State changes -----------------------------------------------------------------------

void LongScreenshot::setStatus(const QString& text) {
    status_->setText(text);
}

void LongScreenshot::setSticky(const QString& text) {
    sticky_ = text;
    setStatus(text);
}

QString LongScreenshot::status() const {
    return status_->text();
}

QString LongScreenshot::dimensions() const {
    return dimensions_->text();
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

void LongScreenshot::setPaused(bool paused) {
    paused_ = paused;
    configureFrameStream();
    if (paused) {
        stopAutoScroll(std::nullopt);
        previewWindow_->hide();
    } else if (stitcher_) {
        previewWindow_->show();
    }
    regionView_->setShowsHandles(paused && !captureFailed_);
    pauseButton_->setSymbol(toolbarIcon(paused ? QStringLiteral("play") : QStringLiteral("pause")));
    pauseButton_->setAccessibleDescription(paused ? QStringLiteral("开始")
                                                  : QStringLiteral("停止"));
}

void LongScreenshot::togglePause() {
    if (closed_ || !pauseButton_->isEnabled())
        return;
    sticky_.reset();
    feedback_.unchanged = 0;
    feedback_.unmatched = 0;
    setPaused(!paused_);
    setStatus(paused_ ? QStringLiteral("已停止，已有内容保留。点开始继续，或复制、保存、编辑。")
                      : QStringLiteral("继续滚动原窗口，或开启自动滚动。"));
}

void LongScreenshot::setDirection(LongCaptureAxis axis) {
    if (closed_ || captureFailed_)
        return;
    setPaused(true);
    axis_ = axis;
    direction_->setCurrentIndex(axis == LongCaptureAxis::horizontal ? 1 : 0);
    resetResult();
    setStatus(QStringLiteral("方向已切换，点开始截取。"));
}

void LongScreenshot::resetResult() {
    ++regionGeneration_;
    consecutiveUnmatched_ = 0;
    captureReverseDirection_ = false;
    stitcher_.reset();
    pendingFirst_ = QImage();
    feedback_ = LongCaptureFeedback();
    cropEdges_ = LongCaptureCrop();
    finishButton_->setEnabled(false);
    autoButton_->setEnabled(false);
    pauseButton_->setEnabled(true);
    preview_->image = QImage();
    preview_->matched = true;
    preview_->update();
    previewWindow_->hide();
    dimensions_->setText(QStringLiteral("等待开始"));
    configureFrameStream();
}

void LongScreenshot::moveCaptureRegion(QPointF delta) {
    if (captureFailed_ || constraint_.isEmpty())
        return;
    const QRectF from = movingRegion_ ? moveOrigin_ : globalRegion();
    if (!paused_)
        delta = axis_ == LongCaptureAxis::vertical ? QPointF(0, delta.y()) : QPointF(delta.x(), 0);
    const QRectF moved = adjustedTopLeft(SelectionHandle::move, from, delta, constraint_);
    applyRegion(moved, paused_);
}

void LongScreenshot::applyRegion(const QRectF& global, bool restart) {
    if (global == globalRegion())
        return;
    region_ = QRectF(global.x() - screenFrame_.x(),
                     services_.primaryTop - screenFrame_.y() - global.y() - global.height(),
                     global.width(), global.height());
    regionView_->globalRect = global;
    regionView_->follow();
    if (restart) {
        resetResult();
    } else {
        ++regionGeneration_;
        configureFrameStream();
    }
    layoutPanels();
    setStatus(restart ? QStringLiteral("选区已调整，点开始重新截取。")
                      : QStringLiteral("正在沿截图方向延伸，已有内容保留。"));
}

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
            setStatus(QStringLiteral("滚动原窗口。") + why +
                      QStringLiteral("空格停止，Enter 复制，Esc 关闭。"));
        }
        return;
    }
    lastAutoScroll_ = now();
    awaitingAutoFrame_ = true;
    lastAutoClicks_ = clicks;
    rowsSinceAutoStep_ = 0;
    ++autoPostedCount_;
}

// Results -------------------------------------------------------------------------------

void LongScreenshot::readResult(std::function<void(const QImage&)> then, bool whole) {
    if (closed_)
        return;
    if (!stitcher_) {
        setStatus(QStringLiteral("正在准备画面，请稍候。"));
        return;
    }
    if (!captureFailed_)
        setPaused(true);
    if (services_.keys)
        services_.keys->stop();
    if (stream_)
        stream_->flush();
    // Frames already queued still belong to the image: let the loop finish
    // them, then read.
    reader_.disconnect();
    connect(&reader_, &QTimer::timeout, this, [this, whole, then = std::move(then)] {
        if (processing_ || (stream_ && stream_->queuedCount() > 0 && !captureFailed_)) {
            schedule(0);
            return;
        }
        reader_.stop();
        std::optional<QImage> image = stitcher_ ? stitcher_->image() : std::nullopt;
        if (image && !whole)
            image = cropEdges_.apply(*image);
        if (image && !whole)
            image = restore(axis_, *image);
        if (!image) {
            setStatus(QStringLiteral("还没有可导出的画面，请稍候。"));
        } else {
            then(*image);
        }
        if (!closed_ && services_.keys)
            services_.keys->start(sourcePid_);
    });
    reader_.start();
}

std::optional<QByteArray> LongScreenshot::png(const QImage& image) {
    return encodePng(image);
}

void LongScreenshot::copyCurrent() {
    readResult([this](const QImage& image) {
        const std::optional<QByteArray> data = png(image);
        if (data && services_.history && ScreenshotExport::copy(*data, *services_.history))
            close();
    });
}

void LongScreenshot::pinCurrent() {
    readResult([this](const QImage& image) {
        const std::optional<QByteArray> data = png(image);
        if (data && onPin && onPin(*data)) {
            if (services_.history)
                services_.history->record(*data);
            close();
            return;
        }
        setStatus(QStringLiteral("无法创建贴图，已有内容保留。"));
    });
}

void LongScreenshot::saveCurrent() {
    readResult([this](const QImage& image) {
        std::unique_ptr<QFileDialog> panel = ScreenshotExport::savePanel();
        const int accepted = services_.runModal ? services_.runModal(*panel) : panel->exec();
        if (accepted != QDialog::Accepted || panel->selectedFiles().isEmpty()) {
            if (!closed_)
                services_.windows->activate(sourceWindow_);
            return;
        }
        const std::optional<QByteArray> data = png(image);
        if (!data)
            return;
        const QString path = panel->selectedFiles().front();
        const std::optional<QString> error =
            services_.history ? ScreenshotExport::save(*data, path, *services_.history)
                              : ScreenshotExport::writePng(*data, path);
        if (!error) {
            close();
            return;
        }
        setStatus(*error);
        services_.windows->activate(sourceWindow_);
    });
}

void LongScreenshot::cropCurrent() {
    if (closed_ || !stitcher_)
        return;
    readResult(
        [this](const QImage& image) {
            LongCaptureCropSheet sheet(image, axis_, cropEdges_);
            const int choice = services_.runModal ? services_.runModal(sheet) : sheet.exec();
            if (choice == LongCaptureCropSheet::apply) {
                if (const auto crop = cropFromFields(sheet.leadingField()->text(),
                                                     sheet.trailingField()->text(), image.height()))
                    cropEdges_ = *crop;
                else
                    setStatus(QStringLiteral("裁剪值无效，已保留原图。"));
            } else if (choice == LongCaptureCropSheet::restoreFull) {
                cropEdges_ = {};
            }
            if (closed_)
                return;
            refreshPreview(true);
            services_.windows->activate(sourceWindow_);
        },
        true);
}

void LongScreenshot::finishCapture() {
    readResult([this](const QImage& image) {
        if (onFinish)
            onFinish(image);
        close();
    });
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
