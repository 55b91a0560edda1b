#include "selfchecks.h"

#include "checksupport.h"
#include "imagechecks.h"
#include "longlivecheck.h"
#include "mosaicbrushcheck.h"
#include "platform/platform.h"
#include "regioncheck.h"
#include "servicechecks.h"

#include <QApplication>
#include <QEventLoop>
#include <QTimer>

#include <cstdio>

namespace korvel::selfcheck {
namespace {

int argc = 1;
char programName[] = "korvel";
char* argv[] = {programName, nullptr};

// The checks draw off-screen; without any display they run on the offscreen
// platform, so that they work on a server or in a build.
std::unique_ptr<QApplication> application() {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") && qEnvironmentVariableIsEmpty("DISPLAY") &&
        qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    auto app = std::make_unique<QApplication>(argc, argv);
    return app;
}

} // namespace

int longLiveCheck(const QStringList& arguments) {
    const auto parsed = parseLongLiveArguments(arguments);
    if (const QString* error = std::get_if<QString>(&parsed)) {
        printLine(QStringLiteral("FAIL: long-capture: %1").arg(*error));
        return 2;
    }
    const auto app = application();
    const std::unique_ptr<Platform> platform = createPlatform();
    const LongLiveParameters parameters = std::get<LongLiveParameters>(parsed);
    return runCheck("long-capture", [&] { return checkLongCapture(*platform, parameters); }) ? 0
                                                                                             : 1;
}

int regionCheck(qint32 pid, double x, double y) {
    const auto app = application();
    const std::unique_ptr<Platform> platform = createPlatform();
    RegionProbe probe(*platform, pid, QPointF(x, y));
    // Prints what changed, once a second, until the process is killed.
    QStringList last;
    for (;;) {
        const QStringList lines = probe.query();
        if (lines != last) {
            for (const QString& line : lines)
                printLine(line);
            last = lines;
        }
        QEventLoop wait;
        QTimer::singleShot(1000, &wait, &QEventLoop::quit);
        wait.exec();
    }
}

int mosaicBrushCheck() {
    const auto app = application();
    runCheck("mosaic-brush", checkMosaicBrush);
    return 0;
}

int selfTest() {
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    const auto app = application();
    const std::unique_ptr<Platform> platform = createPlatform();
    const std::pair<const char*, std::function<Failure()>> checks[] = {
        {"stitcher", checkStitcher},
        {"regions", checkRegions},
        {"effects", checkEffects},
        {"export", checkExport},
        {"history", checkHistory},
        {"update-feed", checkUpdateFeed},
        {"ocr", checkTextRecognition},
        {"shortcut", checkShortcut},
        {"mosaic-brush", checkMosaicBrush},
        {"long-capture", [&] { return checkLongCapture(*platform, LongLiveParameters()); }},
    };
    bool passed = true;
    for (const auto& [name, check] : checks)
        passed &= runCheck(name, check);
    return passed ? 0 : 1;
}

} // namespace korvel::selfcheck
