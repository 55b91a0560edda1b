#include "updateserver.h"

#include <QOperatingSystemVersion>
#include <QStringList>
#include <QSysInfo>

#include <algorithm>

namespace korvel {
namespace {

const QString feedPath = QStringLiteral("/app/ds/update/latest.json");
const QString packagePrefix = QStringLiteral("/app/ds/update/dastra-");
constexpr int httpsPort = 443;

} // namespace

PackageTarget packageTarget(PackagePlatform platform) {
    const QString linuxHint = QStringLiteral("下载后退出Korvel，安装新版软件包替换旧版。");
    switch (platform) {
    case PackagePlatform::macosArm64:
        return {QStringLiteral("-macos-arm64.dmg"), QStringLiteral("arm64"),
                QStringLiteral("macOS"),
                QStringLiteral("下载后退出Korvel，将新版拖入“应用程序”替换旧版。")};
    case PackagePlatform::linuxX86_64:
        return {QStringLiteral("-linux-x86_64.deb"), QStringLiteral("x86_64"),
                QStringLiteral("Linux"), linuxHint};
    case PackagePlatform::linuxArm64:
        return {QStringLiteral("-linux-arm64.deb"), QStringLiteral("arm64"),
                QStringLiteral("Linux"), linuxHint};
    }
    return {};
}

std::optional<PackagePlatform> buildPackagePlatform() {
#if defined(Q_OS_MACOS) && defined(Q_PROCESSOR_ARM_64)
    return PackagePlatform::macosArm64;
#elif defined(Q_OS_LINUX) && defined(Q_PROCESSOR_X86_64)
    return PackagePlatform::linuxX86_64;
#elif defined(Q_OS_LINUX) && defined(Q_PROCESSOR_ARM_64)
    return PackagePlatform::linuxArm64;
#else
    return std::nullopt;
#endif
}

std::optional<UpdateServer> UpdateServer::fromOrigin(const QString& origin) {
    const QUrl url(origin, QUrl::StrictMode);
    if (!url.isValid() || url.scheme() != QLatin1String("https") || url.host().isEmpty() ||
        !url.userInfo().isEmpty() || url.hasQuery() || url.hasFragment() ||
        !(url.path().isEmpty() || url.path() == QLatin1String("/")))
        return std::nullopt;
    // QUrl folds "https://host:443" and "https://host" to different forms;
    // both are the default port, which download addresses may spell either way.
    const int port = url.port() == httpsPort ? -1 : url.port();
    return UpdateServer(url.host(QUrl::FullyEncoded), port);
}

QUrl UpdateServer::address(const QString& path) const {
    QUrl url;
    url.setScheme(QStringLiteral("https"));
    url.setHost(host_);
    url.setPort(port_);
    url.setPath(path);
    return url;
}

QUrl UpdateServer::feedAddress() const {
    return address(feedPath);
}

QUrl UpdateServer::packageAddress(const QString& version, const PackageTarget& target) const {
    return address(packagePrefix + version + target.fileSuffix);
}

bool UpdateServer::isPackageAddress(const QUrl& url, const QString& version,
                                    const PackageTarget& target) const {
    if (!url.isValid() || url.scheme() != QLatin1String("https"))
        return false;
    if (url.host(QUrl::FullyEncoded) != host_)
        return false;
    const bool portMatches =
        port_ < 0 ? (url.port() < 0 || url.port() == httpsPort) : url.port() == port_;
    if (!portMatches)
        return false;
    // "https://@host" has an empty but present user part: look at the
    // authority itself, not only at the parsed names.
    if (!url.userInfo().isEmpty() || url.authority(QUrl::FullyEncoded).contains(u'@') ||
        url.hasQuery() || url.hasFragment())
        return false;
    return url.path(QUrl::FullyEncoded) == packagePrefix + version + target.fileSuffix;
}

QString systemVersionFromKernel(const QString& release) {
    // Leading digits of each dot-separated part; a part with anything after
    // its digits ("0-18-amd64", "1-rc2") is the last one read.
    QStringList numbers;
    const QStringList parts = release.split(u'.');
    for (const QString& part : parts) {
        qsizetype digits = 0;
        while (digits < part.size() && part[digits] >= u'0' && part[digits] <= u'9')
            ++digits;
        numbers << (digits > 0 ? part.left(digits) : QStringLiteral("0"));
        if (numbers.size() == 3 || digits != part.size())
            break;
    }
    while (numbers.size() < 3)
        numbers << QStringLiteral("0");
    return numbers.join(u'.');
}

QString runningSystemVersion() {
#if defined(Q_OS_MACOS)
    const QOperatingSystemVersion v = QOperatingSystemVersion::current();
    return QStringLiteral("%1.%2.%3")
        .arg(std::max(v.majorVersion(), 0))
        .arg(std::max(v.minorVersion(), 0))
        .arg(std::max(v.microVersion(), 0));
#else
    return systemVersionFromKernel(QSysInfo::kernelVersion());
#endif
}

} // namespace korvel
