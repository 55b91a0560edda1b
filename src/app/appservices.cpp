#include "appservices.h"

#include "appinfo.h"
#include "settingsvalues.h"

#include <QAbstractButton>
#include <QDesktopServices>
#include <QGridLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

namespace korvel {
namespace {

const QString automaticChecksKey = QStringLiteral("automaticUpdateChecks");
const QString lastNotifiedKey = QStringLiteral("lastNotifiedVersion");
const QString gotIt = QStringLiteral("知道了");

// Release notes may run to 19999 characters, which would stretch an alert far
// past the screen, its buttons out of reach, and make the label lay out for
// seconds: a long informative text goes into a bounded read-only text view.
void boundInformativeText(QMessageBox& box) {
    constexpr int longText = 600;
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel"));
    auto* grid = qobject_cast<QGridLayout*>(box.layout());
    if (!label || !grid || box.informativeText().size() < longText)
        return;
    const int index = grid->indexOf(label);
    if (index < 0)
        return;
    int row = 0;
    int column = 0;
    int rowSpan = 0;
    int columnSpan = 0;
    grid->getItemPosition(index, &row, &column, &rowSpan, &columnSpan);
    grid->removeWidget(label);
    label->hide();
    auto* view = new QPlainTextEdit(box.informativeText(), &box);
    view->setObjectName(QStringLiteral("korvel_informativetext"));
    view->setReadOnly(true);
    view->setFrameShape(QFrame::NoFrame);
    view->viewport()->setAutoFillBackground(false);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setMinimumSize(420, 240);
    view->setMaximumHeight(320);
    grid->addWidget(view, row, column, rowSpan, columnSpan);
}

int execAlert(QMessageBox& box) {
    box.show();
    box.raise();
    box.activateWindow();
    box.exec();
    return int(box.buttons().indexOf(box.clickedButton()));
}

} // namespace

Qt::CheckState loginMenuState(LoginItem::Status status) {
    switch (status) {
    case LoginItem::Status::enabled:
        return Qt::Checked;
    case LoginItem::Status::requiresApproval:
        return Qt::PartiallyChecked;
    case LoginItem::Status::notRegistered:
        break;
    }
    return Qt::Unchecked;
}

AppServices::Config AppServices::Config::fromBuild() {
    QUrl changelog(QString::fromUtf8(AppInfo::websiteOrigin));
    changelog.setPath(QStringLiteral("/changelog.html"));
    return {QString::fromUtf8(AppInfo::version), AppInfo::updateChannelEnabled, changelog};
}

AppServices::AppServices(std::unique_ptr<LoginItem> loginItem, Config config, QObject* parent)
    : QObject(parent)
    , releaseRules(&configuredReleaseRules)
    , systemVersion(&runningSystemVersion)
    , runAlert(&execAlert)
    , openUrl([](const QUrl& url) { QDesktopServices::openUrl(url); })
    , loginItem_(std::move(loginItem))
    , config_(std::move(config)) {
    schedule = [this](std::chrono::milliseconds delay, bool repeat, std::function<void()> task) {
        if (!repeat) {
            QTimer::singleShot(delay, this, std::move(task));
            return;
        }
        delete timer_;
        timer_ = new QTimer(this);
        timer_->setInterval(delay);
        connect(timer_, &QTimer::timeout, this, std::move(task));
        timer_->start();
    };
    fetch = [this](const ReleaseRules& rules, std::function<void(FetchResult)> done) {
        fetchLatest(rules, FetchLimits::fromEnvironment(), this, std::move(done));
    };
}

AppServices::~AppServices() = default;

bool AppServices::automaticChecks() const {
    return readBool(QSettings(), automaticChecksKey, true);
}

void AppServices::start(std::function<bool()> canPresent) {
    canPresent_ = std::move(canPresent);
    // The tasks run on the service's own thread and die with it.
    schedule(firstCheckDelay, false, [this] { check(false); });
    schedule(checkInterval, true, [this] { check(false); });
}

void AppServices::check(bool manual) {
    if (checking_)
        return;
    if (!manual && (!automaticChecks() || !config_.channelEnabled))
        return;
    if (!config_.channelEnabled) {
        alert(QStringLiteral("更新通道尚未上线"),
              QStringLiteral("当前构建未启用更新检测，请从Korvel官网下载支持检查更新的新版本。"));
        return;
    }
    checking_ = true;
    QPointer<AppServices> self(this);
    try {
        const ReleaseRules rules = releaseRules();
        fetch(rules, [self, manual, rules](const FetchResult& result) {
            if (self)
                self->finishCheck(manual, rules, result);
        });
    } catch (const Error&) {
        // No usable update server: fails like an unreachable one, and, like
        // every result, from the event loop.
        QTimer::singleShot(0, this, [this, manual] {
            checkFailed(manual);
            checking_ = false;
        });
    }
}

void AppServices::checkFailed(bool manual) {
    if (manual)
        alert(QStringLiteral("暂时无法检查更新"),
              QStringLiteral("请检查网络后重试，也可以访问Korvel官网下载。"));
}

void AppServices::finishCheck(bool manual, const ReleaseRules& rules, const FetchResult& result) {
    // Cleared only when the check has ended, alerts included, so that a
    // timer firing under a modal alert does not stack a second check.
    struct Done {
        bool& checking;
        ~Done() { checking = false; }
    } done{checking_};

    const AppRelease* release = std::get_if<AppRelease>(&result);
    std::optional<Availability> availability;
    if (release) {
        try {
            availability = release->availability(config_.version, systemVersion(), rules);
        } catch (const Error&) {
        }
    }
    if (!availability) {
        checkFailed(manual);
        return;
    }
    if (!manual && !(canPresent_ && canPresent_()))
        return;
    switch (*availability) {
    case Availability::requiresSystem:
        if (manual)
            alert(QStringLiteral("需要更新 ") + rules.package.systemName,
                  QStringLiteral("新版本需要 ") + rules.package.systemName + u' ' +
                      release->minimumSystemVersion + QStringLiteral(" 或更新版本。"));
        return;
    case Availability::current:
        if (manual)
            alert(QStringLiteral("已是最新版本"), QStringLiteral("Korvel ") + config_.version);
        return;
    case Availability::available:
        announce(manual, *release, rules);
        return;
    }
}

void AppServices::announce(bool manual, const AppRelease& release, const ReleaseRules& rules) {
    QSettings settings;
    const QVariant last = settings.value(lastNotifiedKey);
    // Each release is announced automatically once; asking always answers.
    if (!manual && last.typeId() == QMetaType::QString && last.toString() == release.version)
        return;
    settings.setValue(lastNotifiedKey, release.version);
    settings.sync();
    const bool download =
        alert(QStringLiteral("Korvel ") + release.version + QStringLiteral(" 已发布"),
              QStringLiteral("当前版本 ") + config_.version + QStringLiteral("\n\n") +
                  release.notes + QStringLiteral("\n\n") + rules.package.installHint,
              {QStringLiteral("下载新版"), QStringLiteral("稍后")});
    if (download)
        openUrl(release.downloadURL);
}

void AppServices::toggleLoginItem() {
    try {
        const LoginItem::Status status = loginItem_->status();
        if (status == LoginItem::Status::enabled || status == LoginItem::Status::requiresApproval) {
            loginItem_->unregisterItem();
            return;
        }
        loginItem_->registerItem();
        if (loginItem_->status() == LoginItem::Status::requiresApproval)
            loginItem_->openSystemSettings();
    } catch (const Error&) {
        alert(QStringLiteral("无法修改开机启动"),
              QStringLiteral("请确认可以修改文件 ") + loginItem_->location() +
                  QStringLiteral("，再重试。也可以在桌面环境的“自动启动”设置中管理。"));
    }
}

bool AppServices::alert(const QString& message, const QString& informative,
                        const QStringList& buttons) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Korvel"), message);
    // Release notes come from the network: never let them render as markup.
    box.setTextFormat(Qt::PlainText);
    box.setInformativeText(informative);
    if (auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    boundInformativeText(box);
    QAbstractButton* first = nullptr;
    for (const QString& title : buttons) {
        QAbstractButton* button =
            box.addButton(title, first ? QMessageBox::RejectRole : QMessageBox::AcceptRole);
        if (!first)
            first = button;
    }
    box.setDefaultButton(qobject_cast<QPushButton*>(first));
    const int chosen = runAlert(box);
    return chosen >= 0 && box.buttons().value(chosen) == first;
}

} // namespace korvel
