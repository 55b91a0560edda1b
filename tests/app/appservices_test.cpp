#include "app/appservices.h"
#include "platform/fake/fakeloginitem.h"
#include "release/releaseversion.h"

#include <gtest/gtest.h>
#include <QAbstractButton>
#include <QCoreApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>
#include <QTimer>

using namespace korvel;
using namespace std::chrono_literals;

namespace {

const QString origin = QStringLiteral("https://update.example.com");

struct Services : ::testing::Test {
    struct Scheduled {
        std::chrono::milliseconds delay;
        bool repeat;
        std::function<void()> task;
    };

    fake::LoginItem* login = nullptr;
    std::unique_ptr<AppServices> services;
    std::vector<Scheduled> scheduled;
    std::vector<std::function<void(FetchResult)>> fetches;
    std::vector<QString> alerts;
    std::vector<QStringList> buttons;
    std::vector<QUrl> opened;
    int answer = 0;
    bool canPresent = true;
    std::function<void()> duringAlert;

    void SetUp() override {
        QSettings().clear();
        make(true);
    }

    void make(bool channelEnabled) {
        auto item = std::make_unique<fake::LoginItem>();
        login = item.get();
        services = std::make_unique<AppServices>(
            std::move(item),
            AppServices::Config{QStringLiteral("0.7.1"), channelEnabled,
                                QUrl(QStringLiteral("https://www.example.com/changelog.html"))});
        services->schedule = [this](std::chrono::milliseconds delay, bool repeat,
                                    std::function<void()> task) {
            scheduled.push_back({delay, repeat, std::move(task)});
        };
        services->releaseRules = [] {
            return ReleaseRules{*UpdateServer::fromOrigin(origin),
                                packageTarget(PackagePlatform::linuxX86_64)};
        };
        services->fetch = [this](const ReleaseRules&, std::function<void(FetchResult)> done) {
            fetches.push_back(std::move(done));
        };
        services->systemVersion = [] { return QStringLiteral("6.1.0"); };
        services->runAlert = [this](QMessageBox& box) {
            alerts.push_back(box.text() + u'|' + box.informativeText());
            QStringList titles;
            for (QAbstractButton* b : box.buttons())
                titles << b->text();
            buttons.push_back(titles);
            if (duringAlert)
                duringAlert();
            return answer;
        };
        services->openUrl = [this](const QUrl& url) { opened.push_back(url); };
    }

    static AppRelease release(const QString& version = QStringLiteral("0.7.2"),
                              const QString& minimumSystem = QStringLiteral("5.10.0")) {
        AppRelease r;
        r.version = version;
        r.downloadURL = QUrl(origin + QStringLiteral("/app/ds/update/dastra-") + version +
                             QStringLiteral("-linux-x86_64.deb"));
        r.notes = QStringLiteral("修复了若干问题。");
        r.minimumSystemVersion = minimumSystem;
        r.architecture = QStringLiteral("x86_64");
        return r;
    }

    // Runs one check to its end with the given fetch outcome.
    void checkWith(bool manual, const FetchResult& result) {
        const size_t before = fetches.size();
        services->check(manual);
        ASSERT_EQ(fetches.size(), before + 1);
        fetches.back()(result);
        EXPECT_FALSE(services->isChecking());
    }

    static Error offline() { return urlError::make(urlError::cannotConnectToHost); }
};

const QString gotIt = QStringLiteral("知道了");

} // namespace

TEST_F(Services, FirstCheckAfter30SecondsThenEvery6Hours) {
    services->start([this] { return canPresent; });
    ASSERT_EQ(scheduled.size(), 2u);
    EXPECT_EQ(scheduled[0].delay, 30s);
    EXPECT_FALSE(scheduled[0].repeat);
    EXPECT_EQ(scheduled[1].delay, 6h);
    EXPECT_TRUE(scheduled[1].repeat);
    EXPECT_TRUE(fetches.empty());

    scheduled[0].task();
    ASSERT_EQ(fetches.size(), 1u);
    fetches[0](release());
    ASSERT_EQ(alerts.size(), 1u);
    scheduled[1].task();
    scheduled[1].task(); // still running: dropped
    ASSERT_EQ(fetches.size(), 2u);
    fetches[1](release());
    // The same release is not announced twice automatically.
    EXPECT_EQ(alerts.size(), 1u);
}

TEST_F(Services, RealScheduleUsesOneRepeatingTimer) {
    auto item = std::make_unique<fake::LoginItem>();
    AppServices real(std::move(item), AppServices::Config{QStringLiteral("0.7.1"), true, {}});
    int fetched = 0;
    real.fetch = [&](const ReleaseRules&, std::function<void(FetchResult)>) { ++fetched; };
    real.releaseRules = [] {
        return ReleaseRules{*UpdateServer::fromOrigin(origin),
                            packageTarget(PackagePlatform::linuxX86_64)};
    };
    real.start([] { return true; });
    const auto timers = real.findChildren<QTimer*>();
    ASSERT_EQ(timers.size(), 1);
    EXPECT_EQ(timers[0]->interval(), 21'600'000);
    EXPECT_TRUE(timers[0]->isActive());
    QCoreApplication::processEvents();
    EXPECT_EQ(fetched, 0) << "checked before 30 seconds";
}

TEST_F(Services, AutomaticChecksFollowTheSettingAndTheChannel) {
    QSettings().setValue(QStringLiteral("automaticUpdateChecks"), false);
    EXPECT_FALSE(services->automaticChecks());
    services->check(false);
    EXPECT_TRUE(fetches.empty());
    QSettings().setValue(QStringLiteral("automaticUpdateChecks"), QStringLiteral("maybe"));
    EXPECT_TRUE(services->automaticChecks());
    services->check(false);
    EXPECT_EQ(fetches.size(), 1u);
    fetches[0](offline());

    make(false);
    EXPECT_FALSE(services->channelEnabled());
    services->check(false);
    EXPECT_TRUE(alerts.empty());
    services->check(true);
    EXPECT_EQ(fetches.size(), 1u);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], QStringLiteral("更新通道尚未上线|当前构建未启用更新检测，"
                                        "请从Korvel官网下载支持检查更新的新版本。"));
    EXPECT_EQ(buttons[0], QStringList{gotIt});
}

TEST_F(Services, ManualChecksAnswerEveryOutcome) {
    checkWith(true, offline());
    checkWith(true, release(QStringLiteral("0.7.1")));
    checkWith(true, release(QStringLiteral("0.7.2"), QStringLiteral("6.1.1")));
    // A release that fails the rules after fetching is a failure too.
    AppRelease foreign = release();
    foreign.downloadURL =
        QUrl(QStringLiteral("https://evil.example/dastra-0.7.2-linux-x86_64.deb"));
    checkWith(true, foreign);
    const std::vector<QString> expected = {
        QStringLiteral("暂时无法检查更新|请检查网络后重试，也可以访问Korvel官网下载。"),
        QStringLiteral("已是最新版本|Korvel 0.7.1"),
        QStringLiteral("需要更新 Linux|新版本需要 Linux 6.1.1 或更新版本。"),
        QStringLiteral("暂时无法检查更新|请检查网络后重试，也可以访问Korvel官网下载。"),
    };
    EXPECT_EQ(alerts, expected);
    for (const QStringList& b : buttons)
        EXPECT_EQ(b, QStringList{gotIt});
    EXPECT_TRUE(opened.empty());
}

TEST_F(Services, NewReleaseOffersTheDownload) {
    answer = 1; // "稍后"
    checkWith(true, release());
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0], QStringLiteral("Korvel 0.7.2 已发布|当前版本 0.7.1\n\n修复了若干问题。\n\n"
                                        "下载后退出Korvel，安装新版软件包替换旧版。"));
    EXPECT_EQ(buttons[0], (QStringList{QStringLiteral("下载新版"), QStringLiteral("稍后")}));
    EXPECT_TRUE(opened.empty());
    EXPECT_EQ(QSettings().value(QStringLiteral("lastNotifiedVersion")).toString(),
              QStringLiteral("0.7.2"));

    answer = 0;
    checkWith(true, release()); // asked again: answered again
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0].toString(),
              origin + QStringLiteral("/app/ds/update/dastra-0.7.2-linux-x86_64.deb"));
}

TEST_F(Services, AutomaticChecksSpeakOnlyOfNewReleasesOnceAndWhenIdle) {
    // Before start() there is no idle test at all: results stay hidden.
    checkWith(false, release());
    EXPECT_TRUE(alerts.empty());
    services->start([this] { return canPresent; });
    checkWith(false, offline());
    checkWith(false, release(QStringLiteral("0.7.1")));
    checkWith(false, release(QStringLiteral("0.7.2"), QStringLiteral("9.0.0")));
    EXPECT_TRUE(alerts.empty());

    canPresent = false;
    checkWith(false, release());
    EXPECT_TRUE(alerts.empty());
    EXPECT_FALSE(QSettings().contains(QStringLiteral("lastNotifiedVersion")));

    canPresent = true;
    checkWith(false, release());
    EXPECT_EQ(alerts.size(), 1u);
    checkWith(false, release());
    EXPECT_EQ(alerts.size(), 1u);
    checkWith(false, release(QStringLiteral("0.7.3")));
    EXPECT_EQ(alerts.size(), 2u);
    EXPECT_EQ(QSettings().value(QStringLiteral("lastNotifiedVersion")).toString(),
              QStringLiteral("0.7.3"));
}

TEST_F(Services, ChecksDoNotOverlapEvenUnderAnAlert) {
    services->check(true);
    EXPECT_TRUE(services->isChecking());
    services->check(true);
    services->check(false);
    ASSERT_EQ(fetches.size(), 1u);
    duringAlert = [this] {
        // A timer firing under the modal alert finds the check still running.
        EXPECT_TRUE(services->isChecking());
        services->check(true);
    };
    fetches[0](offline());
    EXPECT_EQ(fetches.size(), 1u);
    EXPECT_FALSE(services->isChecking());
}

TEST_F(Services, UnusableServerFailsFromTheEventLoop) {
    services->releaseRules = []() -> ReleaseRules {
        throw urlError::make(urlError::badURL, QStringLiteral("no origin"));
    };
    services->check(true);
    EXPECT_TRUE(alerts.empty());
    EXPECT_TRUE(services->isChecking());
    QCoreApplication::processEvents();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_TRUE(alerts[0].startsWith(QStringLiteral("暂时无法检查更新|")));
    EXPECT_FALSE(services->isChecking());
    EXPECT_TRUE(fetches.empty());
}

TEST_F(Services, LateResultAfterTheServiceIsGoneIsDropped) {
    services->check(true);
    ASSERT_EQ(fetches.size(), 1u);
    services.reset();
    fetches[0](release());
    EXPECT_TRUE(alerts.empty());
}

TEST_F(Services, LoginItemToggles) {
    using Status = LoginItem::Status;
    services->toggleLoginItem();
    EXPECT_EQ(login->current, Status::enabled);
    services->toggleLoginItem();
    EXPECT_EQ(login->current, Status::notRegistered);
    login->current = Status::requiresApproval;
    services->toggleLoginItem();
    EXPECT_EQ(login->current, Status::notRegistered);
    EXPECT_EQ(login->settingsOpened, 0);
    // A registration that waits for approval sends the user to approve it.
    login->afterRegister = Status::requiresApproval;
    services->toggleLoginItem();
    EXPECT_EQ(login->settingsOpened, 1);
    EXPECT_TRUE(alerts.empty());

    login->current = Status::enabled;
    login->failure = Error(QStringLiteral("LoginItem"), 4, QStringLiteral("denied"));
    services->toggleLoginItem();
    EXPECT_EQ(login->current, Status::enabled);
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0],
              QStringLiteral("无法修改开机启动|请确认可以修改文件 autostart/korvel.desktop"
                             "，再重试。也可以在桌面环境的“自动启动”设置中管理。"));
    EXPECT_EQ(buttons[0], QStringList{gotIt});

    EXPECT_EQ(loginMenuState(Status::enabled), Qt::Checked);
    EXPECT_EQ(loginMenuState(Status::requiresApproval), Qt::PartiallyChecked);
    EXPECT_EQ(loginMenuState(Status::notRegistered), Qt::Unchecked);
}

// Notes are plain text, never markup, and long ones sit in a bounded view.
TEST_F(Services, NotesArePlainTextInABoundedView) {
    AppRelease marked = release();
    marked.notes = QStringLiteral("<a href=\"https://evil.example\">点此</a><img src=x>");
    services->runAlert = [&](QMessageBox& box) {
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        EXPECT_TRUE(label && label->textFormat() == Qt::PlainText &&
                    label->text().contains(marked.notes));
        return 1;
    };
    checkWith(true, marked);

    AppRelease longNotes = release();
    longNotes.notes = QStringLiteral("很长的更新说明。").repeated(2499) + QStringLiteral("完");
    ASSERT_EQ(characterCount(longNotes.notes), 19993);
    int height = 0;
    services->runAlert = [&](QMessageBox& box) {
        EXPECT_TRUE(box.informativeText().contains(longNotes.notes));
        auto* view = box.findChild<QPlainTextEdit*>(QStringLiteral("korvel_informativetext"));
        EXPECT_TRUE(view && view->toPlainText().contains(longNotes.notes));
        box.show();
        QCoreApplication::processEvents();
        height = box.height();
        box.hide();
        return 1;
    };
    checkWith(true, longNotes);
    EXPECT_GT(height, 0);
    EXPECT_LT(height, 600);
}
