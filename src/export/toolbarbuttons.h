#pragma once

#include <QColor>
#include <QIcon>
#include <QToolButton>

namespace korvel {

// Borderless buttons of the annotation toolbar. Hovered and pressed
// buttons show a rounded highlight in the accent colour (or in their own red
// or green tint).
class HoverButton : public QToolButton {
public:
    explicit HoverButton(QWidget* parent = nullptr);

    bool hovered() const { return hovered_; }
    // A tint of its own replaces the accent in the highlight.
    QColor tint;

protected:
    void enterEvent(QEnterEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void paintHighlight(QPainter& painter) const;

private:
    bool hovered_ = false;
};

class ToolbarIconButton final : public HoverButton {
public:
    ToolbarIconButton(const QString& title, const QIcon& icon, QWidget* parent = nullptr);

    bool indicatesSelection = false;
    const QString& title() const { return title_; }
    void setSymbol(const QIcon& icon) {
        icon_ = icon;
        update();
    }
    QSize sizeHint() const override { return QSize(30, 30); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString title_;
    QIcon icon_;
};

class ColorSwatchButton final : public HoverButton {
public:
    ColorSwatchButton(const QString& name, const QColor& color, QWidget* parent = nullptr);

    const QColor color;
    QSize sizeHint() const override { return QSize(22, 30); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

class StrokeWidthButton final : public HoverButton {
public:
    StrokeWidthButton(const QString& name, double width, QWidget* parent = nullptr);

    const QString name;
    const double strokeWidth;
    QSize sizeHint() const override { return QSize(24, 30); }

protected:
    void paintEvent(QPaintEvent* event) override;
};

// An icon from our own artwork, drawn in `color`.
QIcon toolbarIcon(const QString& name, const QColor& color = QColor(40, 40, 40));

// The mosaic tool's icon, drawn rather than taken from a file.
QIcon mosaicIcon();

} // namespace korvel
