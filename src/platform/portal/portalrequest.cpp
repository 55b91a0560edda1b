#include "portalrequest.h"

#include "responsereceiver.h"

#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusReply>
#include <QTimer>

#include <atomic>

namespace korvel::portal {
namespace {

const QString requestInterface = QStringLiteral("org.freedesktop.portal.Request");

QString requestPath(const QDBusConnection& bus, const QString& token) {
    // ":1.42" becomes "1_42".
    QString sender = bus.baseService().mid(1);
    sender.replace(QLatin1Char('.'), QLatin1Char('_'));
    return QStringLiteral("/org/freedesktop/portal/desktop/request/%1/%2").arg(sender, token);
}

} // namespace

QString newToken() {
    static std::atomic<int> counter{0};
    return QStringLiteral("korvel%1").arg(++counter);
}

uint interfaceVersion(const QString& interface) {
    QDBusMessage call = QDBusMessage::createMethodCall(
        desktopService, desktopPath, QStringLiteral("org.freedesktop.DBus.Properties"),
        QStringLiteral("Get"));
    call << interface << QStringLiteral("version");
    // A portal that is starting answers within a second or two; one that
    // never does must not stall the program's start.
    const QDBusMessage reply = QDBusConnection::sessionBus().call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return 0;
    return reply.arguments().front().value<QDBusVariant>().variant().toUInt();
}

Response callRequest(const QString& interface, const QString& method, QVariantList arguments,
                     std::chrono::milliseconds timeout) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    Response result;
    if (!bus.isConnected()) {
        result.error = QStringLiteral("没有会话总线");
        return result;
    }
    const QString token = newToken();
    QString handle = requestPath(bus, token);
    ResponseReceiver receiver;
    bus.connect(desktopService, handle, requestInterface, QStringLiteral("Response"), &receiver,
                SLOT(onResponse(uint, QVariantMap)));
    QVariantMap options = arguments.isEmpty() ? QVariantMap{} : arguments.takeLast().toMap();
    options.insert(QStringLiteral("handle_token"), token);
    arguments.append(options);

    QDBusMessage call =
        QDBusMessage::createMethodCall(desktopService, desktopPath, interface, method);
    call.setArguments(arguments);
    QDBusPendingCallWatcher watcher(bus.asyncCall(call, int(timeout.count())));
    bool callFailed = false;
    QObject::connect(&watcher, &QDBusPendingCallWatcher::finished, &receiver, [&] {
        const QDBusMessage reply = watcher.reply();
        if (reply.type() == QDBusMessage::ErrorMessage) {
            callFailed = true;
            result.error = reply.errorMessage();
            receiver.loop.quit();
            return;
        }
        // Older portals chose the handle themselves.
        const QString actual = reply.arguments().value(0).value<QDBusObjectPath>().path();
        if (!actual.isEmpty() && actual != handle) {
            bus.disconnect(desktopService, handle, requestInterface, QStringLiteral("Response"),
                           &receiver, SLOT(onResponse(uint, QVariantMap)));
            handle = actual;
            bus.connect(desktopService, handle, requestInterface, QStringLiteral("Response"),
                        &receiver, SLOT(onResponse(uint, QVariantMap)));
        }
    });
    QTimer timer;
    timer.setSingleShot(true);
    QObject::connect(&timer, &QTimer::timeout, &receiver, [&] { receiver.loop.quit(); });
    timer.start(timeout);
    if (!receiver.answered)
        receiver.loop.exec();
    bus.disconnect(desktopService, handle, requestInterface, QStringLiteral("Response"), &receiver,
                   SLOT(onResponse(uint, QVariantMap)));

    if (callFailed)
        return result;
    if (!receiver.answered) {
        // Takes down a dialog the user may still see.
        bus.asyncCall(QDBusMessage::createMethodCall(desktopService, handle, requestInterface,
                                                     QStringLiteral("Close")));
        result.outcome = Outcome::timedOut;
        return result;
    }
    result.results = receiver.results;
    result.outcome = receiver.code == 0   ? Outcome::granted
                     : receiver.code == 1 ? Outcome::cancelled
                                          : Outcome::refused;
    return result;
}

} // namespace korvel::portal
