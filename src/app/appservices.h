#pragma once

#include "platform/loginitem.h"
#include "releasefetch.h"

#include <QObject>
#include <QUrl>

#include <chrono>
#include <functional>
#include <memory>

class QMessageBox;
class QTimer;

namespace korvel {

// How the tray menu shows a login item status: approval pending is mixed.
Qt::CheckState loginMenuState(LoginItem::Status status);

// The delegate's service object: starting at login, and update checks on a
// schedule and on demand. An update is only announced and linked; the user
// installs it.
class AppServices final : public QObject {
public:
    struct Config {
        QString version;     // installed, "major.minor.patch"
        bool channelEnabled; // this build may check for updates
        QUrl changelog;      // the web site's "/changelog.html"

        static Config fromBuild();
    };

    // Automatic checks: the first after this delay, then at this interval.
    static constexpr std::chrono::milliseconds firstCheckDelay{30'000};
    static constexpr std::chrono::milliseconds checkInterval{21'600'000};

    AppServices(std::unique_ptr<LoginItem> loginItem, Config config, QObject* parent = nullptr);
    ~AppServices() override;

    // Schedules the automatic checks; `canPresent` says whether their
    // results may be shown now.
    void start(std::function<bool()> canPresent);
    // One check; `manual` for the menu's "检查更新…". Dropped while another
    // check runs.
    void check(bool manual);
    void toggleLoginItem();

    LoginItem::Status loginItemStatus() const { return loginItem_->status(); }
    bool automaticChecks() const;
    bool channelEnabled() const { return config_.channelEnabled; }
    const QString& version() const { return config_.version; }
    const QUrl& changelog() const { return config_.changelog; }
    bool isChecking() const { return checking_; }
    // What the build says, replaced by tests of a channel the build lacks.
    void setConfig(Config config) { config_ = std::move(config); }

    // Seams, set to the real services by the constructor; tests replace them.
    // Runs `task` once after `delay`, or every `delay` when `repeat`, for as
    // long as the service lives.
    std::function<void(std::chrono::milliseconds delay, bool repeat, std::function<void()> task)>
        schedule;
    std::function<ReleaseRules()> releaseRules;
    // Starts one fetch; `done` runs later, never inside the call.
    std::function<void(const ReleaseRules&, std::function<void(FetchResult)> done)> fetch;
    std::function<QString()> systemVersion;
    // Runs the alert modally after bringing it to the front; returns the
    // index of the chosen button in box.buttons().
    std::function<int(QMessageBox&)> runAlert;
    std::function<void(const QUrl&)> openUrl;

private:
    void checkFailed(bool manual);
    void finishCheck(bool manual, const ReleaseRules& rules, const FetchResult& result);
    void announce(bool manual, const AppRelease& release, const ReleaseRules& rules);
    // Builds and runs an alert; returns whether the first button was chosen.
    bool alert(const QString& message, const QString& informative,
               const QStringList& buttons = {QStringLiteral("知道了")});

    std::unique_ptr<LoginItem> loginItem_;
    Config config_;
    bool checking_ = false;
    QTimer* timer_ = nullptr;
    std::function<bool()> canPresent_;
};

} // namespace korvel
