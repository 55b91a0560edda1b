#include "apprelease.h"

#include "releaseversion.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QTextBoundaryFinder>

namespace korvel {

QString availabilityName(Availability availability) {
    switch (availability) {
    case Availability::available:
        return QStringLiteral("available");
    case Availability::current:
        return QStringLiteral("current");
    case Availability::requiresSystem:
        return QStringLiteral("requiresSystem");
    }
    return {};
}

Error urlError::make(int code, const QString& detail) {
    QString text;
    switch (code) {
    case cancelled:
        text = QStringLiteral("已取消。");
        break;
    case badURL:
        text = QStringLiteral("网址无效。");
        break;
    case timedOut:
        text = QStringLiteral("请求超时。");
        break;
    case cannotFindHost:
        text = QStringLiteral("未能找到使用指定主机名的服务器。");
        break;
    case cannotConnectToHost:
        text = QStringLiteral("未能连接到服务器。");
        break;
    case networkConnectionLost:
        text = QStringLiteral("网络连接已中断。");
        break;
    case notConnectedToInternet:
        text = QStringLiteral("似乎已断开与互联网的连接。");
        break;
    case badServerResponse:
        text = QStringLiteral("服务器响应无效。");
        break;
    case cannotParseResponse:
        text = QStringLiteral("无法解析服务器响应。");
        break;
    case secureConnectionFailed:
        text = QStringLiteral("发生了SSL错误，无法建立与该服务器的安全连接。");
        break;
    default:
        text = QStringLiteral("未知错误。");
        break;
    }
    if (!detail.isEmpty())
        text += QStringLiteral("（") + detail + QStringLiteral("）");
    return Error(QStringLiteral("URLError"), code, text);
}

Error releaseDecodingError(const QString& detail) {
    return Error(QStringLiteral("DecodingError"), 1,
                 QStringLiteral("更新信息的格式不正确（") + detail + QStringLiteral("）"));
}

qsizetype characterCount(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Grapheme, text);
    qsizetype count = 0;
    while (finder.toNextBoundary() > 0)
        ++count;
    return count;
}

namespace {

QString requiredString(const QJsonObject& object, const QString& key) {
    const auto it = object.constFind(key);
    if (it == object.constEnd())
        throw releaseDecodingError(QStringLiteral("缺少“%1”").arg(key));
    if (!it->isString())
        throw releaseDecodingError(QStringLiteral("“%1”不是字符串").arg(key));
    return it->toString();
}

} // namespace

AppRelease AppRelease::decode(const QByteArray& json) {
    QJsonParseError error{};
    const QJsonDocument document = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError)
        throw releaseDecodingError(QStringLiteral("不是有效的 JSON：%1，位置 %2")
                                       .arg(error.errorString())
                                       .arg(error.offset));
    if (!document.isObject())
        throw releaseDecodingError(QStringLiteral("不是 JSON 对象"));
    const QJsonObject object = document.object();

    AppRelease release;
    release.version = requiredString(object, QStringLiteral("version"));
    const QString address = requiredString(object, QStringLiteral("downloadURL"));
    release.notes = requiredString(object, QStringLiteral("notes"));
    release.minimumSystemVersion = requiredString(object, QStringLiteral("minimumSystemVersion"));
    release.architecture = requiredString(object, QStringLiteral("architecture"));

    release.downloadURL = QUrl(address, QUrl::StrictMode);
    if (!release.downloadURL.isValid() ||
        release.downloadURL.toString(QUrl::FullyEncoded) != address)
        throw releaseDecodingError(QStringLiteral("“downloadURL”不是规范的网址"));
    return release;
}

void AppRelease::validate(const ReleaseRules& rules) const {
    auto refuse = [](const QString& why) {
        return urlError::make(urlError::cannotParseResponse, why);
    };
    if (!ReleaseVersion::parse(version))
        throw refuse(QStringLiteral("版本号无效"));
    if (!rules.server.isPackageAddress(downloadURL, version, rules.package))
        throw refuse(QStringLiteral("下载地址不是该版本的安装包"));
    if (architecture != rules.package.architecture)
        throw refuse(QStringLiteral("架构不是 %1").arg(rules.package.architecture));
    const qsizetype characters = characterCount(notes);
    if (characters < 1 || characters > maxNotesCharacters)
        throw refuse(QStringLiteral("更新说明为空或过长"));
    if (!ReleaseVersion::parse(minimumSystemVersion))
        throw refuse(QStringLiteral("最低系统版本无效"));
}

Availability AppRelease::availability(const QString& currentVersion, const QString& systemVersion,
                                      const ReleaseRules& rules) const {
    validate(rules);
    const auto release = ReleaseVersion::parse(version);
    const auto installed = ReleaseVersion::parse(currentVersion);
    const auto system = ReleaseVersion::parse(systemVersion);
    const auto minimum = ReleaseVersion::parse(minimumSystemVersion);
    if (!installed)
        throw urlError::make(urlError::cannotParseResponse, QStringLiteral("已安装的版本号无效"));
    if (!system)
        throw urlError::make(urlError::cannotParseResponse, QStringLiteral("系统版本号无效"));
    if (*installed >= *release)
        return Availability::current;
    if (*system < *minimum)
        return Availability::requiresSystem;
    return Availability::available;
}

} // namespace korvel
