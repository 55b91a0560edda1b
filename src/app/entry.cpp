#include "entry.h"

#include "annotate/editor.h"
#include "appdelegate.h"
#include "appinfo.h"
#include "capturepreferences.h"
#include "commandline.h"
#include "history/screenshothistory.h"
#include "ocr/recognizecommand.h"
#include "ocr/textrecognitionwindow.h"
#include "platform/platform.h"
#include "selfcheck/selfchecks.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QTextStream>

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

int recognize(int argc, char** argv, const QStringList& files) {
    // No display needed: images are decoded and read off-screen.
    QCoreApplication app(argc, argv);
    setIdentity();
    // Decoders warn about broken files on standard error; each bad file
    // already gets its one line there.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    QFile in;
    if (!in.open(stdin, QIODevice::ReadOnly))
        return 2;
    QTextStream out(stdout);
    QTextStream err(stderr);
    return recognizeFiles(files, in, out, err);
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
        services.recognizeText = [](const QImage& image, bool copyWhenReady,
                                    std::function<void()> copied, std::function<void()> closed) {
            TextRecognitionWindow::open(image, copyWhenReady, std::move(copied), std::move(closed));
        };
        return std::make_unique<Editor>(std::move(snapshots), std::move(services));
    });
    delegate.applicationDidFinishLaunching();
    const int status = QApplication::exec();
    // Windows go before the application object does.
    TextRecognitionWindow::active().clear();
    return status;
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
        // The update feed diagnostic arrives with the update service.
        std::fputs("FAIL: not available\n", stdout);
        return 1;
    case Mode::selfTest:
        return selfcheck::selfTest();
    case Mode::help:
        std::fputs(usage().toUtf8().constData(), stdout);
        return 0;
    case Mode::version:
        std::printf("Korvel %s\n", AppInfo::version);
        return 0;
    case Mode::recognize:
        return recognize(argc, argv, d.files);
    case Mode::normal:
        break;
    }
    return runApplication(argc, argv);
}

} // namespace korvel
