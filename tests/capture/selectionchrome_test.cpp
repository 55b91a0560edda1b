#include "capture/selectionchrome.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QMouseEvent>
#include <QPainter>

using namespace korvel;

namespace {

// A 400 × 300 overlay; points are display-local (y up).
struct Chrome : ::testing::Test {
    QWidget overlay;
    SelectionChrome* chrome = new SelectionChrome(&overlay);
    std::vector<QRectF> changes;
    std::vector<bool> adjusting;
    int copies = 0;

    void SetUp() override {
        overlay.resize(400, 300);
        chrome->resize(400, 300);
        chrome->setSelection(QRectF(100, 100, 200, 100));
        chrome->onChange = [this](const QRectF& r) {
            changes.push_back(r);
            chrome->setSelection(r);
        };
        chrome->onAdjustingChanged = [this](bool on) { adjusting.push_back(on); };
        chrome->onCopy = [this] { ++copies; };
    }
    bool send(QEvent::Type type, QPointF p) {
        const QPointF w(p.x(), 300 - p.y());
        QMouseEvent e(type, w, chrome->mapToGlobal(w),
                      type == QEvent::MouseMove ? Qt::NoButton : Qt::LeftButton,
                      type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton,
                      Qt::NoModifier);
        QApplication::sendEvent(chrome, &e);
        return e.isAccepted();
    }
};

QImage drawn(const QRectF& selection) {
    QImage image(100, 100, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::black);
    QPainter painter(&image);
    drawSelectionBorder(painter, selection);
    drawSelectionHandles(painter, selection);
    return image;
}

} // namespace

// Where the handles stop: SelectionAdjustment; here only that drags reach it.
TEST_F(Chrome, DraggingAHandleProposesTheAdjustedSelection) {
    EXPECT_TRUE(send(QEvent::MouseButtonPress, QPointF(100, 150))); // left handle
    send(QEvent::MouseMove, QPointF(400, 150));
    send(QEvent::MouseButtonRelease, QPointF(400, 150));
    ASSERT_FALSE(changes.empty());
    EXPECT_EQ(changes.back(), QRectF(297, 100, 3, 100));
    EXPECT_EQ(adjusting, (std::vector<bool>{true, false}));
}

TEST_F(Chrome, TheInteriorPassesThroughWhenNotMovingAndDoubleClicksCopyWhereClaimed) {
    send(QEvent::MouseButtonDblClick, QPointF(300, 200)); // a corner
    send(QEvent::MouseButtonDblClick, QPointF(200, 150)); // the interior, moving
    EXPECT_EQ(copies, 2);
    EXPECT_TRUE(chrome->mask().contains(QPoint(200, 150)));
    chrome->setMoving(false);
    EXPECT_FALSE(chrome->handle(QPointF(200, 150)));
    EXPECT_FALSE(chrome->mask().contains(QPoint(200, 150)));
    EXPECT_TRUE(chrome->mask().contains(QPoint(100, 150))); // left edge band
    EXPECT_FALSE(chrome->mask().contains(QPoint(20, 20)));  // outside
    EXPECT_FALSE(send(QEvent::MouseButtonPress, QPointF(200, 150)));
    send(QEvent::MouseButtonDblClick, QPointF(200, 150));
    EXPECT_EQ(copies, 2);
}

TEST(SelectionDrawing, SmallSelectionsShowSideHandlesOnly) {
    const QImage small = drawn(QRectF(40, 40, 20, 20));
    EXPECT_EQ(small.pixel(50, 40), qRgb(255, 255, 255)); // side handle centre
    EXPECT_NE(small.pixel(40, 40), qRgb(255, 255, 255)); // no corner on 20 × 20
    const QImage big = drawn(QRectF(20, 20, 60, 60));
    EXPECT_EQ(big.pixel(20, 20), qRgb(255, 255, 255));
    EXPECT_EQ(big.pixel(35, 21), selectionBorderColor().rgb()); // the border, 3 wide
    EXPECT_EQ(big.pixel(50, 50), qRgb(0, 0, 0));
}

// Its text and place: SizeBadge.TextAndPlacement.
TEST(SelectionSizeBadge, ShowsPixelsAndHidesWithoutSelection) {
    QWidget overlay;
    overlay.resize(400, 300);
    SelectionSizeBadge badge(&overlay);
    const auto update = [&badge](std::optional<QRectF> selection) {
        badge.update(selection, QSizeF(400, 300), QSize(800, 600), QRectF(0, 0, 400, 300));
    };
    update(QRectF(100, 100, 100.5, 50));
    EXPECT_EQ(badge.text(), QStringLiteral("201 × 100 px"));
    EXPECT_FALSE(badge.isHidden());
    EXPECT_EQ(badge.geometry().y(), 300 - (150 + 8 + 24)); // above the selection
    EXPECT_TRUE(badge.testAttribute(Qt::WA_TransparentForMouseEvents));
    badge.onEdit = [] {};
    update(QRectF(0, 250, 400, 50));
    EXPECT_FALSE(badge.testAttribute(Qt::WA_TransparentForMouseEvents));
    update(std::nullopt);
    EXPECT_TRUE(badge.isHidden());
}
