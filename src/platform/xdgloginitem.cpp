#include "xdgloginitem.h"

#include "atomicfile.h"
#include "error.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

namespace korvel {
namespace {

const QString errorDomain = QStringLiteral("LoginItem");

// One argument of an Exec line: always quoted, with the characters the
// desktop entry format reserves inside quotes escaped, "%" doubled (field
// codes), and then every backslash doubled again because the whole value is
// itself an escaped string.
QString execArgument(const QString& argument) {
    QString quoted = QStringLiteral("\"");
    for (const QChar c : argument) {
        if (c == u'"' || c == u'`' || c == u'$' || c == u'\\')
            quoted += u'\\';
        if (c == u'%')
            quoted += u'%';
        quoted += c;
    }
    quoted += u'"';
    return quoted.replace(QStringLiteral("\\"), QStringLiteral("\\\\"));
}

// The value of `key` in the [Desktop Entry] group, if present.
QString entryValue(const QByteArray& text, const QByteArray& key) {
    bool inEntryGroup = false;
    for (const QByteArray& raw : text.split('\n')) {
        const QByteArray line = raw.trimmed();
        if (line.startsWith('[')) {
            inEntryGroup = line == "[Desktop Entry]";
            continue;
        }
        if (!inEntryGroup)
            continue;
        const qsizetype equals = line.indexOf('=');
        if (equals > 0 && line.left(equals).trimmed() == key)
            return QString::fromUtf8(line.mid(equals + 1).trimmed());
    }
    return {};
}

} // namespace

XdgLoginItem::XdgLoginItem(QString entryPath, QString executable)
    : path_(std::move(entryPath))
    , executable_(std::move(executable)) {}

QString XdgLoginItem::defaultPath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/korvel.desktop");
}

QByteArray XdgLoginItem::entry(const QString& executable) {
    QString text;
    text += QStringLiteral("[Desktop Entry]\n");
    text += QStringLiteral("Type=Application\n");
    text += QStringLiteral("Name=Korvel\n");
    text += QStringLiteral("Name[zh_CN]=Korvel截图\n");
    text += QStringLiteral("Exec=") + execArgument(executable) + u'\n';
    text += QStringLiteral("Icon=camera-photo\n");
    text += QStringLiteral("Terminal=false\n");
    text += QStringLiteral("X-GNOME-Autostart-enabled=true\n");
    return text.toUtf8();
}

LoginItem::Status XdgLoginItem::status() {
    const QFileInfo info(path_);
    if (!info.exists() || info.isDir())
        return Status::notRegistered;
    QFile file(path_);
    // An entry we cannot read is still there and still starts us.
    if (!file.open(QIODevice::ReadOnly))
        return Status::enabled;
    // Desktops switch an entry off in place instead of deleting it; such an
    // entry starts nothing, so it counts as off and registering rewrites it.
    const QByteArray text = file.read(qint64(64) * 1024);
    if (entryValue(text, "Hidden") == QLatin1String("true") ||
        entryValue(text, "X-GNOME-Autostart-enabled") == QLatin1String("false"))
        return Status::notRegistered;
    return Status::enabled;
}

void XdgLoginItem::registerItem() {
    for (const QChar c : executable_) {
        // A line break or other control character cannot be spelled in an
        // Exec line that every desktop reads the same way.
        if (c.unicode() < 0x20 || c.unicode() == 0x7f)
            throw Error(errorDomain, 1, QStringLiteral("程序路径含有控制字符：") + executable_);
    }
    const QString folder = QFileInfo(path_).absolutePath();
    if (!QDir().mkpath(folder))
        throw Error(errorDomain, 2, QStringLiteral("无法创建文件夹 ") + folder);
    if (auto failure = writeFileAtomically(path_, entry(executable_)))
        throw Error(errorDomain, 3, QStringLiteral("无法写入 ") + path_ + u'：' + *failure);
}

void XdgLoginItem::unregisterItem() {
    QFile file(path_);
    if (!file.exists())
        return;
    if (!file.remove())
        throw Error(errorDomain, 4,
                    QStringLiteral("无法删除 ") + path_ + u'：' + file.errorString());
}

std::unique_ptr<LoginItem> createLoginItem() {
    return std::make_unique<XdgLoginItem>(XdgLoginItem::defaultPath(),
                                          QCoreApplication::applicationFilePath());
}

} // namespace korvel
