#include "atspiaccessibility.h"

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusVariant>

namespace korvel::atspi {
namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");

} // namespace

bool Accessibility::isTrusted() {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return false;
    // The launcher can take a moment to start on first activation; beyond a
    // couple of seconds the bus is treated as absent.
    QDBusInterface bus(busService, busPath, busService, session);
    bus.setTimeout(2000);
    const QDBusReply<QString> address = bus.call(QStringLiteral("GetAddress"));
    if (!address.isValid() || address.value().isEmpty())
        return false;
    QDBusInterface properties(busService, busPath,
                              QStringLiteral("org.freedesktop.DBus.Properties"), session);
    properties.setTimeout(2000);
    const QDBusReply<QDBusVariant> enabled = properties.call(
        QStringLiteral("Get"), QStringLiteral("org.a11y.Status"), QStringLiteral("IsEnabled"));
    return enabled.isValid() && enabled.value().variant().toBool();
}

} // namespace korvel::atspi
