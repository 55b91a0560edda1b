#pragma once

#include <QDBusConnection>
#include <QString>
#include <QVariantMap>

#include <chrono>

namespace korvel::portal {

inline const QString desktopService = QStringLiteral("org.freedesktop.portal.Desktop");
inline const QString desktopPath = QStringLiteral("/org/freedesktop/portal/desktop");

// How long a session's set-up steps may wait for the desktop: its dialogs
// answer within this, or the step fails as timed out.
constexpr std::chrono::seconds setupTimeout{10};

// How a portal request ended.
enum class Outcome {
    granted,
    // The user dismissed the desktop's dialog.
    cancelled,
    // The desktop denied it (a permission turned off, a policy).
    refused,
    // No answer in time: the request was closed so no dialog stays behind.
    timedOut,
    // No portal, or the portal has no such interface or method.
    unavailable,
};

struct Response {
    Outcome outcome = Outcome::unavailable;
    QVariantMap results;
    // For `unavailable`: what the bus said.
    QString error;
};

// One call of a portal method that answers through a Request object: the
// handle path is predicted from our bus name and a fresh handle_token, and
// its Response signal is subscribed to before the call, so an answer that
// comes before the call returns is not lost. Waits in a local event loop.
// `arguments` are the method's, its last one the options map to which the
// handle_token is added.
Response callRequest(const QString& interface, const QString& method, QVariantList arguments,
                     std::chrono::milliseconds timeout);

// The version of a portal interface, 0 when the desktop does not offer it.
uint interfaceVersion(const QString& interface);

// A handle_token or session_handle_token: unique within this process.
QString newToken();

} // namespace korvel::portal
