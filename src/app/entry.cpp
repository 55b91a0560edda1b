#include "entry.h"

#include "annotate/editor.h"
#include "appdelegate.h"
#include "capturepreferences.h"
#include "commandline.h"
#include "history/screenshothistory.h"
#include "platform/platform.h"
#include "selfcheck/selfchecks.h"
#include "updatefeeddiagnostic.h"

#include <QApplication>
#include <QCoreApplication>

#include <cstdio>

namespace korvel {
namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

void setIdentity() {
    // Settings live in ~/.config/Korvel/Korvel.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel"));
}

int accessibilityStatus(int argc, char** argv) {
    // No display is needed to ask the session bus.
    QCoreApplication app(argc, argv);
    setIdentity();
    const bool trusted = createAccessibilityTree()->isTrusted();
    std::printf("Accessibility trusted: %s\n", trusted ? "true" : "false");
    std::fflush(stdout);
    return 0;
}

int runApplication(int argc, char** argv) {
    QApplication app(argc, argv);
    setIdentity();
    QApplication::setQuitOnLastWindowClosed(false);
    std::unique_ptr<Platform> platform = createPlatform();
    AppDelegate delegate(*platform, [](std::vector<ScreenSnapshot> snapshots) {
        EditorServices services;
        services.history = &ScreenshotHistory::shared();
        services.copyCloses = &CapturePreferences::copyCloses;
        services.defaultTool = &CapturePreferences::defaultTool;
        return std::make_unique<Editor>(std::move(snapshots), std::move(services));
    });
    delegate.applicationDidFinishLaunching();
    return QApplication::exec();
}

} // namespace

int run(int argc, char** argv) {
    const Dispatch d = dispatch(argumentList(argc, argv));
    switch (d.mode) {
    case Mode::longLiveCheck:
        return selfcheck::longLiveCheck(d.arguments);
    case Mode::regionCheck:
        return selfcheck::regionCheck(d.pid, d.x, d.y);
    case Mode::accessibilityStatus:
        return accessibilityStatus(argc, argv);
    case Mode::mosaicBrushCheck:
        return selfcheck::mosaicBrushCheck();
    case Mode::checkUpdateFeed:
        return checkUpdateFeed(argc, argv);
    case Mode::selfTest:
        return selfcheck::selfTest();
    case Mode::normal:
        break;
    }
    return runApplication(argc, argv);
}

} // namespace korvel
