#include "../testpng.h"
#include "annotate/annotationtoolbar.h"
#include "appfixtures.h"
#include "history/screenshothistorywindow.h"
#include "platform/error.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QUndoStack>

using namespace korvel;

// Real tray and keys: e2e.Capture (menu), e2e.Shortcut (presses, stored shortcut), e2e.Desktop
// (no tray, an alert waiting out a capture). Captures run trusted: no accessibility guide.

TEST_F(Delegate, UndoAndRedoKeysReachTheUndoStackOfAnyKorvelWindow) {
    launch();
    QWidget window;
    auto* stack = new QUndoStack(&window);
    auto* inside = new QWidget(&window);
    stack->push(new QUndoCommand(QStringLiteral("mark")));
    press(*inside, Qt::Key_Z, 'z', Qt::ControlModifier);
    EXPECT_EQ(stack->index(), 0);
    press(*inside, Qt::Key_Z, 'z', Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(stack->index(), 1);
}

TEST_F(Delegate, SavePanelAndLongCaptureBlockANewCaptureOtherwiseTheEditorIsReplaced) {
    launch();
    captureAndWait();
    FakeEditor* first = editor();
    ASSERT_TRUE(first);
    first->saving = true;
    delegate->takeScreenshot();
    EXPECT_FALSE(delegate->isCapturing());
    first->saving = false;
    delegate->setLongScreenshotRunning(true);
    delegate->takeScreenshot();
    EXPECT_FALSE(delegate->isCapturing());
    settle();
    EXPECT_EQ(FakeEditor::created, 1);
    delegate->setLongScreenshotRunning(false);
    const auto staleClose = first->onClose;
    captureAndWait();
    EXPECT_EQ(FakeEditor::created, 2);
    // The replaced editor's close comes late; it must not clear the new one.
    staleClose();
    settle();
    ASSERT_EQ(FakeEditor::destroyed, 1);
    EXPECT_TRUE(editor()->overlay->isVisible());
    // Released later, not inside the editor's own close.
    editor()->close();
    EXPECT_TRUE(editor());
    EXPECT_TRUE(waitFor([this] { return editor() == nullptr; }));
}

TEST_F(Delegate, FailedCaptureAlertsAndBringsTheOldEditorBack) {
    launch();
    captureAndWait();
    FakeEditor* first = editor();
    fake.screens->failures.emplace(2, Error(QStringLiteral("Korvel"), 2, QStringLiteral("读不到")));
    delegate->takeScreenshot();
    EXPECT_FALSE(first->overlay->isVisible()); // ordered out before the grab
    ASSERT_TRUE(waitFor([this] { return !delegate->isCapturing(); }));
    EXPECT_EQ(alerts, std::vector<QString>{
                          QStringLiteral("无法截取屏幕|读不到\n请重新截图；若刚连接或断开显示器，"
                                         "请等待屏幕布局稳定。")});
    EXPECT_EQ(editor(), first);
    EXPECT_EQ(first->shown, 2);
}

// The item follows the setting; automatic results wait out a long capture.
TEST_F(Delegate, UpdateItemsUseTheServiceAndAutomaticResultsWaitForIdle) {
    ServiceSeams seams;
    AppServices::Config withChannel = AppServices::Config::fromBuild();
    withChannel.channelEnabled = true;
    delegate->appServices().setConfig(withChannel);
    seams.hook(delegate->appServices(), false);
    launch();
    const auto checked = [this] {
        delegate->menuWillOpen();
        return delegate->autoUpdateMenuItem()->isChecked();
    };
    EXPECT_TRUE(checked());
    delegate->autoUpdateMenuItem()->trigger();
    EXPECT_FALSE(checked());
    ASSERT_EQ(seams.scheduled.size(), 2u);
    seams.scheduled[0].task();
    EXPECT_TRUE(seams.fetches.empty());
    QSettings().setValue(QStringLiteral("automaticUpdateChecks"), QStringLiteral("maybe"));
    EXPECT_TRUE(checked());

    for (QAction* a : delegate->statusMenu()->actions()) {
        if (a->text() == QStringLiteral("检查更新…") || a->text() == QStringLiteral("更新日志"))
            a->trigger();
    }
    ASSERT_EQ(seams.fetches.size(), 1u);
    seams.fetches[0](urlError::make(urlError::timedOut));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(seams.opened, std::vector<QUrl>{delegate->appServices().changelog()});
    EXPECT_EQ(seams.opened[0].path(), QStringLiteral("/changelog.html"));
    const AppRelease release = ServiceSeams::release(QStringLiteral("99.0.0"));
    delegate->setLongScreenshotRunning(true);
    seams.scheduled[0].task();
    seams.fetches.back()(release);
    EXPECT_EQ(alerts.size(), 1u);
    delegate->setLongScreenshotRunning(false);
    seams.scheduled[1].task();
    seams.fetches.back()(release);
    ASSERT_EQ(alerts.size(), 2u);
    EXPECT_TRUE(alerts[1].startsWith(QStringLiteral("Korvel 99.0.0 已发布|")));
}

// With the real XDG login item under the test's private configuration.
TEST_F(Delegate, LoginItemMirrorsTheAutostartEntry) {
    const QString entry =
        qEnvironmentVariable("XDG_CONFIG_HOME") + QStringLiteral("/autostart/korvel.desktop");
    const auto shown = [this] {
        delegate->menuWillOpen();
        return delegate->loginMenuItem()->isChecked();
    };
    launch();
    EXPECT_FALSE(shown());
    delegate->loginMenuItem()->trigger();
    EXPECT_TRUE(shown());
    // Changed behind our back: the menu follows the file.
    QFile file(entry);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Desktop Entry]\nExec=korvel\nHidden=true\n");
    file.close();
    EXPECT_FALSE(shown());
    delegate->loginMenuItem()->trigger();
    EXPECT_TRUE(shown());
    delegate->loginMenuItem()->trigger();
    // A file where the folder should be: the alert says where the entry is.
    ASSERT_TRUE(QDir(QFileInfo(entry).path()).removeRecursively());
    ASSERT_TRUE(QFile(QFileInfo(entry).path()).open(QIODevice::WriteOnly));
    delegate->loginMenuItem()->trigger();
    EXPECT_EQ(alerts,
              std::vector<QString>{QStringLiteral("无法修改开机启动|请确认可以修改文件 ") + entry +
                                   QStringLiteral("，再重试。也可以在桌面环境的“自动启动”"
                                                  "设置中管理。")});
    EXPECT_FALSE(shown());
}

TEST_F(Delegate, TheAccessibilityGuideComesOnceAndCanSwitchItOnInstead) {
    launch();
    fake.accessibility->trusted = false;
    // "先截图": the capture goes on, and the guide never returns.
    alertAnswer = 1;
    captureAndWait();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].startsWith(QStringLiteral("增强自动选区识别|")));
    EXPECT_EQ(FakeEditor::created, 1);
    captureAndWait();
    EXPECT_EQ(alerts.size(), 1u);
    EXPECT_EQ(FakeEditor::created, 2);
    // "去开启" closes the editor, stops the capture and switches it on.
    QSettings().remove(QStringLiteral("childRegionPermissionGuideShown"));
    alertAnswer = 0;
    delegate->takeScreenshot();
    EXPECT_FALSE(delegate->isCapturing());
    EXPECT_EQ(editor(), nullptr);
    EXPECT_TRUE(fake.accessibility->trusted);
    settle();
    EXPECT_EQ(FakeEditor::created, 2);
}

TEST_F(Delegate, HistoryWindowIsMadeOnceAndEditingOpensAResultUntilItCloses) {
    launch();
    delegate->openHistory();
    ScreenshotHistoryWindow* history = delegate->historyWindow();
    ASSERT_TRUE(history);
    history->hide();
    delegate->openHistory();
    EXPECT_EQ(delegate->historyWindow(), history);
    EXPECT_TRUE(history->isVisible());
    // Bytes that are no image open nothing.
    history->onEdit(QByteArray("not a png"));
    EXPECT_TRUE(delegate->resultWindows().empty());
    const QByteArray png = filledPng(QSize(640, 90), Qt::cyan);
    history->onEdit(png);
    history->onEdit(png);
    ASSERT_EQ(delegate->resultWindows().size(), 2u);
    LongScreenshotResult* result = delegate->resultWindows().front();
    EXPECT_EQ(result->windowTitle(), QStringLiteral("Korvel · 历史截图 640 × 90 px"));
    // Result windows read text too, long images most of all.
    EXPECT_TRUE(result->toolbar()->button(QStringLiteral("识别文字"))->isEnabled());
    // Closing releases that window only, and only after its close handling.
    result->closeResult();
    EXPECT_EQ(delegate->resultWindows().size(), 2u);
    ASSERT_TRUE(waitFor([this] { return delegate->resultWindows().size() == 1; }));
    EXPECT_NE(delegate->resultWindows().front(), result);
}

// Placed by a capture or at the pointer: e2e.Targets and e2e.Instance.
TEST_F(Delegate, PinsAreIndependentAndLeaveTheMapWhenClosed) {
    const QByteArray image = filledPng(QSize(80, 60), Qt::darkCyan);
    EXPECT_FALSE(delegate->showPin(QByteArray("junk"), std::nullopt));
    EXPECT_FALSE(delegate->showPin(image, QRectF(0, 0, 0, 10)));
    ASSERT_TRUE(delegate->showPin(image, std::nullopt));
    ASSERT_TRUE(delegate->showPin(image, std::nullopt));
    std::vector<QWidget*> pins;
    std::ranges::copy_if(QApplication::topLevelWidgets(), std::back_inserter(pins), [](QWidget* w) {
        return w->objectName() == QStringLiteral("korvel-pin") && w->isVisible();
    });
    ASSERT_EQ(pins.size(), 2u);
    EXPECT_EQ(delegate->pinnedImageCount(), 2u);
    // Closing one leaves the other; the map shrinks after the close handling.
    pins[0]->close();
    EXPECT_EQ(delegate->pinnedImageCount(), 2u);
    ASSERT_TRUE(waitFor([this] { return delegate->pinnedImageCount() == 1u; }));
    EXPECT_TRUE(pins[1]->isVisible());
}

// Without a frame a pin fits 60 % of the screen; from a capture it covers the
// cropped pixels (the test session's layout; whole selections: e2e.Targets).
TEST(PinPlacement, FitsTheScreenOrCoversTheCroppedPixels) {
    const QRectF visible(0, 0, 1000, 800);
    EXPECT_EQ(pinPlacement(QSize(2000, 1000), visible), QRectF(200, 250, 600, 300));
    EXPECT_EQ(pinPlacement(QSize(100, 4000), visible), QRectF(494, 160, 12, 480));
    EXPECT_EQ(pinPlacement(QSize(200, 100), std::nullopt), QRectF(400, 300, 200, 100));
    ScreenSnapshot secondary;
    secondary.frame = QRectF(1920, 56, 1280, 1024);
    secondary.screenOrigin = QPointF(1920, 0);
    secondary.image = QImage(1280, 1024, QImage::Format_RGB32);
    // A selection 100 points in and 200 up from the display's bottom edge.
    const QRectF bottomLeft(1920 + 100, 56 + 200, 300, 150), pinned(2020, 674, 300, 150);
    EXPECT_EQ(pinFrame(bottomLeft, QSize(300, 150), secondary), pinned);
    // The crop widened a fractional selection to whole pixels.
    EXPECT_EQ(pinFrame(QRectF(2020.4, 256.3, 299.5, 149.2), QSize(300, 150), secondary), pinned);
    // Sizes that are not the crop's (a scaled image) keep the frame as given.
    EXPECT_EQ(pinFrame(bottomLeft, QSize(900, 450), secondary), pinned);
    EXPECT_EQ(pinFrame(bottomLeft, QSize(), secondary), pinned);
    // At two pixels per point a 150 × 75 point selection is 300 × 150 pixels.
    ScreenSnapshot sharp = secondary;
    sharp.image = QImage(2560, 2048, QImage::Format_RGB32);
    EXPECT_EQ(pinFrame(QRectF(2020, 256, 150, 75), QSize(300, 150), sharp),
              QRectF(2020, 749, 150, 75));
}
