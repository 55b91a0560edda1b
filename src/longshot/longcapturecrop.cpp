#include "longcapturecrop.h"

#include "longcapturepanels.h"
#include "longcapturerules.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

#include <cmath>

namespace korvel {

namespace {

constexpr double inset = 12;
constexpr double lineOverhang = 6;

} // namespace

LongCaptureCropView::LongCaptureCropView(const QImage& image, LongCaptureAxis axis,
                                         LongCaptureCrop crop, QWidget* parent)
    : QWidget(parent)
    , shown_(restore(axis, image).value_or(QImage()))
    , axis_(axis)
    , length_(image.height())
    , crop_(crop) {
    setCursor(axis == LongCaptureAxis::vertical ? Qt::SizeVerCursor : Qt::SizeHorCursor);
}

QRectF LongCaptureCropView::imageRect() const {
    const QRectF bounds = QRectF(rect()).adjusted(inset, inset, -inset, -inset);
    if (shown_.isNull() || bounds.isEmpty())
        return {};
    const QSizeF fitted = QSizeF(shown_.size()).scaled(bounds.size(), Qt::KeepAspectRatio);
    QRectF r(QPointF(), fitted);
    r.moveCenter(bounds.center());
    return r;
}

int LongCaptureCropView::rowAt(QPointF point) const {
    const QRectF r = imageRect();
    if (r.isEmpty())
        return 0;
    const double fraction = axis_ == LongCaptureAxis::vertical ? (point.y() - r.top()) / r.height()
                                                               : (point.x() - r.left()) / r.width();
    return int(std::trunc(fraction * length_));
}

double LongCaptureCropView::leadingLine() const {
    const QRectF r = imageRect();
    const double fraction = length_ > 0 ? double(crop_.leading) / length_ : 0;
    return axis_ == LongCaptureAxis::vertical ? r.top() + fraction * r.height()
                                              : r.left() + fraction * r.width();
}

double LongCaptureCropView::trailingLine() const {
    const QRectF r = imageRect();
    const double fraction = length_ > 0 ? double(crop_.trailing) / length_ : 0;
    return axis_ == LongCaptureAxis::vertical ? r.bottom() - fraction * r.height()
                                              : r.right() - fraction * r.width();
}

void LongCaptureCropView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), palette().window());
    const QRectF r = imageRect();
    if (r.isEmpty())
        return;
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    p.drawImage(r, shown_);
    const QColor shade(0, 0, 0, 115); // 45 %
    const double lead = leadingLine();
    const double trail = trailingLine();
    p.setPen(QPen(systemBlue(), 3));
    if (axis_ == LongCaptureAxis::vertical) {
        p.fillRect(QRectF(r.left(), r.top(), r.width(), lead - r.top()), shade);
        p.fillRect(QRectF(r.left(), trail, r.width(), r.bottom() - trail), shade);
        for (double y : {lead, trail})
            p.drawLine(QPointF(r.left() - lineOverhang, y), QPointF(r.right() + lineOverhang, y));
    } else {
        p.fillRect(QRectF(r.left(), r.top(), lead - r.left(), r.height()), shade);
        p.fillRect(QRectF(trail, r.top(), r.right() - trail, r.height()), shade);
        for (double x : {lead, trail})
            p.drawLine(QPointF(x, r.top() - lineOverhang), QPointF(x, r.bottom() + lineOverhang));
    }
}

void LongCaptureCropView::mousePressEvent(QMouseEvent* event) {
    const double at =
        axis_ == LongCaptureAxis::vertical ? event->position().y() : event->position().x();
    draggingTop_ = std::abs(at - leadingLine()) <= std::abs(at - trailingLine());
    dragTo(event->position());
}

void LongCaptureCropView::mouseMoveEvent(QMouseEvent* event) {
    if (event->buttons() & Qt::LeftButton)
        dragTo(event->position());
}

void LongCaptureCropView::dragTo(QPointF point) {
    if (length_ < 1)
        return;
    crop_ = draggedCrop(crop_, draggingTop_, rowAt(point), length_);
    update();
    if (onChange)
        onChange(crop_);
}

LongCaptureCropSheet::LongCaptureCropSheet(const QImage& image, LongCaptureAxis axis,
                                           LongCaptureCrop crop, QWidget* parent)
    : QDialog(parent) {
    const bool vertical = axis == LongCaptureAxis::vertical;
    setWindowTitle(QStringLiteral("Korvel"));
    auto* column = new QVBoxLayout(this);
    auto* message = new QLabel(QStringLiteral("裁剪长图"));
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    column->addWidget(message);
    column->addWidget(new QLabel(vertical
                                     ? QStringLiteral("拖动蓝线，或输入顶部、底部要去掉的像素。")
                                     : QStringLiteral("拖动蓝线，或输入左端、右端要去掉的像素。")));

    auto* accessory = new QWidget;
    accessory->setFixedSize(300, 355);
    view_ = new LongCaptureCropView(image, axis, crop, accessory);
    view_->setGeometry(0, 35, 300, 320);
    leading_ = new QLineEdit(QString::number(crop.leading), accessory);
    leading_->setGeometry(45, 2, 75, 24);
    trailing_ = new QLineEdit(QString::number(crop.trailing), accessory);
    trailing_->setGeometry(210, 2, 75, 24);
    auto* leadingLabel =
        new QLabel(vertical ? QStringLiteral("顶部") : QStringLiteral("左端"), accessory);
    leadingLabel->setGeometry(5, 4, 40, 20);
    auto* trailingLabel =
        new QLabel(vertical ? QStringLiteral("底部") : QStringLiteral("右端"), accessory);
    trailingLabel->setGeometry(165, 4, 40, 20);
    view_->onChange = [this](const LongCaptureCrop& c) {
        leading_->setText(QString::number(c.leading));
        trailing_->setText(QString::number(c.trailing));
    };
    column->addWidget(accessory);

    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    const std::pair<const char*, Choice> choices[] = {
        {"恢复完整长图", restoreFull}, {"取消", cancel}, {"应用", apply}};
    for (const auto& [title, choice] : choices) {
        auto* b = new QPushButton(QString::fromUtf8(title));
        connect(b, &QPushButton::clicked, this, [this, choice = choice] { done(choice); });
        if (choice == apply)
            b->setDefault(true);
        buttons->addWidget(b);
    }
    column->addLayout(buttons);
}

} // namespace korvel
