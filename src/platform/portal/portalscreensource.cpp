#include "portalscreensource.h"

#include "../error.h"
#include "../wayland/waylandconnection.h"
#include "portalrequest.h"

#include <QFile>
#include <QUrl>

namespace korvel::portal {
namespace {

const QString screenshotInterface = QStringLiteral("org.freedesktop.portal.Screenshot");

// Long enough for a first-time consent dialog to be read and answered.
constexpr std::chrono::seconds answerTimeout{25};

Error grabError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2,
                 QStringLiteral("无法读取显示器画面（%1）").arg(detail));
}

} // namespace

QImage outputImage(const QImage& desktop, const QRect& layout, const QRect& output, QSize pixels) {
    if (desktop.isNull() || layout.isEmpty())
        return {};
    const double sx = double(desktop.width()) / layout.width();
    const double sy = double(desktop.height()) / layout.height();
    const QRect source(qRound((output.x() - layout.x()) * sx),
                       qRound((output.y() - layout.y()) * sy), qRound(output.width() * sx),
                       qRound(output.height() * sy));
    if (!desktop.rect().contains(source))
        return {};
    QImage part = desktop.copy(source).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Outputs whose scale is below the desktop image's were rendered larger.
    if (part.size() != pixels)
        part = part.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return part;
}

ScreenSource::ScreenSource(wayland::Connection& connection)
    : connection_(connection)
    , outputs_(connection) {}

std::vector<Display> ScreenSource::displays() {
    return outputs_.displays();
}

QSize ScreenSource::pixelSize(const Display& display) {
    return outputs_.pixelSize(display);
}

void ScreenSource::prepare(const std::vector<Display>& displays) {
    desktop_ = {};
    pending_ = int(displays.size());
}

QString ScreenSource::accessSetting() {
    const QString desktop = qEnvironmentVariable("XDG_CURRENT_DESKTOP");
    if (desktop.contains(QLatin1String("GNOME"), Qt::CaseInsensitive))
        return QStringLiteral("设置 → 应用 → Korvel 的“截图”权限");
    if (desktop.contains(QLatin1String("KDE"), Qt::CaseInsensitive))
        return QStringLiteral("系统设置 → 应用程序权限 → Korvel 的“截取屏幕”权限");
    return QStringLiteral("桌面门户（xdg-desktop-portal）的截图权限设置");
}

QImage ScreenSource::shoot() {
    // Only this request's answer tells whether access is missing.
    accessGranted_ = true;
    const Response response = callRequest(
        screenshotInterface, QStringLiteral("Screenshot"),
        {QString(), QVariantMap{{QStringLiteral("interactive"), false}}}, answerTimeout);
    switch (response.outcome) {
    case Outcome::granted:
        break;
    case Outcome::cancelled:
        throw Error(QStringLiteral("Korvel"), cancelled, QStringLiteral("截图已取消"));
    case Outcome::refused:
        accessGranted_ = false;
        throw grabError(QStringLiteral("桌面拒绝了截图请求"));
    case Outcome::timedOut:
        throw grabError(QStringLiteral("桌面门户没有应答"));
    case Outcome::unavailable:
        throw grabError(QStringLiteral("桌面门户不提供截图：%1").arg(response.error));
    }
    const QUrl uri(response.results.value(QStringLiteral("uri")).toString());
    const QString path = uri.toLocalFile();
    QImage image(path);
    // The picture was made for us alone: it must not pile up in the user's
    // folders, nor be found by the next capture.
    if (!path.isEmpty())
        QFile::remove(path);
    if (image.isNull())
        throw grabError(QStringLiteral("桌面门户的截图无法读取"));
    return image;
}

QImage ScreenSource::grab(const Display& display) {
    if (desktop_.isNull()) {
        connection_.roundtrip();
        layout_ = connection_.layoutBounds();
        desktop_ = shoot();
    }
    QImage image = outputImage(desktop_, layout_, display.geometry, pixelSize(display));
    if (--pending_ <= 0)
        desktop_ = {};
    if (image.isNull())
        throw grabError(QStringLiteral("截图与显示器布局不符"));
    return image;
}

} // namespace korvel::portal
