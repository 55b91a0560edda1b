#include "../testpng.h"
#include "../testwait.h"
#include "annotate/annotationtoolbar.h"
#include "app/appdelegate.h"
#include "app/appservices.h"
#include "history/screenshothistorywindow.h"
#include "platform/error.h"
#include "platform/fake/fakeplatform.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QThread>
#include <QTimer>
#include <QUndoStack>

using namespace korvel;

namespace {

void settle() {
    waitFor([] { return false; }, 250);
}

struct FakeEditor final : CaptureEditor {
    static inline int created = 0;
    static inline int destroyed = 0;
    int shown = 0;
    int closed = 0;
    bool saving = false;
    size_t snapshotCount = 0;
    std::unique_ptr<QWidget> overlay = std::make_unique<QWidget>();

    explicit FakeEditor(size_t count)
        : snapshotCount(count) {
        ++created;
    }
    ~FakeEditor() override { ++destroyed; }
    void showWindow() override {
        ++shown;
        overlay->show();
    }
    void close() override {
        ++closed;
        overlay->hide();
        if (onClose)
            onClose();
    }
    bool isSaving() const override { return saving; }
    std::vector<QWidget*> overlays() const override { return {overlay.get()}; }
};

struct Delegate : ::testing::Test {
    fake::Platform fake;
    std::unique_ptr<AppDelegate> delegate;
    std::vector<QString> alerts;
    int alertAnswer = 0;

    void SetUp() override {
        QSettings().clear();
        fake.accessibility->trusted = true;
        FakeEditor::created = FakeEditor::destroyed = 0;
        fake.screens->list = {{1, QStringLiteral("A"), QRect(0, 0, 640, 480), true},
                              {2, QStringLiteral("B"), QRect(640, 0, 320, 240), false}};
        delegate = std::make_unique<AppDelegate>(*fake.platform, [](std::vector<ScreenSnapshot> s) {
            return std::make_unique<FakeEditor>(s.size());
        });
        delegate->runAlert = [this](QMessageBox& box) {
            alerts.push_back(box.text() + u'|' + box.informativeText());
            return alertAnswer;
        };
    }
    void TearDown() override { delegate.reset(); }

    // Update checks and links go to these lists instead of the network.
    std::vector<std::function<void()>> scheduled;
    std::vector<std::function<void(FetchResult)>> fetches;
    std::vector<QUrl> opened;
    void hookServices() {
        AppServices& services = delegate->appServices();
        AppServices::Config withChannel = AppServices::Config::fromBuild();
        withChannel.channelEnabled = true;
        services.setConfig(withChannel);
        services.schedule = [this](std::chrono::milliseconds, bool, std::function<void()> task) {
            scheduled.push_back(std::move(task));
        };
        services.releaseRules = [] {
            return ReleaseRules{*UpdateServer::fromOrigin(QStringLiteral("https://u.example")),
                                packageTarget(PackagePlatform::linuxX86_64)};
        };
        services.fetch = [this](const ReleaseRules&, std::function<void(FetchResult)> done) {
            fetches.push_back(std::move(done));
        };
        services.openUrl = [this](const QUrl& url) { opened.push_back(url); };
    }
    QString autostartEntry() const {
        return qEnvironmentVariable("XDG_CONFIG_HOME") +
               QStringLiteral("/autostart/korvel.desktop");
    }
    bool loginShown() {
        delegate->menuWillOpen();
        return delegate->loginMenuItem()->isChecked();
    }

    FakeEditor* editor() { return static_cast<FakeEditor*>(delegate->editor()); }
    void launch() {
        delegate->applicationDidFinishLaunching();
        QCoreApplication::processEvents();
        // The offscreen platform has no tray; that notice is checked separately.
        alerts.clear();
    }
    void captureAndWait() {
        delegate->takeScreenshot();
        ASSERT_TRUE(waitFor([this] { return !delegate->isCapturing(); }));
    }
};

} // namespace

// The menu's items in order, through the real tray: e2e.TrayCapture.
TEST_F(Delegate, MenuAndWindowActionsCarryTheirKeys) {
    launch();
    EXPECT_EQ(delegate->statusMenu()->actions().last()->shortcut(),
              QKeySequence(Qt::CTRL | Qt::Key_Q));
    EXPECT_TRUE(delegate->loginMenuItem()->isCheckable());
    EXPECT_TRUE(delegate->autoUpdateMenuItem()->isCheckable());
    QStringList windowTitles;
    for (QAction* a : delegate->windowActions())
        windowTitles << a->text();
    EXPECT_EQ(windowTitles, (QStringList{QStringLiteral("退出Korvel"), QStringLiteral("撤销"),
                                         QStringLiteral("重做")}));
    EXPECT_EQ(delegate->windowActions()[2]->shortcut(),
              QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
}

TEST_F(Delegate, StoredShortcutTitlesTheCaptureItemAndIsRegistered) {
    // Stored by an older version, which wrote its labels with glyphs.
    CaptureShortcut{0, 4608, QStringLiteral("⌃⇧A")}.store(*std::make_unique<QSettings>());
    launch();
    EXPECT_EQ(delegate->captureMenuItem()->text(), QStringLiteral("截图  Ctrl+Shift+A"));
    ASSERT_TRUE(fake.hotKeys->active);
    EXPECT_EQ(*fake.hotKeys->active, std::pair(0u, 4608u));
}

TEST_F(Delegate, WithoutTrayHostSaysSoOnce) {
    ASSERT_FALSE(delegate->trayAvailable());
    delegate->applicationDidFinishLaunching();
    settle();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].contains(QStringLiteral("按 Ctrl+1 截图。")));
}

TEST_F(Delegate, HotKeyTakenShowsTheRegistrationAlert) {
    fake.hotKeys->taken = {{18, 4096}};
    delegate->applicationDidFinishLaunching();
    settle();
    const QString expected =
        QStringLiteral("Korvel|快捷键 Ctrl+1 注册失败，可能已被其他应用或系统占用。"
                       "可从菜单栏设置其他快捷键，或点击截图。");
    EXPECT_NE(std::find(alerts.begin(), alerts.end(), expected), alerts.end());
    // Captures still start from the menu.
    delegate->captureMenuItem()->trigger();
    EXPECT_TRUE(waitFor([this] { return editor() != nullptr; }));
}

TEST_F(Delegate, HotKeyPressStartsOneCaptureEvenWhenPressedTwice) {
    launch();
    fake.hotKeys->press();
    fake.hotKeys->press();
    ASSERT_TRUE(waitFor([this] { return editor() != nullptr; }));
    settle();
    EXPECT_EQ(FakeEditor::created, 1);
    EXPECT_EQ(fake.screens->grabs, 2);
    EXPECT_EQ(editor()->snapshotCount, 2u);
    EXPECT_EQ(editor()->shown, 1);
    EXPECT_FALSE(delegate->canPresent());
}

TEST_F(Delegate, AnAlertArrivingDuringACaptureWaitsUntilItIsOver) {
    launch();
    captureAndWait();
    ASSERT_TRUE(editor());
    bool shownOverCapture = true;
    delegate->runAlert = [&](QMessageBox&) {
        shownOverCapture = delegate->editor() != nullptr;
        return 0;
    };
    QTimer::singleShot(300, delegate.get(), [this] { editor()->close(); });
    QMessageBox update;
    EXPECT_EQ(delegate->appServices().runAlert(update), 0);
    EXPECT_FALSE(shownOverCapture);
}

TEST_F(Delegate, UndoAndRedoKeysReachTheUndoStackOfAnyKorvelWindow) {
    launch();
    QWidget window;
    auto* stack = new QUndoStack(&window);
    auto* inside = new QWidget(&window);
    stack->push(new QUndoCommand(QStringLiteral("mark")));
    const auto press = [&](Qt::KeyboardModifiers modifiers) {
        QKeyEvent key(QEvent::KeyPress, Qt::Key_Z, modifiers);
        QApplication::sendEvent(inside, &key);
    };
    press(Qt::ControlModifier);
    EXPECT_EQ(stack->index(), 0);
    press(Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(stack->index(), 1);
}

TEST_F(Delegate, SavePanelBlocksANewCaptureOtherwiseTheEditorIsReplaced) {
    launch();
    captureAndWait();
    FakeEditor* first = editor();
    ASSERT_TRUE(first);
    first->saving = true;
    delegate->takeScreenshot();
    EXPECT_FALSE(delegate->isCapturing());
    settle();
    EXPECT_EQ(editor(), first);
    EXPECT_EQ(FakeEditor::created, 1);

    first->saving = false;
    captureAndWait();
    EXPECT_EQ(FakeEditor::created, 2);
    EXPECT_NE(editor(), first);
    settle();
    EXPECT_EQ(FakeEditor::destroyed, 1);
    EXPECT_TRUE(editor()->overlay->isVisible());
}

TEST_F(Delegate, LongCaptureBlocksCaptures) {
    launch();
    delegate->setLongScreenshotRunning(true);
    delegate->takeScreenshot();
    EXPECT_FALSE(delegate->isCapturing());
    settle();
    EXPECT_EQ(FakeEditor::created, 0);
    EXPECT_FALSE(delegate->canPresent());
}

TEST_F(Delegate, FailedCaptureAlertsAndBringsTheOldEditorBack) {
    launch();
    captureAndWait();
    FakeEditor* first = editor();
    fake.screens->failures.emplace(2, Error(QStringLiteral("Korvel"), 2, QStringLiteral("读不到")));
    delegate->takeScreenshot();
    EXPECT_FALSE(first->overlay->isVisible()); // ordered out before the grab
    ASSERT_TRUE(waitFor([this] { return !delegate->isCapturing(); }));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], QStringLiteral("无法截取屏幕|读不到\n请重新截图；若刚连接或断开显示器，"
                                        "请等待屏幕布局稳定。"));
    EXPECT_EQ(editor(), first);
    EXPECT_EQ(first->shown, 2);
    EXPECT_TRUE(first->overlay->isVisible());
}

TEST_F(Delegate, CloseReleasesTheEditorLaterAndOnlyTheCurrentOne) {
    launch();
    captureAndWait();
    FakeEditor* first = editor();
    // The close is delivered asynchronously, not inside the editor's own close.
    first->close();
    EXPECT_EQ(editor(), first);
    ASSERT_TRUE(waitFor([this] { return editor() == nullptr; }));
    EXPECT_TRUE(delegate->canPresent());

    captureAndWait();
    FakeEditor* second = editor();
    auto staleClose = second->onClose;
    captureAndWait();
    FakeEditor* third = editor();
    // The replaced editor's callback fires late; it must not clear the new one.
    staleClose();
    settle();
    EXPECT_EQ(editor(), third);
}

TEST_F(Delegate, PinWithoutFrameFitsSixtyPercentOfTheScreen) {
    const QRectF visible(0, 0, 1000, 800);
    const QRectF big = pinPlacement(QSize(2000, 1000), visible);
    EXPECT_DOUBLE_EQ(big.width(), 600);
    EXPECT_DOUBLE_EQ(big.height(), 300);
    EXPECT_EQ(big.center(), visible.center());
    const QRectF tall = pinPlacement(QSize(100, 4000), visible);
    EXPECT_DOUBLE_EQ(tall.height(), 480);
    EXPECT_DOUBLE_EQ(tall.width(), 12);
    const QRectF small = pinPlacement(QSize(200, 100), visible);
    EXPECT_EQ(small, QRectF(400, 350, 200, 100));
    const QRectF fallback = pinPlacement(QSize(200, 100), std::nullopt);
    EXPECT_EQ(fallback, QRectF(400, 300, 200, 100));
    EXPECT_FALSE(delegate->showPin(QByteArray("not a png"), std::nullopt));
}

// The item follows the setting, whatever was stored; off, the scheduled
// checks do nothing.
TEST_F(Delegate, AutomaticUpdatesItemMirrorsTheSetting) {
    hookServices();
    launch();
    delegate->menuWillOpen();
    EXPECT_TRUE(delegate->autoUpdateMenuItem()->isChecked());
    delegate->autoUpdateMenuItem()->trigger();
    EXPECT_EQ(QSettings().value(QStringLiteral("automaticUpdateChecks")).toBool(), false);
    delegate->menuWillOpen();
    EXPECT_FALSE(delegate->autoUpdateMenuItem()->isChecked());
    ASSERT_EQ(scheduled.size(), 2u);
    scheduled[0]();
    EXPECT_TRUE(fetches.empty());
    delegate->autoUpdateMenuItem()->trigger();
    scheduled[1]();
    EXPECT_EQ(fetches.size(), 1u);
    QSettings().setValue(QStringLiteral("automaticUpdateChecks"), QStringLiteral("maybe"));
    delegate->menuWillOpen();
    EXPECT_TRUE(delegate->autoUpdateMenuItem()->isChecked());
}

// With the real XDG login item under the test's private configuration.
TEST_F(Delegate, LoginItemMirrorsTheAutostartEntry) {
    launch();
    EXPECT_FALSE(loginShown());
    delegate->loginMenuItem()->trigger();
    ASSERT_TRUE(QFile::exists(autostartEntry()));
    EXPECT_TRUE(loginShown());
    // Changed behind our back: the menu follows the file.
    QFile::remove(autostartEntry());
    EXPECT_FALSE(loginShown());
    QFile file(autostartEntry());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write("[Desktop Entry]\nExec=korvel\nHidden=true\n");
    file.close();
    EXPECT_FALSE(loginShown());
    delegate->loginMenuItem()->trigger();
    EXPECT_TRUE(loginShown());
    delegate->loginMenuItem()->trigger();
    EXPECT_FALSE(QFile::exists(autostartEntry()));
    EXPECT_FALSE(loginShown());
    EXPECT_TRUE(alerts.empty());

    // A file where the folder should be: the alert says where the entry is.
    QFile blocker(QFileInfo(autostartEntry()).path());
    ASSERT_TRUE(QDir(blocker.fileName()).removeRecursively());
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    delegate->loginMenuItem()->trigger();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], QStringLiteral("无法修改开机启动|请确认可以修改文件 ") + autostartEntry() +
                             QStringLiteral("，再重试。也可以在桌面环境的“自动启动”设置中管理。"));
    EXPECT_FALSE(loginShown());
}

TEST_F(Delegate, MenuChecksOpensTheChangelogAndAutomaticResultsWaitForIdle) {
    hookServices();
    launch();
    const auto item = [this](const QString& title) {
        for (QAction* a : delegate->statusMenu()->actions())
            if (a->text() == title)
                return a;
        return static_cast<QAction*>(nullptr);
    };
    item(QStringLiteral("检查更新…"))->trigger();
    ASSERT_EQ(fetches.size(), 1u);
    fetches[0](urlError::make(urlError::timedOut));
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0],
              QStringLiteral("暂时无法检查更新|请检查网络后重试，也可以访问Korvel官网下载。"));
    item(QStringLiteral("更新日志"))->trigger();
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], delegate->appServices().changelog());
    EXPECT_EQ(opened[0].path(), QStringLiteral("/changelog.html"));

    // An automatic result waits while a long capture makes the application busy.
    alerts.clear();
    AppRelease release;
    release.version = QStringLiteral("99.0.0");
    release.downloadURL =
        QUrl(QStringLiteral("https://u.example/app/ds/update/dastra-99.0.0-linux-x86_64.deb"));
    release.notes = QStringLiteral("新功能");
    release.minimumSystemVersion = QStringLiteral("0.0.1");
    release.architecture = QStringLiteral("x86_64");
    ASSERT_EQ(scheduled.size(), 2u);
    delegate->setLongScreenshotRunning(true);
    scheduled[0]();
    ASSERT_EQ(fetches.size(), 2u);
    fetches[1](release);
    EXPECT_TRUE(alerts.empty());
    delegate->setLongScreenshotRunning(false);
    scheduled[1]();
    ASSERT_EQ(fetches.size(), 3u);
    fetches[2](release);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].startsWith(QStringLiteral("Korvel 99.0.0 已发布|")));
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
    // Once trusted, no guide even with the key cleared.
    QSettings().remove(QStringLiteral("childRegionPermissionGuideShown"));
    captureAndWait();
    EXPECT_EQ(alerts.size(), 2u);
    EXPECT_EQ(FakeEditor::created, 3);
}

TEST_F(Delegate, HistoryWindowIsMadeOnceAndEditingOpensAResultUntilItCloses) {
    launch();
    delegate->openHistory();
    ScreenshotHistoryWindow* history = delegate->historyWindow();
    ASSERT_TRUE(history);
    EXPECT_TRUE(history->isVisible());
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
    EXPECT_TRUE(result->isVisible());
    // Result windows read text too, long images most of all.
    EXPECT_TRUE(result->toolbar()->button(QStringLiteral("识别文字"))->isEnabled());

    // Closing releases that window only, and only after its close handling.
    result->closeResult();
    EXPECT_EQ(delegate->resultWindows().size(), 2u);
    ASSERT_TRUE(waitFor([this] { return delegate->resultWindows().size() == 1; }));
    EXPECT_NE(delegate->resultWindows().front(), result);
}
