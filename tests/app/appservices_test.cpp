#include "appfixtures.h"
#include "platform/fake/fakeloginitem.h"

#include <QLabel>
#include <QPlainTextEdit>

using namespace korvel;
using namespace std::chrono_literals;

namespace {

const QString offlineAlert =
    QStringLiteral("暂时无法检查更新|请检查网络后重试，也可以访问Korvel官网下载。");

struct Services : ::testing::Test, ServiceSeams {
    fake::LoginItem* login = nullptr;
    std::unique_ptr<AppServices> services;
    bool canPresent = true;

    void SetUp() override {
        QSettings().clear();
        make(true);
    }

    // The service with every seam replaced.
    void make(bool channelEnabled) {
        auto item = std::make_unique<fake::LoginItem>();
        login = item.get();
        services = std::make_unique<AppServices>(
            std::move(item),
            AppServices::Config{QStringLiteral("0.7.1"), channelEnabled,
                                QUrl(QStringLiteral("https://www.example.com/changelog.html"))});
        hook(*services);
    }

    // Runs one check to its end with the given fetch outcome.
    void checkWith(bool manual, const FetchResult& result) {
        const size_t before = fetches.size();
        services->check(manual);
        ASSERT_EQ(fetches.size(), before + 1);
        fetches.back()(result);
        EXPECT_FALSE(services->isChecking());
    }
};

} // namespace

// A build without the channel fetches nothing and says so only when asked.
TEST_F(Services, ManualChecksAnswerEveryOutcome) {
    make(false);
    services->check(false);
    services->check(true);
    EXPECT_TRUE(fetches.empty());
    make(true);
    checkWith(true, urlError::make(urlError::cannotConnectToHost));
    checkWith(true, release(QStringLiteral("0.7.1")));
    checkWith(true, release(QStringLiteral("0.7.2"), QStringLiteral("6.1.1")));
    // A release that fails the rules after fetching is a failure too.
    AppRelease foreign = release();
    foreign.downloadURL =
        QUrl(QStringLiteral("https://evil.example/dastra-0.7.2-linux-x86_64.deb"));
    checkWith(true, foreign);
    EXPECT_EQ(alerts, (std::vector<QString>{
                          QStringLiteral("更新通道尚未上线|当前构建未启用更新检测，"
                                         "请从Korvel官网下载支持检查更新的新版本。"),
                          offlineAlert, QStringLiteral("已是最新版本|Korvel 0.7.1"),
                          QStringLiteral("需要更新 Linux|新版本需要 Linux 6.1.1 或更新版本。"),
                          offlineAlert}));
    for (const QStringList& b : buttons)
        EXPECT_EQ(b, QStringList{QStringLiteral("知道了")});
    EXPECT_TRUE(opened.empty());
    // A new release is offered, and offered again when asked again.
    alerts.clear();
    answer = 1; // "稍后"
    checkWith(true, release());
    EXPECT_EQ(alerts, std::vector<QString>{QStringLiteral(
                          "Korvel 0.7.2 已发布|当前版本 0.7.1\n\n修复了若干问题。\n\n"
                          "下载后退出Korvel，安装新版软件包替换旧版。")});
    EXPECT_EQ(buttons.back(), (QStringList{QStringLiteral("下载新版"), QStringLiteral("稍后")}));
    EXPECT_TRUE(opened.empty());
    answer = 0;
    checkWith(true, release());
    EXPECT_EQ(opened,
              std::vector<QUrl>{
                  QUrl(origin + QStringLiteral("/app/ds/update/dastra-0.7.2-linux-x86_64.deb"))});
}

// The first check comes 30 seconds after the start, then one every 6 hours.
TEST_F(Services, AutomaticChecksSpeakOnlyOfNewReleasesOnceAndWhenIdle) {
    // Before start() there is no idle test at all: results stay hidden.
    checkWith(false, release());
    services->start([this] { return canPresent; });
    ASSERT_EQ(scheduled.size(), 2u);
    EXPECT_EQ(std::tuple(scheduled[0].delay, scheduled[0].repeat, scheduled[1].delay,
                         scheduled[1].repeat),
              std::tuple(30s, false, 6h, true));
    scheduled[0].task();
    scheduled[1].task();
    ASSERT_EQ(fetches.size(), 2u); // the second came while the first ran
    fetches.back()(urlError::make(urlError::cannotConnectToHost));
    checkWith(false, release(QStringLiteral("0.7.1")));
    checkWith(false, release(QStringLiteral("0.7.2"), QStringLiteral("9.0.0")));
    canPresent = false;
    checkWith(false, release());
    EXPECT_TRUE(alerts.empty());
    canPresent = true;
    checkWith(false, release());
    EXPECT_EQ(alerts.size(), 1u);
    checkWith(false, release());
    EXPECT_EQ(alerts.size(), 1u);
    checkWith(false, release(QStringLiteral("0.7.3")));
    EXPECT_EQ(alerts.size(), 2u);
}

TEST_F(Services, ChecksDoNotOverlapEvenUnderAnAlertNorOutliveTheService) {
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
    fetches[0](urlError::make(urlError::cannotConnectToHost));
    EXPECT_EQ(fetches.size(), 1u);
    EXPECT_FALSE(services->isChecking());
    // A result arriving after the service is gone is dropped.
    services->check(true);
    ASSERT_EQ(fetches.size(), 2u);
    services.reset();
    fetches[1](release());
    EXPECT_EQ(alerts.size(), 1u);
}

// On, off and failing through the real entry: Delegate.LoginItemMirrorsTheAutostartEntry.
TEST_F(Services, LoginItemAwaitingApprovalTogglesOffOrAsksForIt) {
    using Status = LoginItem::Status;
    login->current = Status::requiresApproval;
    services->toggleLoginItem();
    EXPECT_EQ(login->current, Status::notRegistered);
    // A registration that waits for approval sends the user to approve it.
    login->afterRegister = Status::requiresApproval;
    services->toggleLoginItem();
    EXPECT_EQ(login->settingsOpened, 1);
    EXPECT_EQ(loginMenuState(Status::requiresApproval), Qt::PartiallyChecked);
    EXPECT_TRUE(alerts.empty());
}

// Notes are plain text, never markup, and long ones sit in a bounded view.
TEST_F(Services, NotesArePlainTextInABoundedView) {
    QString label, view;
    int height = 0;
    services->runAlert = [&](QMessageBox& box) {
        EXPECT_EQ(box.textFormat(), Qt::PlainText);
        auto* l = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
        EXPECT_EQ(l->textFormat(), Qt::PlainText);
        auto* v = box.findChild<QPlainTextEdit*>(QStringLiteral("korvel_informativetext"));
        label = l->text();
        view = v ? v->toPlainText() : QString();
        box.show();
        QCoreApplication::processEvents();
        height = box.height();
        return 1;
    };
    AppRelease marked = release();
    marked.notes = QStringLiteral("<a href=\"https://evil.example\">点此</a><img src=x>");
    checkWith(true, marked);
    EXPECT_TRUE(label.contains(marked.notes));
    AppRelease longNotes = release();
    longNotes.notes = QStringLiteral("很长的更新说明。").repeated(2499) + QStringLiteral("完");
    checkWith(true, longNotes);
    EXPECT_TRUE(view.contains(longNotes.notes));
    EXPECT_LT(height, 600);
}
