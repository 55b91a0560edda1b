#include "remotedesktop.h"

#include "portalrequest.h"
#include "screencaststream.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QSettings>

namespace korvel::portal {
namespace {

const QString remoteDesktopInterface = QStringLiteral("org.freedesktop.portal.RemoteDesktop");
const QString remoteTokenKey = QStringLiteral("remoteDesktopRestoreToken");
constexpr uint pointerDevice = 2;
// The desktop asks the user, who may take a while.
constexpr std::chrono::seconds consentTimeout{120};

QString refusal(const Response& response) {
    switch (response.outcome) {
    case Outcome::granted:
        return {};
    case Outcome::cancelled:
        return QStringLiteral("未允许远程控制，无法自动滚动。");
    case Outcome::refused:
        return QStringLiteral("桌面拒绝了远程控制，无法自动滚动。");
    case Outcome::timedOut:
        return QStringLiteral("桌面门户没有应答，无法自动滚动。");
    case Outcome::unavailable:
        break;
    }
    return QStringLiteral("桌面不提供远程控制门户，无法自动滚动。");
}

uint availableDevices() {
    QDBusMessage call = QDBusMessage::createMethodCall(
        desktopService, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << remoteDesktopInterface << QStringLiteral("AvailableDeviceTypes");
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    return reply.arguments().value(0).value<QDBusVariant>().variant().toUInt();
}

} // namespace

bool ScrollPoster::available() {
    return interfaceVersion(remoteDesktopInterface) > 0 && (availableDevices() & pointerDevice);
}

ScrollPoster::~ScrollPoster() {
    closeSession();
}

void ScrollPoster::setWatching(bool watching) {
    // Each capture may ask again; a session left open would keep the
    // desktop's "being controlled" indicator on.
    failure_.clear();
    if (!watching)
        closeSession();
}

bool ScrollPoster::startSession() {
    const uint version = interfaceVersion(remoteDesktopInterface);
    Response response = callRequest(
        remoteDesktopInterface, QStringLiteral("CreateSession"),
        {QVariantMap{{QStringLiteral("session_handle_token"), newToken()}}}, setupTimeout);
    if (response.outcome != Outcome::granted) {
        failure_ = refusal(response);
        return false;
    }
    const QVariant handle = response.results.value(QStringLiteral("session_handle"));
    session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                    : handle.toString();
    const QVariant session = QVariant::fromValue(QDBusObjectPath(session_));
    QSettings settings;
    QVariantMap devices{{QStringLiteral("types"), pointerDevice}};
    if (version >= 2) {
        devices.insert(QStringLiteral("persist_mode"), 2u); // until revoked
        const QString token = settings.value(remoteTokenKey).toString();
        if (!token.isEmpty())
            devices.insert(QStringLiteral("restore_token"), token);
    }
    const QVariantMap sources{{QStringLiteral("types"), 1u}, // monitors
                              {QStringLiteral("multiple"), true}};
    response = callRequest(remoteDesktopInterface, QStringLiteral("SelectDevices"),
                           {session, devices}, setupTimeout);
    if (response.outcome == Outcome::granted)
        response = callRequest(QStringLiteral("org.freedesktop.portal.ScreenCast"),
                               QStringLiteral("SelectSources"), {session, sources}, setupTimeout);
    if (response.outcome == Outcome::granted)
        response = callRequest(remoteDesktopInterface, QStringLiteral("Start"),
                               {session, QString(), QVariantMap{}}, consentTimeout);
    failure_ = refusal(response);
    const QVariantMap& started = response.results;
    if (failure_.isEmpty() && !(started.value(QStringLiteral("devices")).toUInt() & pointerDevice))
        failure_ = QStringLiteral("未允许控制指针，无法自动滚动。");
    if (!failure_.isEmpty()) {
        closeSession();
        return false;
    }
    const QString token = started.value(QStringLiteral("restore_token")).toString();
    if (!token.isEmpty())
        settings.setValue(remoteTokenKey, token);
    for (const CastSource& cast : castSources(started.value(QStringLiteral("streams"))))
        streams_.push_back({cast.node, cast.area.value_or(QRect())});
    return true;
}

void ScrollPoster::closeSession() {
    if (!session_.isEmpty()) {
        QDBusConnection::sessionBus().send(QDBusMessage::createMethodCall(
            desktopService, session_, QStringLiteral("org.freedesktop.portal.Session"),
            QStringLiteral("Close")));
    }
    session_.clear();
    streams_.clear();
}

bool ScrollPoster::post(QPoint rootPoint, bool horizontal, int amount) {
    // Starting waits for the user in a local event loop, in which the
    // capture's timer may ask again.
    if (starting_ || !failure_.isEmpty())
        return false;
    if (session_.isEmpty()) {
        starting_ = true;
        const bool started = startSession();
        starting_ = false;
        if (!started)
            return false;
    }
    // Positions are given within a shared monitor; without one that holds
    // the point, the pointer stays where it is.
    const QVariant session = QVariant::fromValue(QDBusObjectPath(session_));
    QDBusConnection bus = QDBusConnection::sessionBus();
    auto notify = [&](const QString& method, const QVariantList& arguments) {
        QDBusMessage call = QDBusMessage::createMethodCall(desktopService, desktopPath,
                                                           remoteDesktopInterface, method);
        call.setArguments(arguments);
        return bus.call(call, QDBus::Block, 5000).type() == QDBusMessage::ReplyMessage;
    };
    for (const Stream& stream : streams_) {
        if (stream.area.contains(rootPoint) || streams_.size() == 1) {
            const QPoint at = rootPoint - stream.area.topLeft();
            notify(QStringLiteral("NotifyPointerMotionAbsolute"),
                   {session, QVariantMap{}, stream.node, double(at.x()), double(at.y())});
            break;
        }
    }
    // Negative amounts go down or right, the portal's positive steps.
    if (!notify(QStringLiteral("NotifyPointerAxisDiscrete"),
                {session, QVariantMap{}, uint(horizontal ? 1 : 0), -amount}))
        return false;
    // Ends the scroll, so kinetic scrolling does not carry it on.
    notify(QStringLiteral("NotifyPointerAxis"),
           {session, QVariantMap{{QStringLiteral("finish"), true}}, 0.0, 0.0});
    return true;
}

} // namespace korvel::portal
