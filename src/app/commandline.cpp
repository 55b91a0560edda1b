#include "commandline.h"

#include <cmath>

namespace korvel {

Dispatch dispatch(const QStringList& args) {
    Dispatch d;
    if (const qsizetype i = args.indexOf(QStringLiteral("--long-live-check"));
        i >= 0 && args.size() - i - 1 >= 4) {
        d.mode = Mode::longLiveCheck;
        d.arguments = args.mid(i + 1, 4);
        return d;
    }
    if (const qsizetype i = args.indexOf(QStringLiteral("--region-check"));
        i >= 0 && args.size() - i - 1 >= 3) {
        bool pidOk = false, xOk = false, yOk = false;
        const qint32 pid = args[i + 1].toInt(&pidOk);
        const double x = args[i + 2].toDouble(&xOk);
        const double y = args[i + 3].toDouble(&yOk);
        if (pidOk && xOk && yOk && std::isfinite(x) && std::isfinite(y)) {
            d.mode = Mode::regionCheck;
            d.pid = pid;
            d.x = x;
            d.y = y;
            return d;
        }
    }
    const std::pair<const char*, Mode> plain[] = {
        {"--accessibility-status", Mode::accessibilityStatus},
        {"--mosaic-brush-check", Mode::mosaicBrushCheck},
        {"--check-update-feed", Mode::checkUpdateFeed},
        {"--self-test", Mode::selfTest},
    };
    for (const auto& [option, mode] : plain) {
        if (args.contains(QLatin1String(option))) {
            d.mode = mode;
            return d;
        }
    }
    if (args.contains(QLatin1String("--capture"))) {
        d.mode = Mode::capture;
        return d;
    }
    if (const qsizetype i = args.indexOf(QStringLiteral("--pin")); i >= 0) {
        d.mode = Mode::pin;
        d.file = args.value(i + 1);
        return d;
    }
    return d;
}

} // namespace korvel
