#include "updatefeeddiagnostic.h"

#include "appinfo.h"
#include "releasefetch.h"

#include <QCoreApplication>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace korvel {
namespace {

void printLine(const QString& line) {
    std::fputs((line + u'\n').toUtf8().constData(), stdout);
    std::fflush(stdout);
}

// The two PASS lines, or the error that stops them.
std::optional<Error> report(const AppRelease& release, const ReleaseRules& rules) {
    const QString installed = QString::fromUtf8(AppInfo::version);
    const QString system = runningSystemVersion();
    const QString simulated = QStringLiteral("0.7.1");
    try {
        const Availability live = release.availability(installed, system, rules);
        const Availability older = release.availability(simulated, system, rules);
        printLine(
            QStringLiteral("PASS: live update feed ") + release.version +
            QStringLiteral(", installed ") + installed + QStringLiteral(", status ") +
            availabilityName(live) + QStringLiteral(", channel enabled ") +
            (AppInfo::updateChannelEnabled ? QStringLiteral("true") : QStringLiteral("false")));
        printLine(QStringLiteral("PASS: simulated older client ") + simulated +
                  QStringLiteral(" → ") + availabilityName(older));
        return std::nullopt;
    } catch (const Error& error) {
        return error;
    }
}

} // namespace

int checkUpdateFeed(int argc, char** argv) {
    // A core application: this mode never shows or activates a window.
    QCoreApplication app(argc, argv);
    std::optional<int> status;
    auto end = [&status](int code) {
        status = code;
        QCoreApplication::exit(code);
    };
    auto failed = [&end](const Error& error) {
        printLine(QStringLiteral("FAIL: update feed: ") + error.description());
        end(1);
    };

    QTimer::singleShot(0, &app, [&] {
        try {
            const ReleaseRules rules = configuredReleaseRules();
            fetchLatest(rules, FetchLimits::fromEnvironment(), &app,
                        [&, rules](FetchResult result) {
                            if (const Error* error = std::get_if<Error>(&result)) {
                                failed(*error);
                                return;
                            }
                            if (auto error = report(std::get<AppRelease>(result), rules)) {
                                failed(*error);
                                return;
                            }
                            end(0);
                        });
        } catch (const Error& error) {
            failed(error);
        }
    });
    QCoreApplication::exec();
    // The finished fetch and its connection go before the application does.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    // The task ends the loop itself; a loop that ends otherwise is a failure.
    return status.value_or(1);
}

} // namespace korvel
