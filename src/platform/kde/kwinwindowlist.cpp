#include "kwinwindowlist.h"

#include "scriptreport.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <atomic>

namespace korvel::kde {
namespace {

const QString kwinService = QStringLiteral("org.kde.KWin");
const QString scriptingInterface = QStringLiteral("org.kde.kwin.Scripting");
const QString reportPath = QStringLiteral("/org/korvel/KWinScript");

// Loading and running a script takes KWin a few milliseconds; a second
// means it will not answer.
constexpr int answerTimeoutMs = 1000;

// Stacking layers of window kinds that are never hover targets, as the X11
// list reports them.
constexpr int desktopLayer = -1;
constexpr int utilityLayer = 3;
constexpr int dockLayer = 20;

// The same script works with KWin 5 (clients) and 6 (windows).
const char* const windowsPrelude = R"(
var list = workspace.windowList ? workspace.windowList() : workspace.clientList();
var active = workspace.activeWindow !== undefined ? workspace.activeWindow
                                                   : workspace.activeClient;
)";

const char* const listBody = R"(
var out = [];
for (var i = 0; i < list.length; i++) {
    var c = list[i];
    var g = c.frameGeometry;
    var onDesktop = c.onAllDesktops || (c.desktops ? c.desktops.indexOf(workspace.currentDesktop) >= 0
                                                   : c.desktop == workspace.currentDesktop);
    var onActivity = !c.activities || c.activities.length == 0 ||
                     c.activities.indexOf(workspace.currentActivity) >= 0;
    out.push({id: String(c.internalId), x: g.x, y: g.y, width: g.width, height: g.height,
              pid: c.pid, resourceClass: String(c.resourceClass), caption: String(c.caption),
              stacking: c.stackingOrder, normal: c.normalWindow || c.dialog, dock: c.dock,
              desktop: c.desktopWindow, opacity: c.opacity, active: c === active,
              shown: onDesktop && onActivity && !c.minimized && !c.hidden});
}
)";

QString quoted(const QString& text) {
    const QByteArray json = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(json.mid(1, json.size() - 2));
}

int layerOf(const QJsonObject& w) {
    if (w.value(QLatin1String("desktop")).toBool())
        return desktopLayer;
    if (w.value(QLatin1String("dock")).toBool())
        return dockLayer;
    return w.value(QLatin1String("normal")).toBool() ? 0 : utilityLayer;
}

} // namespace

std::vector<WindowInfo> kwinWindows(const QJsonArray& report, std::map<QString, quint32>& ids) {
    std::vector<std::pair<qint64, WindowInfo>> shown;
    for (const QJsonValue value : report) {
        const QJsonObject w = value.toObject();
        const QString uuid = w.value(QLatin1String("id")).toString();
        if (uuid.isEmpty() || !w.value(QLatin1String("shown")).toBool())
            continue;
        WindowInfo info;
        info.id = ids.emplace(uuid, quint32(ids.size() + 1)).first->second;
        if (const qint64 pid = w.value(QLatin1String("pid")).toInteger(); pid > 0)
            info.pid = pid;
        info.layer = layerOf(w);
        if (const QJsonValue opacity = w.value(QLatin1String("opacity")); opacity.isDouble())
            info.alpha = opacity.toDouble();
        const QRectF bounds(w.value(QLatin1String("x")).toDouble(),
                            w.value(QLatin1String("y")).toDouble(),
                            w.value(QLatin1String("width")).toDouble(),
                            w.value(QLatin1String("height")).toDouble());
        if (bounds.isValid())
            info.bounds = bounds;
        info.owner = w.value(QLatin1String("resourceClass")).toString();
        info.title = w.value(QLatin1String("caption")).toString();
        shown.emplace_back(w.value(QLatin1String("stacking")).toInteger(), std::move(info));
    }
    // KWin counts its stacking order from the bottom.
    std::stable_sort(shown.begin(), shown.end(),
                     [](const auto& a, const auto& b) { return a.first > b.first; });
    std::vector<WindowInfo> result;
    result.reserve(shown.size());
    for (auto& [order, info] : shown)
        result.push_back(std::move(info));
    return result;
}

void ScriptReport::report(const QString& json) {
    if (calledFromDBus() && message().service() != sender)
        return;
    const QJsonObject answerObject = QJsonDocument::fromJson(json.toUtf8()).object();
    if (answerObject.value(QLatin1String("run")).toInt() != run)
        return;
    answer = json;
    loop.quit();
}

KWinWindowList::KWinWindowList()
    : receiver_(std::make_unique<ScriptReport>()) {}

KWinWindowList::~KWinWindowList() {
    if (registered_)
        QDBusConnection::sessionBus().unregisterObject(reportPath);
}

bool KWinWindowList::available() {
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(kwinService);
}

std::optional<QString> KWinWindowList::runScript(const QString& body) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected() || !folder_.isValid())
        return std::nullopt;
    if (!registered_)
        registered_ =
            bus.registerObject(reportPath, receiver_.get(), QDBusConnection::ExportAllSlots);
    if (!registered_)
        return std::nullopt;
    static std::atomic<int> runs{0};
    receiver_->run = ++runs;
    receiver_->answer.reset();
    receiver_->sender = bus.interface()->serviceOwner(kwinService);

    const QString plugin =
        QStringLiteral("korvel-%1-%2").arg(QCoreApplication::applicationPid()).arg(receiver_->run);
    const QString path = folder_.filePath(plugin + QStringLiteral(".js"));
    QFile file(path);
    const QString script =
        QString::fromLatin1(windowsPrelude) + body +
        QStringLiteral(
            "callDBus(%1, %2, 'org.korvel.KWinScript', 'report', "
            "JSON.stringify({run: %3, windows: typeof out === 'undefined' ? [] : out}));\n")
            .arg(quoted(bus.baseService()), quoted(reportPath))
            .arg(receiver_->run);
    if (!file.open(QIODevice::WriteOnly) || file.write(script.toUtf8()) < 0)
        return std::nullopt;
    file.close();

    QDBusMessage load =
        QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                       scriptingInterface, QStringLiteral("loadScript"));
    load << path << plugin;
    const QDBusMessage loaded = bus.call(load, QDBus::Block, answerTimeoutMs);
    if (loaded.type() != QDBusMessage::ReplyMessage || loaded.arguments().value(0).toInt() < 0) {
        QFile::remove(path);
        return std::nullopt;
    }
    // Runs every script loaded and not yet running: ours.
    bus.call(QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                            scriptingInterface, QStringLiteral("start")),
             QDBus::Block, answerTimeoutMs);
    if (!receiver_->answer) {
        QTimer timer;
        timer.setSingleShot(true);
        QObject::connect(&timer, &QTimer::timeout, &receiver_->loop, &QEventLoop::quit);
        timer.start(answerTimeoutMs);
        receiver_->loop.exec();
    }
    QDBusMessage unload =
        QDBusMessage::createMethodCall(kwinService, QStringLiteral("/Scripting"),
                                       scriptingInterface, QStringLiteral("unloadScript"));
    unload << plugin;
    bus.call(unload, QDBus::NoBlock);
    QFile::remove(path);
    return receiver_->answer;
}

std::optional<QJsonArray> KWinWindowList::list() {
    const std::optional<QString> answer = runScript(QString::fromLatin1(listBody));
    if (!answer)
        return std::nullopt;
    return QJsonDocument::fromJson(answer->toUtf8())
        .object()
        .value(QLatin1String("windows"))
        .toArray();
}

std::vector<WindowInfo> KWinWindowList::windows() {
    const std::optional<QJsonArray> report = list();
    return report ? kwinWindows(*report, ids_) : std::vector<WindowInfo>();
}

std::optional<qint64> KWinWindowList::activePid() {
    const std::optional<QJsonArray> report = list();
    if (!report)
        return std::nullopt;
    for (const QJsonValue value : *report) {
        const QJsonObject w = value.toObject();
        if (!w.value(QLatin1String("active")).toBool())
            continue;
        const qint64 pid = w.value(QLatin1String("pid")).toInteger();
        // Korvel's own panels may hold the keyboard; then nobody can tell
        // which program the user works in.
        if (pid < 1 || pid == QCoreApplication::applicationPid())
            return std::nullopt;
        return pid;
    }
    return std::nullopt;
}

void KWinWindowList::activate(quint32 window) {
    const auto it = std::find_if(ids_.begin(), ids_.end(),
                                 [window](const auto& entry) { return entry.second == window; });
    if (it == ids_.end())
        return;
    runScript(QStringLiteral("for (var i = 0; i < list.length; i++) {\n"
                             "    if (String(list[i].internalId) != %1) continue;\n"
                             "    if (workspace.activeWindow !== undefined) workspace.activeWindow "
                             "= list[i];\n"
                             "    else workspace.activeClient = list[i];\n"
                             "}\n")
                  .arg(quoted(it->first)));
}

} // namespace korvel::kde
