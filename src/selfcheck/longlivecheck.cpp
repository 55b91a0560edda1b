#include "longlivecheck.h"

#include "longshot/longdocument.h"
#include "longshot/longframestream.h"
#include "longshot/scrollstitcher.h"
#include "platform/fake/fakewindowstream.h"
#include "platform/platform.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <QWindow>

#include <cmath>

namespace korvel::selfcheck {
namespace {

constexpr int headerRows = 30;
constexpr int footerRows = 26;

// A frameless window showing the viewport of the document at the current
// offset, sticky bands included: exactly the frames the stitcher expects.
class FixtureWindow final : public QWidget {
public:
    FixtureWindow(QImage page, QImage header, QImage footer, int viewport)
        : page_(std::move(page))
        , header_(std::move(header))
        , footer_(std::move(footer))
        , viewport_(viewport) {
        setWindowFlags(Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        setAttribute(Qt::WA_ShowWithoutActivating);
        setWindowTitle(QStringLiteral("Korvel long capture check"));
    }

    // Shows the document `offset` rows down; none shows a plain grey.
    void scrollTo(std::optional<int> offset) {
        offset_ = offset;
        repaint();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        if (!offset_) {
            painter.fillRect(rect(), QColor(128, 128, 128));
            return;
        }
        // Device pixels of the window are document pixels.
        QImage shown = scenes::frameAt(page_, *offset_, viewport_, header_, footer_);
        shown.setDevicePixelRatio(devicePixelRatioF());
        painter.drawImage(QPointF(0, 0), shown);
    }

private:
    QImage page_;
    QImage header_;
    QImage footer_;
    int viewport_;
    std::optional<int> offset_;
};

// Runs the event loop, handing every queued frame on, for `ms` milliseconds
// or until `done` says so.
template <typename Take, typename Done> void pump(int ms, Take&& take, Done&& done) {
    QElapsedTimer timer;
    timer.start();
    do {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        take();
        if (done())
            return;
        if (timer.elapsed() < ms)
            QThread::msleep(2);
    } while (timer.elapsed() < ms);
}

template <typename Take> void pump(int ms, Take&& take) {
    pump(ms, take, [] { return false; });
}

bool waitForExposure(QWidget& window) {
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < 3000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        if (window.windowHandle() && window.windowHandle()->isExposed())
            return true;
    }
    return false;
}

} // namespace

std::variant<LongLiveParameters, QString> parseLongLiveArguments(const QStringList& arguments) {
    const QString usage = QStringLiteral("expected WIDTH VIEWPORT LENGTH STEP in pixels");
    if (arguments.size() != 4)
        return usage;
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        bool ok = false;
        values[i] = arguments[i].toInt(&ok);
        if (!ok)
            return QStringLiteral("%1, not \"%2\"").arg(usage, arguments[i]);
    }
    const LongLiveParameters p{values[0], values[1], values[2], values[3]};
    // The bands need room, and consecutive frames overlap by two thirds at
    // least, well above what matching needs.
    if (p.width < 80 || p.width > 4096)
        return QStringLiteral("WIDTH must be 80 to 4096");
    if (p.viewport < 160 || p.viewport > 2000)
        return QStringLiteral("VIEWPORT must be 160 to 2000");
    if (p.length <= p.viewport || p.length > ScrollStitcher::maximumHeight)
        return QStringLiteral("LENGTH must exceed VIEWPORT and be at most %1")
            .arg(ScrollStitcher::maximumHeight);
    if (p.step < 1 || p.step > p.viewport / 3)
        return QStringLiteral("STEP must be 1 to a third of VIEWPORT");
    return p;
}

Failure checkLongCapture(Platform& platform, const LongLiveParameters& p) {
    const QImage page = scenes::longDocument(p.width, p.length);
    const QImage header = scenes::bandImage(p.width, headerRows, 11, qRgb(235, 238, 245));
    const QImage footer = scenes::bandImage(p.width, footerRows, 12, qRgb(40, 44, 52));
    QImage shown = page;
    // A blot in the middle of the document that the comparison does not know.
    if (broken("long-capture"))
        QPainter(&shown).fillRect(QRect(0, p.length / 2, p.width / 2, 24), Qt::magenta);

    FixtureWindow window(shown, header, footer, p.viewport);
    const double ratio = window.devicePixelRatioF();
    window.setFixedSize(int(std::ceil(p.width / ratio)), int(std::ceil(p.viewport / ratio)));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QRect available = screen->availableGeometry();
        if (available.width() < window.width() || available.height() < window.height())
            return QStringLiteral("the fixture window does not fit on the screen");
        window.move(available.topLeft());
    }
    window.show();
    if (!waitForExposure(window))
        return QStringLiteral("the fixture window was never shown");

    // The real stream where the platform has one; otherwise the window's own
    // grabs go through a stand-in, into the same frame stream.
    const bool live = platform.capabilities.liveStream && platform.openWindowStream;
    fake::WindowStream* standIn = nullptr;
    std::unique_ptr<WindowStream> source;
    if (live) {
        source = platform.openWindowStream();
    } else {
        auto grabs = std::make_unique<fake::WindowStream>();
        standIn = grabs.get();
        source = std::move(grabs);
    }
    LongFrameStream stream(std::move(source));
    // The client area inside the window's frame, in window pixels.
    const QPoint inset = (window.geometry().topLeft() - window.frameGeometry().topLeft()) * ratio;
    stream.configure(QRect(inset, QSize(p.width, p.viewport)), LongCaptureAxis::vertical, 1, true);
    WindowStreamConfiguration configuration;
    configuration.window = quint32(window.winId());
    configuration.size = window.frameGeometry().size() * ratio;
    stream.start(configuration);

    std::optional<ScrollStitcher> stitcher;
    int frames = 0;
    const auto take = [&] {
        while (std::optional<LongCaptureFrame> frame = stream.takeFrame()) {
            ++frames;
            if (!stitcher)
                stitcher.emplace(frame->image, 64'000'000);
            else
                stitcher->append(frame->image, false);
        }
    };
    const auto show = [&](int offset) {
        window.scrollTo(offset);
        if (standIn) {
            standIn->deliver(
                window.grab().toImage().convertToFormat(QImage::Format_ARGB32_Premultiplied));
            stream.flush();
            take();
        } else {
            // The buffer drops repeats of the last frame, so the next one to
            // arrive shows the new position.
            const int before = frames;
            pump(1000, take, [&] { return frames > before; });
        }
    };

    // Frames from before the window was painted are no part of the
    // document. It shows grey meanwhile, so that a late grey frame repeats
    // the last one taken and the buffer drops it.
    if (live) {
        window.scrollTo(std::nullopt);
        pump(300, [&] {
            while (stream.takeFrame()) {
            }
        });
    }
    show(0);
    int offset = 0;
    while (offset + p.viewport < p.length) {
        offset = std::min(offset + p.step, p.length - p.viewport);
        show(offset);
    }
    if (live)
        pump(300, take);
    if (const std::optional<Error> failure = stream.failure())
        return failure->description();
    stream.stop();

    if (!stitcher)
        return QStringLiteral("no frame arrived");
    const std::optional<QImage> stitched = stitcher->image();
    if (!stitched)
        return QStringLiteral("no long image after %1 frames").arg(frames);
    const Failure difference = comparePixels(
        *stitched, scenes::expectedStitch(page, 0, offset, p.viewport, header, footer));
    if (difference)
        return QStringLiteral("%1 (%2 frames)").arg(*difference).arg(frames);
    return std::nullopt;
}

} // namespace korvel::selfcheck
