#include "toolbarbuttons.h"

#include <QCoreApplication>
#include <QEnterEvent>
#include <QHash>
#include <QPainter>
#include <QPainterPath>
#include <QSvgRenderer>

namespace korvel {
namespace {

const QColor labelColor(40, 40, 40);

QColor accent(const QWidget& w) {
    return w.palette().color(QPalette::Highlight);
}

void roundedFill(QPainter& p, const QRectF& r, QColor c, double alpha) {
    c.setAlphaF(float(alpha));
    p.setPen(Qt::NoPen);
    p.setBrush(c);
    p.drawRoundedRect(r.adjusted(1, 1, -1, -1), 6, 6);
}

} // namespace

HoverButton::HoverButton(QWidget* parent)
    : QToolButton(parent) {
    setAutoRaise(true);
    setCursor(Qt::PointingHandCursor);
    setFocusPolicy(Qt::NoFocus);
}

void HoverButton::enterEvent(QEnterEvent* event) {
    hovered_ = true;
    update();
    QToolButton::enterEvent(event);
}

void HoverButton::leaveEvent(QEvent* event) {
    hovered_ = false;
    update();
    QToolButton::leaveEvent(event);
}

void HoverButton::paintHighlight(QPainter& p) const {
    if (!isEnabled() || !(hovered_ || isDown()))
        return;
    roundedFill(p, rect(), tint.isValid() ? tint : accent(*this), isDown() ? 0.24 : 0.12);
}

ToolbarIconButton::ToolbarIconButton(const QString& title, const QIcon& icon, QWidget* parent)
    : HoverButton(parent)
    , title_(title)
    , icon_(icon) {
    setText(title);
    setAccessibleName(title);
    setToolTip(title);
}

void ToolbarIconButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (indicatesSelection && isChecked())
        roundedFill(p, rect(), accent(*this), 0.18);
    paintHighlight(p);
    const QRect iconRect(QPoint(0, 0), QSize(20, 20));
    icon_.paint(&p, iconRect.translated(rect().center() - iconRect.center()), Qt::AlignCenter,
                isEnabled() ? QIcon::Normal : QIcon::Disabled);
}

ColorSwatchButton::ColorSwatchButton(const QString& name, const QColor& c, QWidget* parent)
    : HoverButton(parent)
    , color(c) {
    setCheckable(true);
    setText(name);
    setToolTip(name);
    setAccessibleName(name);
}

void ColorSwatchButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintHighlight(p);
    const QPointF c = QRectF(rect()).center();
    QColor outline = labelColor;
    outline.setAlphaF(0.25f);
    p.setPen(QPen(outline, 0.5));
    p.setBrush(color);
    p.drawEllipse(c, 7.0, 7.0);
    if (isChecked() || isDown()) {
        p.setPen(QPen(accent(*this), 1.5));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, 10.0, 10.0);
    }
}

StrokeWidthButton::StrokeWidthButton(const QString& n, double width, QWidget* parent)
    : HoverButton(parent)
    , name(n)
    , strokeWidth(width) {
    setCheckable(true);
    setText(name);
    const QString tip =
        name + QStringLiteral(" · ") + QString::number(width, 'f', 1) + QStringLiteral(" pt");
    setToolTip(tip);
    setAccessibleName(tip);
}

void StrokeWidthButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    if (isChecked() || isDown())
        roundedFill(p, rect(), accent(*this), 0.18);
    paintHighlight(p);
    p.setPen(Qt::NoPen);
    p.setBrush(labelColor);
    const double d = strokeWidth + 3;
    p.drawEllipse(QRectF(rect()).center(), d / 2, d / 2);
}

namespace {

// Icons are made once per look: every capture builds a new toolbar, and Qt's
// pixmap cache keeps the rendered sizes of each distinct icon, so fresh
// icons per capture would pile up there. Emptied with the application, as
// pixmaps must not outlive it.
QHash<QString, QIcon>& madeIcons() {
    static auto* made = [] {
        auto* icons = new QHash<QString, QIcon>;
        qAddPostRoutine([] { madeIcons().clear(); });
        return icons;
    }();
    return *made;
}

} // namespace

QIcon toolbarIcon(const QString& name, const QColor& color) {
    const QString key = name + u'/' + QString::number(color.rgba(), 16);
    if (const auto it = madeIcons().constFind(key); it != madeIcons().constEnd())
        return *it;
    QSvgRenderer renderer(QStringLiteral(":/korvel/icons/%1.svg").arg(name));
    QIcon icon;
    for (int scale : {1, 2, 3}) {
        QImage image(QSize(20, 20) * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        renderer.render(&p);
        // The artwork is black; recolour it in one pass.
        p.setCompositionMode(QPainter::CompositionMode_SourceIn);
        p.fillRect(image.rect(), color);
        p.end();
        image.setDevicePixelRatio(scale);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    madeIcons().insert(key, icon);
    return icon;
}

QIcon mosaicIcon() {
    const QString key = QStringLiteral("mosaic/drawn");
    if (const auto it = madeIcons().constFind(key); it != madeIcons().constEnd())
        return *it;
    QIcon icon;
    for (int scale : {1, 2, 3}) {
        QImage image(QSize(20, 20) * scale, QImage::Format_ARGB32_Premultiplied);
        image.fill(Qt::transparent);
        QPainter p(&image);
        p.setRenderHint(QPainter::Antialiasing);
        p.scale(scale, scale);
        p.setPen(QPen(labelColor, 1.5));
        p.drawRoundedRect(QRectF(1, 1, 18, 18), 2, 2);
        const double cells[] = {4, 8.5, 13};
        for (double y : cells) {
            for (double x : cells) {
                const bool faint =
                    (x == 4 && y == 4) || (x == 13 && y == 8.5) || (x == 8.5 && y == 13);
                QColor c = labelColor;
                c.setAlphaF(faint ? 0.45f : 1.0f);
                p.fillRect(QRectF(x, y, 3, 3), c);
            }
        }
        p.end();
        image.setDevicePixelRatio(scale);
        icon.addPixmap(QPixmap::fromImage(image));
    }
    madeIcons().insert(key, icon);
    return icon;
}

} // namespace korvel
