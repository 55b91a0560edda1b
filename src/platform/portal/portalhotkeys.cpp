#include "portalhotkeys.h"

#include "portalrequest.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusMetaType>
#include <QDBusPendingCall>

namespace korvel::portal {
namespace {

const QString shortcutsInterface = QStringLiteral("org.freedesktop.portal.GlobalShortcuts");
const QString captureShortcut = QStringLiteral("capture");
// The first binding shows the desktop's dialog.
constexpr std::chrono::seconds bindTimeout{25};

struct Shortcut {
    QString id;
    QVariantMap properties;
};

QDBusArgument& operator<<(QDBusArgument& argument, const Shortcut& shortcut) {
    argument.beginStructure();
    argument << shortcut.id << shortcut.properties;
    argument.endStructure();
    return argument;
}

const QDBusArgument& operator>>(const QDBusArgument& argument, Shortcut& shortcut) {
    argument.beginStructure();
    argument >> shortcut.id >> shortcut.properties;
    argument.endStructure();
    return argument;
}

} // namespace
} // namespace korvel::portal

Q_DECLARE_METATYPE(korvel::portal::Shortcut)

namespace korvel::portal {

HotKeys::HotKeys() {
    qDBusRegisterMetaType<Shortcut>();
    qDBusRegisterMetaType<QList<Shortcut>>();
    QDBusConnection::sessionBus().connect(desktopService, desktopPath, shortcutsInterface,
                                          QStringLiteral("Activated"), this,
                                          SLOT(onActivated(QDBusMessage)));
}

HotKeys::~HotKeys() {
    unregisterHotKey();
}

QString HotKeys::trigger(const QString& keyName, quint32 modifiers) {
    QStringList parts;
    if (modifiers & modifier::control)
        parts << QStringLiteral("CTRL");
    if (modifiers & modifier::option)
        parts << QStringLiteral("ALT");
    if (modifiers & modifier::shift)
        parts << QStringLiteral("SHIFT");
    if (modifiers & modifier::command)
        parts << QStringLiteral("LOGO");
    parts << keyName.toUpper();
    return parts.join(QLatin1Char('+'));
}

bool HotKeys::registerHotKey(quint32 keyCode, quint32 modifiers) {
    const QString name = keyName(keyCode);
    if (name.isEmpty())
        return false;
    // A session binds its shortcuts once: a new one replaces it.
    unregisterHotKey();
    const Response created = callRequest(
        shortcutsInterface, QStringLiteral("CreateSession"),
        {QVariantMap{{QStringLiteral("session_handle_token"), newToken()}}}, bindTimeout);
    if (created.outcome != Outcome::granted)
        return false;
    const QVariant handle = created.results.value(QStringLiteral("session_handle"));
    session_ = handle.canConvert<QDBusObjectPath>() ? handle.value<QDBusObjectPath>().path()
                                                    : handle.toString();
    const QList<Shortcut> shortcuts{
        {captureShortcut,
         {{QStringLiteral("description"), QStringLiteral("截图")},
          {QStringLiteral("preferred_trigger"), trigger(name, modifiers)}}}};
    const Response bound = callRequest(shortcutsInterface, QStringLiteral("BindShortcuts"),
                                       {QVariant::fromValue(QDBusObjectPath(session_)),
                                        QVariant::fromValue(shortcuts), QString(), QVariantMap{}},
                                       bindTimeout);
    if (bound.outcome != Outcome::granted) {
        unregisterHotKey();
        return false;
    }
    return true;
}

void HotKeys::unregisterHotKey() {
    if (session_.isEmpty())
        return;
    QDBusConnection::sessionBus().asyncCall(QDBusMessage::createMethodCall(
        desktopService, session_, QStringLiteral("org.freedesktop.portal.Session"),
        QStringLiteral("Close")));
    session_.clear();
}

void HotKeys::onActivated(const QDBusMessage& message) {
    const QVariantList arguments = message.arguments();
    if (arguments.size() >= 2 && arguments[0].value<QDBusObjectPath>().path() == session_ &&
        arguments[1].toString() == captureShortcut && onPressed)
        onPressed();
}

} // namespace korvel::portal
