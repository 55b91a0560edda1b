#include "atspiaccessibility.h"

#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

namespace korvel::atspi {
namespace {

const QString busService = QStringLiteral("org.a11y.Bus");
const QString busPath = QStringLiteral("/org/a11y/bus");
const QString statusInterface = QStringLiteral("org.a11y.Status");
const QString propertiesInterface = QStringLiteral("org.freedesktop.DBus.Properties");
const QString accessibleInterface = QStringLiteral("org.a11y.atspi.Accessible");
const QString componentInterface = QStringLiteral("org.a11y.atspi.Component");
const QString rootPath = QStringLiteral("/org/a11y/atspi/accessible/root");
const QString nullPath = QStringLiteral("/org/a11y/atspi/null");
const AccessibleElement registry{QStringLiteral("org.a11y.atspi.Registry") + rootPath};

constexpr uint screenCoordinates = 0;
// Deeper answers than this from elementAt come from a broken tree.
constexpr int maxHitDepth = 32;

// An element is named by its bus name and object path; bus names never
// contain '/', paths always start with it.
AccessibleElement element(const QString& service, const QString& path) {
    if (service.isEmpty() || path.isEmpty() || path == nullPath || !path.startsWith(u'/'))
        return {};
    return {service + path};
}

QString serviceOf(const AccessibleElement& e) {
    return e.id.left(e.id.indexOf(u'/'));
}

QString pathOf(const AccessibleElement& e) {
    return e.id.mid(e.id.indexOf(u'/'));
}

// The (so) reference the protocol uses for an element, possibly inside a
// variant.
AccessibleElement readReference(const QVariant& value) {
    QVariant v = value;
    if (v.userType() == qMetaTypeId<QDBusVariant>())
        v = v.value<QDBusVariant>().variant();
    if (v.userType() != qMetaTypeId<QDBusArgument>())
        return {};
    const QDBusArgument arg = v.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(so)"))
        return {};
    QString service;
    QDBusObjectPath path;
    arg.beginStructure();
    arg >> service >> path;
    arg.endStructure();
    return element(service, path.path());
}

std::vector<AccessibleElement> readReferences(const QVariant& value, int limit) {
    std::vector<AccessibleElement> result;
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return result;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("a(so)"))
        return result;
    arg.beginArray();
    while (!arg.atEnd()) {
        QString service;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> service >> path;
        arg.endStructure();
        if (int(result.size()) < limit) {
            if (AccessibleElement e = element(service, path.path()))
                result.push_back(e);
        }
    }
    arg.endArray();
    return result;
}

QVariant firstArgument(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return {};
    return reply.arguments().constFirst();
}

// A call to the bus launcher on the session bus. Plain messages: an interface
// object would introspect the launcher first, a round trip per call.
QDBusMessage callLauncher(const QString& interface, const QString& method,
                          const QVariantList& arguments, int timeout) {
    QDBusConnection session = QDBusConnection::sessionBus();
    if (!session.isConnected())
        return {};
    QDBusMessage call = QDBusMessage::createMethodCall(busService, busPath, interface, method);
    call.setArguments(arguments);
    return session.call(call, QDBus::Block, timeout);
}

// The accessibility bus's address from its launcher on the session bus.
std::optional<QString> launcherAddress(int timeout) {
    const QString address =
        firstArgument(callLauncher(busService, QStringLiteral("GetAddress"), {}, timeout))
            .toString();
    if (address.isEmpty())
        return std::nullopt;
    return address;
}

// org.a11y.Status.IsEnabled as the launcher reports it; absent when unread.
std::optional<QVariant> statusEnabled(int timeout) {
    const QVariant enabled =
        firstArgument(callLauncher(propertiesInterface, QStringLiteral("Get"),
                                   {statusInterface, QStringLiteral("IsEnabled")}, timeout));
    if (enabled.userType() != qMetaTypeId<QDBusVariant>())
        return std::nullopt;
    return enabled.value<QDBusVariant>().variant();
}

} // namespace

bool Accessibility::isTrusted() {
    // The launcher can take a moment to start on first activation; beyond a
    // couple of seconds the bus is treated as absent.
    if (!launcherAddress(2000))
        return false;
    const std::optional<QVariant> enabled = statusEnabled(2000);
    return enabled && enabled->toBool();
}

bool Accessibility::enable() {
    const QDBusMessage reply = callLauncher(
        propertiesInterface, QStringLiteral("Set"),
        {statusInterface, QStringLiteral("IsEnabled"), QVariant::fromValue(QDBusVariant(true))},
        2000);
    return reply.type() == QDBusMessage::ReplyMessage && isTrusted();
}

std::optional<QDBusConnection> Accessibility::bus() {
    std::lock_guard guard(lock_);
    if (bus_ && bus_->isConnected())
        return bus_;
    const std::optional<QString> address = launcherAddress(timeout_);
    if (!address)
        return std::nullopt;
    QDBusConnection connection =
        QDBusConnection::connectToBus(*address, QStringLiteral("korvel-accessibility"));
    if (!connection.isConnected()) {
        QDBusConnection::disconnectFromBus(QStringLiteral("korvel-accessibility"));
        return std::nullopt;
    }
    bus_ = connection;
    return bus_;
}

QDBusMessage Accessibility::call(const AccessibleElement& e, const QString& interface,
                                 const QString& method, const QList<QVariant>& arguments) {
    const std::optional<QDBusConnection> connection = bus();
    if (!connection || !e)
        return {};
    QDBusMessage message =
        QDBusMessage::createMethodCall(serviceOf(e), pathOf(e), interface, method);
    message.setArguments(arguments);
    return connection->call(message, QDBus::Block, timeout_);
}

AccessibleElement Accessibility::application(qint32 pid) {
    const std::optional<QDBusConnection> connection = bus();
    if (!connection || pid < 1)
        return {};
    const QVariant apps =
        firstArgument(call(registry, accessibleInterface, QStringLiteral("GetChildren")));
    for (const AccessibleElement& app : readReferences(apps, 4096)) {
        // The bus daemon answers this, not the application, so a hanging
        // application cannot stall the search.
        QDBusMessage message = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("/org/freedesktop/DBus"),
            QStringLiteral("org.freedesktop.DBus"), QStringLiteral("GetConnectionUnixProcessID"));
        message << serviceOf(app);
        const QVariant owner = firstArgument(connection->call(message, QDBus::Block, timeout_));
        if (owner.isValid() && owner.toLongLong() == pid)
            return app;
    }
    return {};
}

void Accessibility::prepare(const AccessibleElement&) {
    // Toolkits decide from org.a11y.Status whether to expose their trees;
    // switch it back on only if something turned it off.
    const std::optional<QVariant> enabled = statusEnabled(timeout_);
    if (enabled && enabled->userType() == QMetaType::Bool && !enabled->toBool())
        enable();
}

std::vector<AccessibleElement> Accessibility::windows(const AccessibleElement& app) {
    // An application's children are its top-level windows.
    return children(app, 4096);
}

AccessibleElement Accessibility::elementAt(const AccessibleElement& app, QPoint position) {
    for (const AccessibleElement& window : windows(app)) {
        const std::optional<QRectF> frame = extents(window);
        if (!frame || !frame->contains(QPointF(position)))
            continue;
        // Some toolkits answer with the direct child only; walk down until the
        // answer stops changing.
        AccessibleElement hit = window;
        for (int depth = 0; depth < maxHitDepth; ++depth) {
            const AccessibleElement next = readReference(
                firstArgument(call(hit, componentInterface, QStringLiteral("GetAccessibleAtPoint"),
                                   {position.x(), position.y(), screenCoordinates})));
            if (!next || next == hit)
                break;
            hit = next;
        }
        return hit;
    }
    return {};
}

AccessibleElement Accessibility::parent(const AccessibleElement& e) {
    const AccessibleElement p =
        readReference(firstArgument(call(e, propertiesInterface, QStringLiteral("Get"),
                                         {accessibleInterface, QStringLiteral("Parent")})));
    // The desktop is every application's parent, never a region.
    return pathOf(p) == rootPath && serviceOf(p) == serviceOf(registry) ? AccessibleElement{} : p;
}

std::vector<AccessibleElement> Accessibility::children(const AccessibleElement& e, int limit) {
    return readReferences(
        firstArgument(call(e, accessibleInterface, QStringLiteral("GetChildren"))), limit);
}

std::optional<QRectF> Accessibility::extents(const AccessibleElement& e) {
    const QVariant value = firstArgument(
        call(e, componentInterface, QStringLiteral("GetExtents"), {screenCoordinates}));
    if (value.userType() != qMetaTypeId<QDBusArgument>())
        return std::nullopt;
    const QDBusArgument arg = value.value<QDBusArgument>();
    if (arg.currentSignature() != QLatin1String("(iiii)"))
        return std::nullopt;
    int x = 0, y = 0, w = 0, h = 0;
    arg.beginStructure();
    arg >> x >> y >> w >> h;
    arg.endStructure();
    return QRectF(x, y, w, h);
}

} // namespace korvel::atspi
