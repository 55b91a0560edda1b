#pragma once

// Window images with known panels, drawn in points at any scale, for the
// child-region tests, their benchmark and the self-check.

#include <QImage>
#include <QPainter>
#include <QRectF>

#include <vector>

namespace korvel::scenes {

// A display of `screen` points at `scale` holding one window at the
// display-local rectangle `window`; `draw` paints the window's content in
// window points, y down from its top-left.
template <typename Draw>
QImage display(QSizeF screen, double scale, const QRectF& window, Draw&& draw) {
    QImage image(int(screen.width() * scale), int(screen.height() * scale),
                 QImage::Format_ARGB32_Premultiplied);
    image.fill(QColor(30, 30, 30));
    QPainter p(&image);
    p.scale(scale, scale);
    p.translate(window.x(), screen.height() - window.y() - window.height());
    p.setClipRect(QRectF(0, 0, window.width(), window.height()));
    draw(p);
    return image;
}

// A y-down rectangle inside the window as display-local points.
inline QRectF local(const QRectF& window, const QRectF& inWindow) {
    return QRectF(window.x() + inWindow.x(),
                  window.y() + window.height() - inWindow.y() - inWindow.height(), inWindow.width(),
                  inWindow.height());
}

// A white card with a 1-point grey outline, its text lines and a dark
// button too small to count.
inline void card(QPainter& p, const QRectF& r) {
    p.fillRect(r, QColor(200, 200, 205));
    p.fillRect(r.adjusted(1, 1, -1, -1), Qt::white);
    p.fillRect(QRectF(r.x() + 12, r.y() + 14, r.width() * 0.5, 8), QColor(60, 60, 60));
    p.fillRect(QRectF(r.x() + 12, r.y() + 30, r.width() * 0.35, 8), QColor(120, 120, 120));
    p.fillRect(QRectF(r.x() + 12, r.y() + r.height() - 34, 60, 22), QColor(40, 110, 230));
}

// A 1000 × 700 window: a toolbar with icons across the top, a white sidebar
// with list rows on the left and a 3 × 3 grid of cards. Returns the panels as
// y-down window rectangles.
inline std::vector<QRectF> appWindow(QPainter& p) {
    p.fillRect(QRectF(0, 0, 1000, 700), QColor(240, 240, 240));
    const QRectF toolbar(0, 0, 1000, 60), sidebar(0, 60, 220, 640);
    p.fillRect(toolbar, QColor(222, 224, 228));
    for (int i = 0; i < 8; ++i)
        p.fillRect(QRectF(16 + i * 44, 16, 28, 28), QColor(90, 90, 100));
    p.fillRect(sidebar, Qt::white);
    for (int i = 0; i < 10; ++i)
        p.fillRect(QRectF(16, 84 + i * 36, 140, 10), QColor(100, 100, 100));
    std::vector<QRectF> panels{toolbar, sidebar};
    for (int row = 0; row < 3; ++row) {
        for (int col = 0; col < 3; ++col) {
            const QRectF r(250 + col * 245, 90 + row * 200, 220, 170);
            card(p, r);
            panels.push_back(r);
        }
    }
    return panels;
}

// A 1536 × 960 window holding 40 cards in a 8 × 5 grid, for timing.
inline void fortyPanels(QPainter& p) {
    p.fillRect(QRectF(0, 0, 1536, 960), QColor(240, 240, 240));
    for (int row = 0; row < 5; ++row) {
        for (int col = 0; col < 8; ++col)
            card(p, QRectF(16 + col * 190, 16 + row * 188, 174, 172));
    }
}

} // namespace korvel::scenes
