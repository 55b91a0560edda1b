// The tray menu's login and update items on a delegate with the real XDG
// login item under a private configuration folder.
#include "app/appdelegate.h"
#include "app/appservices.h"
#include "platform/fake/fakeplatform.h"

#include <gtest/gtest.h>
#include <QAction>
#include <QCoreApplication>
#include <QFile>
#include <QMenu>
#include <QMessageBox>
#include <QSettings>
#include <QTemporaryDir>

using namespace korvel;

namespace {

struct DelegateServices : ::testing::Test {
    QTemporaryDir config;
    QByteArray savedConfigHome = qgetenv("XDG_CONFIG_HOME");
    fake::Platform fake;
    std::unique_ptr<AppDelegate> delegate;
    std::vector<QString> alerts;
    std::vector<std::function<void()>> scheduled;
    std::vector<std::function<void(FetchResult)>> fetches;
    std::vector<QUrl> opened;

    void SetUp() override {
        QSettings().clear();
        qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
        fake.accessibility->trusted = true;
        delegate = std::make_unique<AppDelegate>(*fake.platform, nullptr);
        delegate->runAlert = [this](QMessageBox& box) {
            alerts.push_back(box.text() + u'|' + box.informativeText());
            return 1;
        };
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
        delegate->applicationDidFinishLaunching();
        QCoreApplication::processEvents();
        alerts.clear(); // the offscreen platform's missing tray
    }
    void TearDown() override {
        delegate.reset();
        qputenv("XDG_CONFIG_HOME", savedConfigHome);
    }

    QString entry() const { return config.filePath(QStringLiteral("autostart/korvel.desktop")); }
    bool loginShown() {
        delegate->menuWillOpen();
        return delegate->loginMenuItem()->isChecked();
    }
};

} // namespace

TEST_F(DelegateServices, LoginItemMirrorsTheAutostartEntry) {
    EXPECT_FALSE(loginShown());
    delegate->loginMenuItem()->trigger();
    ASSERT_TRUE(QFile::exists(entry()));
    EXPECT_TRUE(loginShown());

    // Changed behind our back: the menu follows the file.
    QFile::remove(entry());
    EXPECT_FALSE(loginShown());
    QFile file(entry());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[Desktop Entry]\nExec=korvel\nHidden=true\n");
    file.close();
    EXPECT_FALSE(loginShown());
    delegate->loginMenuItem()->trigger();
    EXPECT_TRUE(loginShown());
    delegate->loginMenuItem()->trigger();
    EXPECT_FALSE(QFile::exists(entry()));
    EXPECT_FALSE(loginShown());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(DelegateServices, LoginItemFailureSaysWhereTheEntryIs) {
    QFile blocker(config.filePath(QStringLiteral("autostart")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    delegate->loginMenuItem()->trigger();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], QStringLiteral("无法修改开机启动|请确认可以修改文件 ") + entry() +
                             QStringLiteral("，再重试。也可以在桌面环境的“自动启动”设置中管理。"));
    EXPECT_FALSE(loginShown());
}

TEST_F(DelegateServices, AutomaticUpdatesItemMirrorsTheSetting) {
    delegate->menuWillOpen();
    EXPECT_TRUE(delegate->autoUpdateMenuItem()->isChecked());
    delegate->autoUpdateMenuItem()->trigger();
    delegate->menuWillOpen();
    EXPECT_FALSE(delegate->autoUpdateMenuItem()->isChecked());
    EXPECT_FALSE(delegate->appServices().automaticChecks());
    // Off: the scheduled checks do nothing.
    ASSERT_EQ(scheduled.size(), 2u);
    scheduled[0]();
    EXPECT_TRUE(fetches.empty());
    delegate->autoUpdateMenuItem()->trigger();
    scheduled[1]();
    EXPECT_EQ(fetches.size(), 1u);
}

TEST_F(DelegateServices, MenuChecksAndOpensTheChangelog) {
    const auto items = delegate->statusMenu()->actions();
    auto item = [&](const QString& title) {
        for (QAction* a : items) {
            if (a->text() == title)
                return a;
        }
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
}

TEST_F(DelegateServices, AutomaticResultsWaitForAnIdleApplication) {
    ASSERT_EQ(scheduled.size(), 2u);
    AppRelease release;
    release.version = QStringLiteral("99.0.0");
    release.downloadURL =
        QUrl(QStringLiteral("https://u.example/app/ds/update/dastra-99.0.0-linux-x86_64.deb"));
    release.notes = QStringLiteral("新功能");
    release.minimumSystemVersion = QStringLiteral("0.0.1");
    release.architecture = QStringLiteral("x86_64");

    // A running long capture makes the application busy.
    delegate->setLongScreenshotRunning(true);
    scheduled[0]();
    ASSERT_EQ(fetches.size(), 1u);
    fetches[0](release);
    EXPECT_TRUE(alerts.empty());

    delegate->setLongScreenshotRunning(false);
    scheduled[1]();
    ASSERT_EQ(fetches.size(), 2u);
    fetches[1](release);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].startsWith(QStringLiteral("Korvel 99.0.0 已发布|")));
}
