// The long capture's panels and what their controls change: the control bar
// with its status line, the preview, the region frame and its move button;
// pausing, the direction and moving the region.
#include "longscreenshot.h"

#include "export/toolbarbuttons.h"
#include "longcapturepanels.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>
#include <QVBoxLayout>

#include <cmath>

namespace korvel {
namespace {

constexpr double previewWindowWidth = 184;

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
    previewWindow_->resize(int(previewWindowWidth),
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

} // namespace korvel
