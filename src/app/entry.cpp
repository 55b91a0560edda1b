#include "entry.h"

#include "annotate/editor.h"
#include "appdelegate.h"
#include "appinfo.h"
#include "capture/overlaywindow.h"
#include "capturepreferences.h"
#include "commandline.h"
#include "history/screenshothistory.h"
#include "ocr/recognizecommand.h"
#include "ocr/textrecognitionwindow.h"
#include "pinimagefile.h"
#include "platform/platform.h"
#include "platform/pngcheck.h"
#include "platform/termination.h"
#include "selfcheck/selfchecks.h"
#include "singleinstance.h"
#include "updatefeeddiagnostic.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTextStream>
#include <QThreadPool>
#include <QTimer>
#include <QTranslator>

#include <cstdio>

namespace korvel {
namespace {

QStringList argumentList(int argc, char** argv) {
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

const char* optionName(const Dispatch& d) {
    return d.mode == Mode::pin ? "pin" : "edit";
}

void setIdentity() {
    // Settings live in ~/.config/Korvel/Korvel.conf.
    QCoreApplication::setOrganizationName(QStringLiteral("Korvel"));
    QCoreApplication::setApplicationName(QStringLiteral("Korvel"));
}

// Qt's own words in its dialogs ("Look in:", the question before a file is
// replaced) in the language of the rest of the program.
void installQtTranslations(QApplication& app) {
    auto* translator = new QTranslator(&app);
    if (translator->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
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

// What this start asks of Korvel; for "--pin" and "--edit" the file is
// checked here, so that a bad file is reported by the process that named it.
// Nothing is decoded before the application exists.
std::optional<InstanceRequest> requestOf(const Dispatch& d) {
    InstanceRequest request;
    if (d.mode == Mode::capture)
        request.kind = InstanceRequest::Kind::capture;
    if (d.mode != Mode::pin && d.mode != Mode::edit)
        return request;
    if (d.file.isEmpty()) {
        std::fprintf(stderr, "korvel: --%s needs an image file\n", optionName(d));
        return std::nullopt;
    }
    auto file = readPinImage(d.file);
    if (const QString* error = std::get_if<QString>(&file)) {
        std::fprintf(stderr, "korvel: cannot %s %s: %s\n", optionName(d), qPrintable(d.file),
                     qPrintable(*error));
        return std::nullopt;
    }
    request.kind = d.mode == Mode::pin ? InstanceRequest::Kind::pin : InstanceRequest::Kind::edit;
    request.png = std::get<PngFile>(std::move(file)).bytes;
    request.name = QFileInfo(d.file).fileName();
    return request;
}

// Images handed over by other processes are checked and decoded on
// `decoder`, so that a slow or hostile one never stalls the interface. This
// process's own request was checked when its file was read (`checked`), and
// is only decoded. The decoded image goes on to the pin or result window.
void carryOut(AppDelegate& delegate, QThreadPool& decoder, const InstanceRequest& request,
              bool checked, SingleInstance::Answer answer) {
    if (request.kind == InstanceRequest::Kind::start ||
        request.kind == InstanceRequest::Kind::capture) {
        QTimer::singleShot(0, &delegate, &AppDelegate::takeScreenshot);
        answer(InstanceAnswer::done);
        return;
    }
    QPointer<AppDelegate> target(&delegate);
    decoder.start([target, request = InstanceRequest(request), checked,
                   answer = std::move(answer)]() mutable {
        QImage image = checked ? decodedPng(PngFile{request.png, {}}) : decodedPng(request.png);
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [target, request = std::move(request), image = std::move(image),
             answer = std::move(answer)] {
                if (image.isNull() || !target) {
                    answer(image.isNull() ? InstanceAnswer::badImage : InstanceAnswer::refused);
                    return;
                }
                if (request.kind == InstanceRequest::Kind::pin) {
                    answer(target->showPinAtPointer(request.png, image) ? InstanceAnswer::done
                                                                        : InstanceAnswer::refused);
                    return;
                }
                target->showResult(image, request.name);
                answer(InstanceAnswer::done);
            },
            Qt::QueuedConnection);
    });
}

int runApplication(int argc, char** argv, const Dispatch& d) {
    const std::optional<InstanceRequest> request = requestOf(d);
    if (!request)
        return 2;
    preferNativePlatform();
    QApplication app(argc, argv);
    setIdentity();
    installQtTranslations(app);
    QApplication::setQuitOnLastWindowClosed(false);
    quitOnTermination();
    const SingleInstance::Place place = SingleInstance::defaultSocketPath();
    if (!place.problem.isEmpty())
        std::fprintf(stderr, "korvel: %s; this Korvel runs on its own, without the socket\n",
                     qPrintable(place.problem));
    SingleInstance instance(place.path);
    switch (place.path.isEmpty() ? SingleInstance::Claim::unavailable : instance.claim(*request)) {
    case SingleInstance::Claim::handedOver:
        return 0;
    case SingleInstance::Claim::refused:
        std::fputs("korvel: the running Korvel could not carry out the request\n", stderr);
        return 1;
    case SingleInstance::Claim::badImage:
        std::fprintf(stderr, "korvel: cannot %s %s: the image is damaged\n", optionName(d),
                     qPrintable(d.file));
        return 2;
    case SingleInstance::Claim::unanswered:
        std::fputs("korvel: another Korvel is running but does not answer\n", stderr);
        return 1;
    case SingleInstance::Claim::foreign:
        std::fprintf(stderr, "korvel: %s belongs to another user; nothing was sent\n",
                     qPrintable(place.path));
        return 1;
    case SingleInstance::Claim::primary:
    case SingleInstance::Claim::unavailable:
        break;
    }
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
    // One image at a time; gone (after its last decode) before the delegate.
    QThreadPool decoder;
    decoder.setMaxThreadCount(1);
    // A later plain start means "capture now", as the shortcut does. Set
    // before launching, which may already run the event loop for an alert.
    instance.onRequest = [&delegate, &decoder](const InstanceRequest& later,
                                               SingleInstance::Answer answer) {
        InstanceRequest asked = later;
        if (asked.kind == InstanceRequest::Kind::start)
            asked.kind = InstanceRequest::Kind::capture;
        carryOut(delegate, decoder, asked, false, std::move(answer));
    };
    delegate.applicationDidFinishLaunching();
    if (request->kind != InstanceRequest::Kind::start) {
        carryOut(delegate, decoder, *request, true, [d](InstanceAnswer answer) {
            if (answer == InstanceAnswer::done)
                return;
            std::fprintf(stderr, "korvel: cannot %s %s: the image is damaged\n", optionName(d),
                         qPrintable(d.file));
            QCoreApplication::exit(2);
        });
    }
    OverlayWindow::setReuse(true);
    const int status = terminationRequested() ? 0 : QApplication::exec();
    decoder.waitForDone();
    // Windows go before the application object does.
    OverlayWindow::setReuse(false);
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
        return checkUpdateFeed(argc, argv);
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
    case Mode::capture:
    case Mode::pin:
    case Mode::edit:
    case Mode::normal:
        break;
    }
    return runApplication(argc, argv, d);
}

} // namespace korvel
