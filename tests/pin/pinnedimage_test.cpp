#include "../testpng.h"
#include "pin/pinnedimage.h"
#include "pin/pinnedimageview.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QScreen>
#include <QSlider>
#include <QWheelEvent>
#include <QWidgetAction>

using namespace korvel;

namespace {

// One pixel per cell, every neighbour different, so any resampling shows.
QImage pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 37) & 0xff, (y * 59) & 0xff, ((x + y) & 1) * 255));
    }
    return image;
}

// The view painted into an image of `ratio` device pixels per point.
QImage rendered(PinnedImageView& view, double ratio) {
    QImage out(int(view.width() * ratio), int(view.height() * ratio), QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::black);
    view.render(&out);
    out.setDevicePixelRatio(1);
    return out;
}

void wheel(PinnedImageView& view, QPointF local, int angle, Qt::KeyboardModifiers modifiers = {}) {
    QWheelEvent event(local, view.mapToGlobal(local), QPoint(), QPoint(0, angle), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&view, &event);
}

QRectF centreFrame(QSizeF size) {
    const QRectF screen = QGuiApplication::primaryScreen()->availableGeometry();
    return {screen.center().x() - size.width() / 2, screen.center().y() - size.height() / 2,
            size.width(), size.height()};
}

QStringList titles(const QMenu& menu) {
    QStringList list;
    for (const QAction* a : menu.actions())
        list << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return list;
}

} // namespace

// Files that are no image: e2e.Pin.
TEST(PinnedImage, RefusesFramesWithoutArea) {
    const QByteArray png = pngOf(pattern(4, 4));
    EXPECT_FALSE(PinnedImage::create(png, QRectF(0, 0, 0, 10)));
    EXPECT_FALSE(PinnedImage::create(png, QRectF(0, 0, 10, -1)));
    EXPECT_FALSE(PinnedImage::create(png, QRectF(0, 0, qInf(), 10)));
    auto pin = PinnedImage::create(png, QRectF(5, 6, 40, 30));
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->window()->geometry(), QRect(5, 6, 40, 30));
    EXPECT_EQ(pin->window()->windowTitle(), QStringLiteral("Korvel · 贴图"));
    EXPECT_TRUE(pin->window()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(pin->window()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(
        pin->view()->toolTip(),
        QStringLiteral("滚轮缩放 · 右键调透明度 · Alt+滚轮调透明度 · 双击恢复大小 · Esc 关闭"));
}

TEST(PinnedImage, ShowsTheCapturedPixelsExactlyAndStaysSharpWhenZoomed) {
    const QImage image = pattern(50, 40);
    auto pin = PinnedImage::create(pngOf(image), centreFrame(QSizeF(50, 40)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    PinnedImageView& view = *pin->view();
    EXPECT_EQ(rendered(view, 1), image);

    // Twice the size: every pixel becomes a 2 × 2 block of the same colour.
    pin->setZoom(2);
    ASSERT_EQ(view.size(), QSize(100, 80));
    const QImage big = rendered(view, 1);
    EXPECT_EQ(big, image.scaled(100, 80, Qt::IgnoreAspectRatio, Qt::FastTransformation));

    // Below 100 % the image is averaged, not sampled: the alternating blue
    // channel becomes a middle value instead of staying 0 or 255.
    pin->setZoom(0.5);
    const QImage small = rendered(view, 1);
    const int blue = qBlue(small.pixel(10, 10));
    EXPECT_GT(blue, 60);
    EXPECT_LT(blue, 195);
}

TEST(PinnedImage, IsExactAtEveryDevicePixelRatio) {
    // A capture at ratio 2 has two pixels per point.
    const QImage image = pattern(60, 40);
    auto pin = PinnedImage::create(pngOf(image), centreFrame(QSizeF(30, 20)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    EXPECT_EQ(rendered(*pin->view(), 2), image);
    pin->setZoom(2);
    EXPECT_EQ(rendered(*pin->view(), 2),
              image.scaled(120, 80, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    // The same pin on a ratio-1 screen at zoom 2 shows each pixel once.
    EXPECT_EQ(rendered(*pin->view(), 1), image);
}

TEST(PinnedImage, WheelZoomsAboutThePointerWithinItsLimits) {
    auto pin = PinnedImage::create(pngOf(pattern(200, 50)), centreFrame(QSizeF(200, 50)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    PinnedImageView& view = *pin->view();
    const QPointF local(25, 5);
    const QPoint global = view.mapToGlobal(local.toPoint());
    wheel(view, local, 120);
    const double notch = std::pow(1.03, QApplication::wheelScrollLines());
    EXPECT_NEAR(pin->zoom(), notch, 1e-9);
    // The image point under the pointer stayed under it (within rounding).
    const QPoint after = view.mapToGlobal(QPoint(int(25 * notch), int(5 * notch)));
    EXPECT_LE((after - global).manhattanLength(), 2);

    for (int i = 0; i < 60; ++i)
        wheel(view, QPointF(10, 10), -120);
    // The smaller side stops at 32 points: 128 × 32.
    EXPECT_DOUBLE_EQ(pin->zoom(), 0.64);
    EXPECT_EQ(pin->window()->size(), QSize(128, 32));
    for (int i = 0; i < 60; ++i)
        wheel(view, QPointF(10, 10), 120);
    EXPECT_DOUBLE_EQ(pin->zoom(), 4.0);
    EXPECT_EQ(pin->window()->size(), QSize(800, 200));

    // A huge touchpad sweep is clamped to ten lines.
    pin->setZoom(1);
    QWheelEvent sweep(QPointF(10, 10), view.mapToGlobal(QPointF(10, 10)), QPoint(0, 100000),
                      QPoint(0, 0), Qt::NoButton, Qt::NoModifier, Qt::ScrollUpdate, false);
    QApplication::sendEvent(&view, &sweep);
    EXPECT_NEAR(pin->zoom(), std::pow(1.03, 10), 1e-9);
}

TEST(PinnedImage, ZoomKeepsTheCentreAndThirtyTwoPointsOnScreen) {
    auto pin = PinnedImage::create(pngOf(pattern(40, 40)), centreFrame(QSizeF(40, 40)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    const QPoint centre = pin->window()->geometry().center();
    pin->setZoom(3);
    EXPECT_LE((pin->window()->geometry().center() - centre).manhattanLength(), 2);
    pin->setZoom(qQNaN());
    EXPECT_DOUBLE_EQ(pin->zoom(), 3);

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    pin->window()->move(screen.right() - 5, screen.bottom() - 5);
    pin->setZoom(4);
    const QRect g = pin->window()->geometry();
    EXPECT_GE(QRect(g).intersected(screen).width(), 32);
    EXPECT_GE(QRect(g).intersected(screen).height(), 32);
    // Double click restores the size and keeps the translucency.
    pin->setOpacity(0.5);
    QMouseEvent press(QEvent::MouseButtonDblClick, QPointF(5, 5),
                      pin->view()->mapToGlobal(QPointF(5, 5)), Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(pin->view(), &press);
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
    EXPECT_EQ(pin->window()->size(), QSize(40, 40));
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.5);
}

TEST(PinnedImage, OpacityStepsLimitsAndTheSlider) {
    auto pin = PinnedImage::create(pngOf(pattern(40, 40)), centreFrame(QSizeF(40, 40)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    QSlider& slider = *pin->transparencySlider();
    QLabel& label = *pin->transparencyLabel();
    EXPECT_EQ(slider.minimum(), 0);
    EXPECT_EQ(slider.maximum(), 80);
    EXPECT_EQ(label.text(), QStringLiteral("0%"));

    slider.setValue(80);
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.2);
    EXPECT_NEAR(pin->window()->windowOpacity(), 0.2, 0.01);
    EXPECT_EQ(label.text(), QStringLiteral("80%"));
    pin->resetOpacity();
    EXPECT_DOUBLE_EQ(pin->opacity(), 1);
    EXPECT_EQ(slider.value(), 0);
    EXPECT_EQ(label.text(), QStringLiteral("0%"));

    // Alt or Control with the wheel fade the pin and move the slider; the
    // zoom stays.
    wheel(*pin->view(), QPointF(5, 5), -120, Qt::ControlModifier);
    const double step = 0.02 * QApplication::wheelScrollLines();
    EXPECT_NEAR(pin->opacity(), 1 - step, 1e-9);
    EXPECT_EQ(slider.value(), qRound(step * 100));
    EXPECT_EQ(label.text(), QString::number(qRound(step * 100)) + u'%');
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
    QWheelEvent alt(QPointF(5, 5), pin->view()->mapToGlobal(QPointF(5, 5)), QPoint(),
                    QPoint(-120, 0), Qt::NoButton, Qt::AltModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(pin->view(), &alt);
    EXPECT_NEAR(pin->opacity(), 1 - 2 * step, 1e-9);
    for (int i = 0; i < 20; ++i)
        wheel(*pin->view(), QPointF(5, 5), -120, Qt::AltModifier);
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.2);
    pin->setOpacity(qInf());
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.2);
    pin->setOpacity(7);
    EXPECT_DOUBLE_EQ(pin->opacity(), 1);
}

TEST(PinnedImage, MenuHoldsItsItemsInOrder) {
    auto pin = PinnedImage::create(pngOf(pattern(40, 40)), centreFrame(QSizeF(40, 40)));
    ASSERT_TRUE(pin);
    QMenu& menu = *pin->menu();
    EXPECT_EQ(titles(menu), (QStringList{QStringLiteral("复制"), QStringLiteral("关闭贴图"),
                                         QStringLiteral("-"), QStringLiteral("恢复原始大小"),
                                         QStringLiteral("透明度"), QStringLiteral("恢复不透明")}));
    EXPECT_EQ(menu.actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
    EXPECT_EQ(menu.actions()[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));
    auto* panel = qobject_cast<QWidgetAction*>(menu.actions()[4])->defaultWidget();
    EXPECT_EQ(panel->size(), QSize(240, 64));
    EXPECT_EQ(pin->transparencySlider()->accessibleName(), QStringLiteral("透明度"));
    EXPECT_EQ(pin->transparencySlider()->geometry(), QRect(20, 32, 200, 24));

    pin->setZoom(2);
    menu.actions()[3]->trigger();
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
    pin->setOpacity(0.3);
    menu.actions()[5]->trigger();
    EXPECT_DOUBLE_EQ(pin->opacity(), 1);
}

// Control-C puts the file's bytes on the clipboard: e2e.Pin.
TEST(PinnedImage, ControlZeroRestoresTheSize) {
    auto pin = PinnedImage::create(pngOf(pattern(60, 40)), centreFrame(QSizeF(60, 40)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    pin->setZoom(2.5);
    QKeyEvent reset(QEvent::KeyPress, Qt::Key_0, Qt::ControlModifier, QStringLiteral("0"));
    QApplication::sendEvent(pin->view(), &reset);
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
}

TEST(PinnedImage, EscapeClosesOnlyThatPinAndReportsOnce) {
    const QByteArray png = pngOf(pattern(30, 20));
    auto first = PinnedImage::create(png, centreFrame(QSizeF(30, 20)));
    auto second = PinnedImage::create(png, centreFrame(QSizeF(30, 20)));
    ASSERT_TRUE(first && second);
    int firstClosed = 0, secondClosed = 0;
    first->onClose = [&] { ++firstClosed; };
    second->onClose = [&] { ++secondClosed; };
    first->showWindow();
    second->showWindow();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(second->view(), &escape);
    EXPECT_EQ(secondClosed, 1);
    EXPECT_EQ(firstClosed, 0);
    EXPECT_TRUE(second->isClosed());
    EXPECT_FALSE(second->window()->isVisible());
    EXPECT_TRUE(first->window()->isVisible());
    // A closed pin neither closes again nor comes back.
    second->closePin();
    second->showWindow();
    second->setZoom(2);
    EXPECT_EQ(secondClosed, 1);
    EXPECT_FALSE(second->window()->isVisible());
    EXPECT_DOUBLE_EQ(second->zoom(), 1);
    first->menu()->actions()[1]->trigger();
    EXPECT_EQ(firstClosed, 1);
    // Destroying an open pin is not a close.
    auto third = PinnedImage::create(png, centreFrame(QSizeF(30, 20)));
    int thirdClosed = 0;
    third->onClose = [&] { ++thirdClosed; };
    third->showWindow();
    third.reset();
    EXPECT_EQ(thirdClosed, 0);
}

TEST(PinnedImage, DraggingMovesTheWindow) {
    auto pin = PinnedImage::create(pngOf(pattern(60, 60)), centreFrame(QSizeF(60, 60)));
    ASSERT_TRUE(pin);
    pin->showWindow();
    PinnedImageView& view = *pin->view();
    const QPoint start = pin->window()->pos();
    const QPointF at(10, 10);
    const QPointF global = view.mapToGlobal(at);
    QMouseEvent press(QEvent::MouseButtonPress, at, global, Qt::LeftButton, Qt::LeftButton,
                      Qt::NoModifier);
    QApplication::sendEvent(&view, &press);
    QMouseEvent move(QEvent::MouseMove, at + QPointF(30, 20), global + QPointF(30, 20),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &move);
    QMouseEvent release(QEvent::MouseButtonRelease, at + QPointF(30, 20), global + QPointF(30, 20),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(&view, &release);
    EXPECT_EQ(pin->window()->pos(), start + QPoint(30, 20));
    // Zooming after the drag keeps the new place.
    pin->setZoom(2);
    EXPECT_LE((pin->window()->geometry().center() - (start + QPoint(60, 50))).manhattanLength(), 2);
}
