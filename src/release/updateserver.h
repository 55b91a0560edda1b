#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace korvel {

// The builds that have an installer package on the update server.
enum class PackagePlatform {
    macosArm64,
    linuxX86_64,
    linuxArm64,
};

// What a release must name for one build platform: the package's file
// suffix, the architecture, the system the minimum version refers to, and
// how the user replaces the installed copy.
struct PackageTarget {
    QString fileSuffix;
    QString architecture;
    QString systemName;
    QString installHint;
};

PackageTarget packageTarget(PackagePlatform platform);

// The platform this binary was built for; none when the update server has no
// package for it (such a build accepts no release).
std::optional<PackagePlatform> buildPackagePlatform();

// An HTTPS origin serving the update feed and the packages it links.
class UpdateServer {
public:
    // "https://host" or "https://host:port", optionally with a final "/";
    // none for anything else (another scheme, user info, a path, a query).
    static std::optional<UpdateServer> fromOrigin(const QString& origin);

    QString host() const { return host_; }
    // The port the origin names; -1 when it names none (HTTPS's 443).
    int port() const { return port_; }

    QUrl feedAddress() const;
    QUrl packageAddress(const QString& version, const PackageTarget& target) const;

    // Exactly the package of `version` for `target` on this server: https,
    // this host, this origin's port (none or 443 for a default-port origin),
    // no user, password, query or fragment, and the exact path.
    bool isPackageAddress(const QUrl& url, const QString& version,
                          const PackageTarget& target) const;

private:
    UpdateServer(QString host, int port)
        : host_(std::move(host))
        , port_(port) {}
    QUrl address(const QString& path) const;

    QString host_;
    int port_ = -1;
};

// The running system's version as "major.minor.patch" (three numbers,
// always). On Linux it is the kernel's release.
QString runningSystemVersion();

// The leading "major.minor.patch" of a kernel release such as
// "6.1.0-18-amd64"; missing numbers count as 0.
QString systemVersionFromKernel(const QString& release);

} // namespace korvel
