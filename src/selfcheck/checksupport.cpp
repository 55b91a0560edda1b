#include "checksupport.h"

#include "platform/error.h"

#include <cstdio>
#include <exception>

namespace korvel::selfcheck {

bool broken(const char* check) {
    return qEnvironmentVariable("KORVEL_SELFCHECK_BREAK")
        .split(QLatin1Char(','))
        .contains(QLatin1String(check));
}

void printLine(const QString& line) {
    std::fputs(line.toUtf8().append('\n').constData(), stdout);
    std::fflush(stdout);
}

bool runCheck(const char* check, const std::function<Failure()>& body) {
    Failure failure;
    try {
        failure = body();
    } catch (const Error& e) {
        failure = e.description();
    } catch (const std::exception& e) {
        failure = QString::fromLocal8Bit(e.what());
    }
    const QString name = QLatin1String(check);
    printLine(failure ? QStringLiteral("FAIL: %1: %2").arg(name, *failure)
                      : QStringLiteral("PASS: %1").arg(name));
    return !failure;
}

Failure comparePixels(const QImage& actual, const QImage& expected) {
    if (actual.isNull())
        return QStringLiteral("no image");
    const QImage a = actual.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (a.size() != e.size()) {
        return QStringLiteral("image is %1x%2 instead of %3x%4")
            .arg(a.width())
            .arg(a.height())
            .arg(e.width())
            .arg(e.height());
    }
    for (int y = 0; y < a.height(); ++y) {
        const auto* left = reinterpret_cast<const QRgb*>(a.constScanLine(y));
        const auto* right = reinterpret_cast<const QRgb*>(e.constScanLine(y));
        for (int x = 0; x < a.width(); ++x) {
            if (left[x] != right[x]) {
                return QStringLiteral("pixel %1,%2 is #%3 instead of #%4")
                    .arg(x)
                    .arg(y)
                    .arg(left[x], 8, 16, QLatin1Char('0'))
                    .arg(right[x], 8, 16, QLatin1Char('0'));
            }
        }
    }
    return std::nullopt;
}

QImage checkerboard(QSize size) {
    QImage image(size, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < size.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < size.width(); ++x)
            line[x] = (x + y) % 2 ? qRgb(255, 255, 255) : qRgb(0, 0, 0);
    }
    return image;
}

} // namespace korvel::selfcheck
