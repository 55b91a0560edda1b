#include "../testpng.h"
#include "../testwait.h"
#include "app/appdelegate.h"
#include "app/shortcutdialog.h"
#include "platform/fake/fakeplatform.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QThread>
#include <QWidget>

using namespace korvel;

namespace {

// A press as X reports it: the keysym it typed, here the unshifted one.
bool press(QWidget& target, int qtKey, quint32 keysym, Qt::KeyboardModifiers modifiers) {
    QKeyEvent event(QEvent::KeyPress, qtKey, modifiers, 0, keysym, 0);
    return QApplication::sendEvent(&target, &event) && event.isAccepted();
}

// The shortcut and, below it, why the last press made none.
QStringList shownTexts(QMessageBox& box) {
    QStringList texts;
    for (QLabel* l : box.findChildren<QLabel*>()) {
        if (!l->text().isEmpty() && l->text() != box.text() && l->text() != box.informativeText())
            texts << l->text();
    }
    return texts;
}

QByteArray png(int w, int h) {
    return filledPng(QSize(w, h), Qt::darkCyan);
}

struct ShortcutDelegate : ::testing::Test {
    fake::Platform fake;
    std::unique_ptr<AppDelegate> delegate;
    std::vector<QString> alerts;
    // Runs inside the dialog: presses keys, then answers.
    std::function<int(QMessageBox&)> inDialog;

    void SetUp() override {
        QSettings().clear();
        fake.accessibility->trusted = true;
        delegate = std::make_unique<AppDelegate>(*fake.platform, nullptr);
        delegate->runAlert = [this](QMessageBox& box) {
            alerts.push_back(box.text() + u'|' + box.informativeText());
            if (box.text() == QStringLiteral("设置截图快捷键") && inDialog)
                return inDialog(box);
            return 0;
        };
        delegate->applicationDidFinishLaunching();
        QCoreApplication::processEvents();
        alerts.clear();
    }
};

} // namespace

TEST_F(ShortcutDelegate, DialogRecordsACombinationAndSavesIt) {
    QString shown;
    inDialog = [&](QMessageBox& box) {
        EXPECT_TRUE(delegate->isConfiguring());
        QStringList buttons;
        for (QAbstractButton* b : box.buttons())
            buttons << b->text();
        EXPECT_EQ(buttons, (QStringList{QStringLiteral("保存"), QStringLiteral("取消"),
                                        QStringLiteral("恢复默认 Ctrl+1")}));
        EXPECT_EQ(box.defaultButton()->text(), QStringLiteral("保存"));
        // Shift-A alone is no shortcut: passed on, the label keeps "Ctrl+1"
        // and the line below says why.
        press(box, Qt::Key_A, 'a', Qt::ShiftModifier);
        EXPECT_EQ(
            shownTexts(box),
            (QStringList{QStringLiteral("Ctrl+1"),
                         QStringLiteral("Shift+A 不能用作快捷键，需包含 Super、Alt 或 Ctrl。")}));
        // So is a key that has no code; a modifier on its own is not yet a mistake.
        press(box, Qt::Key_Launch0, 0x1008ff2b, Qt::ControlModifier);
        EXPECT_EQ(shownTexts(box).value(1), QStringLiteral("这个键不能用作快捷键。"));
        press(box, Qt::Key_Control, 0xffe3, Qt::ControlModifier);
        EXPECT_EQ(shownTexts(box).value(1), QStringLiteral("这个键不能用作快捷键。"));
        // Print works alone.
        EXPECT_TRUE(press(box, Qt::Key_Print, 0xff61, Qt::NoModifier));
        EXPECT_EQ(shownTexts(box), QStringList{QStringLiteral("Print")});
        // Control-Shift-A is taken and consumed.
        press(box, Qt::Key_A, 'a', Qt::ControlModifier | Qt::ShiftModifier);
        shown = shownTexts(box).value(0);
        // A capture request while the dialog runs is dropped.
        delegate->takeScreenshot();
        EXPECT_FALSE(delegate->isCapturing());
        return int(ShortcutDialog::save);
    };
    delegate->configureShortcut();
    EXPECT_EQ(shown, QStringLiteral("Ctrl+Shift+A"));
    EXPECT_FALSE(delegate->isConfiguring());
    EXPECT_EQ(delegate->shortcut(), (CaptureShortcut{0, 4608, QStringLiteral("Ctrl+Shift+A")}));
    EXPECT_EQ(delegate->captureMenuItem()->text(), QStringLiteral("截图  Ctrl+Shift+A"));
    EXPECT_EQ(*fake.hotKeys->active, std::pair(0u, 4608u));
    EXPECT_EQ(CaptureShortcut::load(QSettings()), delegate->shortcut());

    // Saving the active combination again does not register anew.
    const int registrations = fake.hotKeys->registrations;
    inDialog = [](QMessageBox&) { return int(ShortcutDialog::save); };
    delegate->configureShortcut();
    EXPECT_EQ(fake.hotKeys->registrations, registrations);

    // "恢复默认 Ctrl+1" registers and stores the default.
    inDialog = [](QMessageBox&) { return int(ShortcutDialog::restoreDefault); };
    delegate->configureShortcut();
    EXPECT_EQ(delegate->shortcut(), CaptureShortcut{});
    EXPECT_EQ(*fake.hotKeys->active, std::pair(18u, 4096u));
    EXPECT_EQ(QSettings().value(QStringLiteral("captureShortcutLabel")).toString(),
              QStringLiteral("Ctrl+1"));
    EXPECT_EQ(alerts.size(), 3u);
}

TEST_F(ShortcutDelegate, NoModifierEscapeAndCancelChangeNothing) {
    QString label;
    inDialog = [&](QMessageBox& box) {
        press(box, Qt::Key_A, 'a', Qt::NoModifier);
        // Escape goes to the alert, whatever modifiers are held.
        press(box, Qt::Key_Escape, 0xff1b, Qt::ControlModifier);
        label = shownTexts(box).value(0);
        return int(ShortcutDialog::cancel);
    };
    delegate->configureShortcut();
    EXPECT_EQ(label, QStringLiteral("Ctrl+1"));
    EXPECT_EQ(delegate->shortcut(), CaptureShortcut{});
    EXPECT_FALSE(QSettings().contains(QStringLiteral("captureShortcutLabel")));
    // A window-manager close answers like no button.
    inDialog = [&](QMessageBox& box) {
        press(box, Qt::Key_Space, ' ', Qt::AltModifier | Qt::MetaModifier);
        return -1;
    };
    delegate->configureShortcut();
    EXPECT_EQ(delegate->shortcut(), CaptureShortcut{});
}

TEST_F(ShortcutDelegate, ATakenCombinationKeepsTheOldOne) {
    fake.hotKeys->taken = {{49, 2304}};
    inDialog = [&](QMessageBox& box) {
        // Option-Command-Space, as a Shift-less press.
        press(box, Qt::Key_Space, ' ', Qt::AltModifier | Qt::MetaModifier);
        return int(ShortcutDialog::save);
    };
    delegate->configureShortcut();
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_EQ(
        alerts[1],
        QStringLiteral("Korvel|无法注册 Alt+Super+Space，请换一个组合键。原快捷键保持不变。"));
    EXPECT_EQ(delegate->shortcut(), CaptureShortcut{});
    EXPECT_EQ(*fake.hotKeys->active, std::pair(18u, 4096u));
    EXPECT_FALSE(QSettings().contains(QStringLiteral("captureShortcutKeyCode")));
    EXPECT_EQ(delegate->captureMenuItem()->text(), QStringLiteral("截图  Ctrl+1"));
}

TEST_F(ShortcutDelegate, PinsAreIndependentAndLeaveTheMapWhenClosed) {
    const QByteArray image = png(80, 60);
    EXPECT_FALSE(delegate->showPin(QByteArray("junk"), QRectF(0, 0, 10, 10)));
    EXPECT_FALSE(delegate->showPin(image, QRectF(0, 0, 0, 10)));
    EXPECT_EQ(delegate->pinnedImageCount(), 0u);
    ASSERT_TRUE(delegate->showPin(image, QRectF(30, 40, 80, 60)));
    ASSERT_TRUE(delegate->showPin(image, std::nullopt));
    ASSERT_TRUE(delegate->showPinAtPointer(image, QImage::fromData(image)));
    EXPECT_EQ(delegate->pinnedImageCount(), 3u);

    std::vector<QWidget*> pins;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->objectName() == QStringLiteral("korvel-pin") && w->isVisible())
            pins.push_back(w);
    }
    ASSERT_EQ(pins.size(), 3u);
    const bool atFrame = std::any_of(pins.begin(), pins.end(), [](QWidget* w) {
        return w->geometry() == QRect(30, 40, 80, 60);
    });
    EXPECT_TRUE(atFrame);
    // Closing one leaves the others; the map shrinks only after the close
    // handling has returned.
    pins[0]->close();
    EXPECT_EQ(delegate->pinnedImageCount(), 3u);
    ASSERT_TRUE(waitFor([this] { return delegate->pinnedImageCount() == 2u; }));
    EXPECT_TRUE(pins[1]->isVisible());
}

TEST(PinFrame, EditorFramesLandOnTheSelectionOfTheirDisplay) {
    // The secondary display of the test session: 1280 × 1024 right of a
    // 1920 × 1080 primary, top-aligned, so its bottom-left frame starts at 56.
    ScreenSnapshot secondary;
    secondary.frame = QRectF(1920, 56, 1280, 1024);
    secondary.screenOrigin = QPointF(1920, 0);
    secondary.image = QImage(1280, 1024, QImage::Format_RGB32);
    // A selection 100 points in and 200 up from the display's bottom edge.
    const QRectF bottomLeft(1920 + 100, 56 + 200, 300, 150);
    EXPECT_EQ(pinFrame(bottomLeft, QSize(300, 150), secondary), QRectF(2020, 674, 300, 150));
    // The primary relates the two spaces the same way.
    ScreenSnapshot primary;
    primary.frame = QRectF(0, 0, 1920, 1080);
    primary.image = QImage(1920, 1080, QImage::Format_RGB32);
    EXPECT_EQ(pinFrame(bottomLeft, QSize(300, 150), primary), QRectF(2020, 674, 300, 150));

    // A fractional selection was widened to whole pixels by the crop: the pin
    // covers exactly those pixels.
    const QRectF fractional(1920 + 100.4, 56 + 200.3, 299.5, 149.2);
    EXPECT_EQ(pinFrame(fractional, QSize(300, 150), secondary), QRectF(2020, 674, 300, 150));
    // At two pixels per point a 150 × 75 point selection is 300 × 150 pixels.
    ScreenSnapshot sharp = secondary;
    sharp.image = QImage(2560, 2048, QImage::Format_RGB32);
    EXPECT_EQ(pinFrame(QRectF(2020, 256, 150, 75), QSize(300, 150), sharp),
              QRectF(2020, 749, 150, 75));
    // Sizes that are not the crop's (a scaled image) keep the frame as given.
    EXPECT_EQ(pinFrame(bottomLeft, QSize(900, 450), secondary), QRectF(2020, 674, 300, 150));
    EXPECT_EQ(pinFrame(bottomLeft, QSize(), secondary), QRectF(2020, 674, 300, 150));
}
