#include "../capture/testevents.h"
#include "../qtprinters.h"
#include "../testpng.h"
#include "pin/pingeometry.h"
#include "pin/pinnedimage.h"
#include "pin/pinnedimageview.h"

#include <gtest/gtest.h>
#include <QLabel>
#include <QMenu>
#include <QScreen>
#include <QSlider>

using namespace korvel;

namespace {

// One pixel per cell, every neighbour different, so any resampling shows.
QImage pattern(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            image.setPixel(x, y, qRgb((x * 37) & 0xff, (y * 59) & 0xff, ((x + y) & 1) * 255));
    return image;
}

// A shown pin of `image`, `points` large, in the middle of the screen.
std::unique_ptr<PinnedImage> pinOf(const QImage& image, QSizeF points = {}) {
    if (points.isEmpty())
        points = image.size();
    const QPointF centre = QGuiApplication::primaryScreen()->availableGeometry().center();
    auto pin = PinnedImage::create(
        pngOf(image), QRectF(centre - QPointF(points.width(), points.height()) / 2, points));
    if (pin)
        pin->showWindow();
    return pin;
}

// The view painted into an image of `ratio` device pixels per point.
QImage rendered(PinnedImage& pin, double ratio = 1) {
    PinnedImageView& view = *pin.view();
    QImage out(int(view.width() * ratio), int(view.height() * ratio), QImage::Format_RGB32);
    out.setDevicePixelRatio(ratio);
    out.fill(Qt::black);
    view.render(&out);
    out.setDevicePixelRatio(1);
    return out;
}

} // namespace

// Files that are no image: e2e.Instance.
TEST(PinnedImage, RefusesFramesWithoutAreaAndHoldsItsMenuInOrder) {
    const QByteArray png = pngOf(pattern(4, 4));
    for (const QRectF frame : {QRectF(0, 0, 0, 10), QRectF(0, 0, 10, -1), QRectF(0, 0, qInf(), 10)})
        EXPECT_FALSE(PinnedImage::create(png, frame)) << frame.width();
    auto pin = PinnedImage::create(png, QRectF(5, 6, 40, 30));
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->window()->geometry(), QRect(5, 6, 40, 30));
    EXPECT_TRUE(pin->window()->windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_TRUE(pin->window()->windowFlags() & Qt::FramelessWindowHint);
    EXPECT_EQ(
        pin->view()->toolTip(),
        QStringLiteral("滚轮缩放 · 右键调透明度 · Alt+滚轮调透明度 · 双击恢复大小 · Esc 关闭"));
    QStringList titles;
    for (const QAction* a : pin->menu()->actions())
        titles << (a->isSeparator() ? QStringLiteral("-") : a->text());
    EXPECT_EQ(titles,
              QString::fromUtf8("复制 关闭贴图 - 恢复原始大小 透明度 恢复不透明").split(u' '));
    EXPECT_EQ(pin->menu()->actions()[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_C));
}

// At ratio 1 and zoom 1 the screen shows the file's pixels: e2e.Instance.
TEST(PinnedImage, ShowsTheCapturedPixelsExactlyAtEveryRatioAndStaysSharpWhenZoomed) {
    const QImage image = pattern(60, 40);
    auto retina = pinOf(image, QSizeF(30, 20)); // two pixels per point
    ASSERT_TRUE(retina);
    EXPECT_EQ(rendered(*retina, 2), image);
    retina->setZoom(2); // every pixel a 2 × 2 block of the same colour
    EXPECT_EQ(rendered(*retina, 2),
              image.scaled(image.size() * 2, Qt::IgnoreAspectRatio, Qt::FastTransformation));
    EXPECT_EQ(rendered(*retina, 1), image); // zoom 2 on a ratio-1 screen: each pixel once
    // Below 100 % the image is averaged, not sampled: alternating blue becomes a middle value.
    auto pin = pinOf(image);
    pin->setZoom(0.5);
    const int blue = qBlue(rendered(*pin).pixel(10, 10));
    EXPECT_GT(blue, 60);
    EXPECT_LT(blue, 195);
}

TEST(PinnedImage, WheelZoomsAboutThePointerWithinItsLimits) {
    auto pin = pinOf(pattern(200, 50));
    ASSERT_TRUE(pin);
    const QPoint global = pin->view()->mapToGlobal(QPoint(25, 5));
    test::wheel(pin->view(), {25, 5}, QPoint(0, 120));
    const double notch = std::pow(1.03, QApplication::wheelScrollLines());
    EXPECT_NEAR(pin->zoom(), notch, 1e-9);
    // The image point under the pointer stayed under it (within rounding).
    const QPoint after = pin->view()->mapToGlobal(QPoint(int(25 * notch), int(5 * notch)));
    EXPECT_LE((after - global).manhattanLength(), 2);

    for (const auto& [delta, zoom, size] :
         {std::tuple(-120, 0.64, QSize(128, 32)), std::tuple(120, 4.0, QSize(800, 200))}) {
        for (int i = 0; i < 60; ++i)
            test::wheel(pin->view(), {10, 10}, QPoint(0, delta));
        EXPECT_DOUBLE_EQ(pin->zoom(), zoom);
        EXPECT_EQ(pin->window()->size(), size);
    }

    // A huge touchpad sweep is clamped to ten lines.
    pin->setZoom(1);
    QWheelEvent sweep(QPointF(10, 10), pin->view()->mapToGlobal(QPointF(10, 10)), QPoint(0, 100000),
                      QPoint(0, 0), Qt::NoButton, Qt::NoModifier, Qt::ScrollUpdate, false);
    QApplication::sendEvent(pin->view(), &sweep);
    EXPECT_NEAR(pin->zoom(), std::pow(1.03, 10), 1e-9);
}

TEST(PinnedImage, ZoomKeepsTheCentreADragLeftAndThirtyTwoPointsOnScreenAndResetsToOne) {
    auto pin = pinOf(pattern(40, 40));
    ASSERT_TRUE(pin);
    const QPoint start = pin->window()->pos();
    test::drag(pin->view(), QPointF(10, 10), QPointF(40, 30), 1);
    EXPECT_EQ(pin->window()->pos(), start + QPoint(30, 20));
    const QPoint centre = pin->window()->geometry().center();
    pin->setZoom(3);
    EXPECT_LE((pin->window()->geometry().center() - centre).manhattanLength(), 2);
    pin->setZoom(qQNaN());
    EXPECT_DOUBLE_EQ(pin->zoom(), 3);

    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    pin->window()->move(screen.right() - 5, screen.bottom() - 5);
    pin->setZoom(4);
    const QRect shown = pin->window()->geometry().intersected(screen);
    EXPECT_GE(shown.width(), 32);
    EXPECT_GE(shown.height(), 32);
    // Control-0 restores the size, keeping the translucency; a double click: e2e.
    pin->setOpacity(0.5);
    test::key(pin->view(), Qt::Key_0, Qt::ControlModifier);
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
    EXPECT_EQ(pin->window()->size(), QSize(40, 40));
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.5);
}

TEST(PinnedImage, OpacityFollowsTheSliderTheWheelAndItsLimits) {
    auto pin = pinOf(pattern(40, 40));
    ASSERT_TRUE(pin);
    QSlider& slider = *pin->transparencySlider();
    QLabel& label = *pin->transparencyLabel();
    EXPECT_EQ(slider.maximum(), 80);
    slider.setValue(80);
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.2);
    EXPECT_EQ(label.text(), QStringLiteral("80%"));
    pin->menu()->actions()[5]->trigger(); // "恢复不透明"
    EXPECT_DOUBLE_EQ(pin->opacity(), 1);
    EXPECT_EQ(slider.value(), 0);

    // Alt or Control with the wheel fade the pin and move the slider; the zoom stays.
    test::wheel(pin->view(), {10, 10}, QPoint(0, -120), Qt::ControlModifier);
    const double step = 0.02 * QApplication::wheelScrollLines();
    EXPECT_NEAR(pin->opacity(), 1 - step, 1e-9);
    EXPECT_EQ(label.text(), QString::number(qRound(step * 100)) + u'%');
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
    test::wheel(pin->view(), {10, 10}, QPoint(-120, 0), Qt::AltModifier); // Alt: sideways
    EXPECT_NEAR(pin->opacity(), 1 - 2 * step, 1e-9);
    for (int i = 0; i < 20; ++i)
        test::wheel(pin->view(), {10, 10}, QPoint(0, -120), Qt::AltModifier);
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.2);
    pin->setOpacity(qInf());
    EXPECT_DOUBLE_EQ(pin->opacity(), 0.2);
    pin->setOpacity(7);
    EXPECT_DOUBLE_EQ(pin->opacity(), 1);
}

// Control-C and other pins staying: e2e.Instance,
// Delegate.PinsAreIndependentAndLeaveTheMapWhenClosed.
TEST(PinnedImage, EscapeClosesAndReportsOnceAndAClosedPinStaysClosed) {
    auto pin = pinOf(pattern(30, 20));
    ASSERT_TRUE(pin);
    int closed = 0;
    pin->onClose = [&] { ++closed; };
    test::key(pin->view(), Qt::Key_Escape);
    EXPECT_EQ(closed, 1);
    EXPECT_TRUE(pin->isClosed());
    EXPECT_FALSE(pin->window()->isVisible());
    pin->closePin();
    pin->showWindow();
    pin->setZoom(2);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(pin->window()->isVisible());
    EXPECT_DOUBLE_EQ(pin->zoom(), 1);
    // Destroying an open pin is not a close.
    auto other = pinOf(pattern(30, 20));
    other->onClose = [&] { ++closed; };
    other.reset();
    EXPECT_EQ(closed, 1);
}

// Zoom stops at 32 points and 4×, and 32 points stay on screen; their use: PinnedImage tests.
TEST(PinGeometry, ZoomAndPlacementKeepThirtyTwoPointsInWholePixels) {
    // 32 points on a side of 5 would need more than 4×; the two limits met: the wheel case.
    const std::tuple<double, QSizeF, double> zooms[] = {
        {0.01, {4000, 3000}, 0.1}, {1, {5, 200}, 4.0}, {1, {0, 0}, 1.0}};
    for (const auto& [zoom, size, expected] : zooms)
        EXPECT_DOUBLE_EQ(pin::clampZoom(zoom, size), expected) << zoom;
    const QRectF visible(0, 20, 1000, 700);
    const std::pair<QRectF, QRectF> cases[] = {{{-500, 0, 400, 300}, {-368, 0, 400, 300}},
                                               {{0, -500, 400, 300}, {0, -248, 400, 300}},
                                               {{2000, 900, 400, 300}, {968, 688, 400, 300}},
                                               {{10, 30, 400, 300}, {10, 30, 400, 300}}};
    for (const auto& [frame, expected] : cases)
        EXPECT_EQ(pin::keepOnScreen(frame, visible), expected) << frame.x();
    // Wider than the screen can hold both ways: the upper bound wins.
    EXPECT_EQ(pin::keepOnScreen(QRectF(-100, -100, 10, 10), QRectF(0, 0, 20, 20)),
              QRectF(-12, -12, 10, 10));
    EXPECT_EQ(pin::windowGeometry(QRectF(10.4, 20.6, 99.6, 0.2)), QRect(10, 21, 100, 1));
    EXPECT_EQ(pin::windowGeometry(QRectF(-1e12, 1e12, 5, 5)), QRect(-1000000, 1000000, 5, 5));
    EXPECT_EQ(pin::transparencyPercent(0.555), 44);
}
