#include "kwinscreenshot.h"

#include "../error.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusUnixFileDescriptor>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace korvel::kde {
namespace {

const QString service = QStringLiteral("org.kde.KWin.ScreenShot2");
const QString path = QStringLiteral("/org/kde/KWin/ScreenShot2");

// KWin answers after its next repaint and writes the pixels from a thread
// of its own at once; either taking seconds means it is stuck.
constexpr std::chrono::milliseconds answerTimeout{5000};
constexpr std::chrono::milliseconds pixelsTimeout{5000};

Error grabError(const QString& detail) {
    return Error(QStringLiteral("Korvel"), 2,
                 QStringLiteral("无法读取显示器画面（%1）").arg(detail));
}

// Reads `size` bytes into `data`; false at the end of the stream, on an
// error, or when the deadline passes first.
bool readExactly(int fd, uchar* data, qint64 size, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (size > 0) {
        const ssize_t n = ::read(fd, data, size_t(size));
        if (n > 0) {
            data += n;
            size -= n;
            continue;
        }
        if (n == 0)
            return false;
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            return false;
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return false;
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(left.count())) == 0)
            return false;
    }
    return true;
}

} // namespace

std::optional<RawImage> rawImageOf(const QVariantMap& results, qint64 maximumPixels) {
    // Only KWin's raw form is understood; an empty type is that of early
    // versions, which wrote nothing else.
    const QString type = results.value(QStringLiteral("type")).toString();
    if (!type.isEmpty() && type != QLatin1String("raw"))
        return std::nullopt;
    bool known[4] = {};
    const qint64 width = results.value(QStringLiteral("width")).toLongLong(&known[0]);
    const qint64 height = results.value(QStringLiteral("height")).toLongLong(&known[1]);
    const qint64 stride = results.value(QStringLiteral("stride")).toLongLong(&known[2]);
    const qint64 format = results.value(QStringLiteral("format")).toLongLong(&known[3]);
    if (!std::all_of(std::begin(known), std::end(known), [](bool k) { return k; }))
        return std::nullopt;
    // 32 bits a pixel, as KWin renders; the numbers are QImage's, the same
    // in Qt 5 and 6.
    constexpr std::array formats{
        QImage::Format_RGB32,    QImage::Format_ARGB32,   QImage::Format_ARGB32_Premultiplied,
        QImage::Format_RGBX8888, QImage::Format_RGBA8888, QImage::Format_RGBA8888_Premultiplied};
    const auto* found = std::find_if(formats.begin(), formats.end(),
                                     [format](QImage::Format f) { return f == format; });
    if (found == formats.end() || width < 1 || height < 1 || width > maximumPixels ||
        height > maximumPixels || width * height > maximumPixels || stride < width * 4 ||
        stride > maximumPixels * 4 || stride * height > maximumPixels * 4)
        return std::nullopt;
    return RawImage{QSize(int(width), int(height)), stride, *found};
}

QImage readRawImage(int fd, const RawImage& raw, std::chrono::milliseconds timeout) {
    QImage image(raw.size, raw.format);
    if (image.isNull())
        return {};
    // Rows padded past what QImage keeps are read whole, then trimmed.
    QByteArray padded;
    uchar* target = image.bits();
    if (raw.stride != image.bytesPerLine()) {
        padded.resize(raw.bytes());
        target = reinterpret_cast<uchar*>(padded.data());
    }
    if (!readExactly(fd, target, raw.bytes(), timeout))
        return {};
    for (int y = 0; !padded.isEmpty() && y < image.height(); ++y)
        std::memcpy(image.scanLine(y), padded.constData() + y * raw.stride,
                    size_t(image.bytesPerLine()));
    return image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
}

bool plasmaSession() {
    return qEnvironmentVariable("XDG_CURRENT_DESKTOP")
        .split(u':')
        .contains(QStringLiteral("KDE"), Qt::CaseInsensitive);
}

bool screenShotAvailable() {
    const QDBusConnectionInterface* bus = QDBusConnection::sessionBus().interface();
    return bus && bus->isServiceRegistered(service);
}

struct ScreenSource::Request {
    std::optional<QDBusPendingCall> call;
    int pixels = -1;

    Request(const QDBusPendingCall& c, int fd)
        : call(c)
        , pixels(fd) {}
    ~Request() {
        if (pixels >= 0)
            ::close(pixels);
    }
    Request(const Request&) = delete;
    Request& operator=(const Request&) = delete;
};

ScreenSource::ScreenSource(std::unique_ptr<korvel::ScreenSource> fallback)
    : fallback_(std::move(fallback)) {}

ScreenSource::~ScreenSource() = default;

std::unique_ptr<ScreenSource::Request> ScreenSource::ask(const Display& display) {
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        throw grabError(QStringLiteral("无法创建管道"));
    // Only our end waits without blocking: KWin writes from a thread that
    // may block.
    ::fcntl(fds[0], F_SETFL, ::fcntl(fds[0], F_GETFL) | O_NONBLOCK);
    QDBusMessage call =
        QDBusMessage::createMethodCall(service, path, service, QStringLiteral("CaptureScreen"));
    call << display.name
         << QVariantMap{{QStringLiteral("native-resolution"), true},
                        {QStringLiteral("include-cursor"), false}}
         << QVariant::fromValue(QDBusUnixFileDescriptor(fds[1]));
    ::close(fds[1]);
    return std::make_unique<Request>(
        QDBusConnection::sessionBus().asyncCall(call, int(answerTimeout.count())), fds[0]);
}

void ScreenSource::prepare(const std::vector<Display>& displays) {
    pending_.clear();
    remaining_ = displays;
    fallingBack_ = false;
    for (const Display& d : displays)
        pending_[d.id] = ask(d);
}

std::optional<QImage> ScreenSource::receive(Request& request, const Display& display) {
    request.call->waitForFinished();
    const QDBusMessage reply = request.call->reply();
    // The call keeps the message it sent, and with it a copy of the pipe's
    // other end: without it, a writer that stops short ends the stream.
    request.call.reset();
    if (reply.type() != QDBusMessage::ReplyMessage) {
        if (reply.errorName() == QLatin1String("org.freedesktop.DBus.Error.NoReply"))
            throw grabError(QStringLiteral("KWin 没有应答"));
        // Not authorised, not there, or a screen it does not know.
        return std::nullopt;
    }
    const std::optional<RawImage> raw =
        rawImageOf(qdbus_cast<QVariantMap>(reply.arguments().value(0).value<QDBusArgument>()));
    if (!raw)
        throw grabError(QStringLiteral("KWin 的截图格式无法识别"));
    QImage image = readRawImage(request.pixels, *raw, pixelsTimeout);
    if (image.isNull())
        throw grabError(QStringLiteral("KWin 的截图数据不完整"));
    // A fractional scale may round the rendered size a pixel away from the
    // output's mode.
    const QSize pixels = pixelSize(display);
    if (image.size() != pixels)
        image = image.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    return image;
}

QImage ScreenSource::grab(const Display& display) {
    auto left = std::find_if(remaining_.begin(), remaining_.end(),
                             [&display](const Display& d) { return d.id == display.id; });
    if (left != remaining_.end())
        remaining_.erase(left);
    if (!fallingBack_) {
        std::unique_ptr<Request> request;
        if (auto it = pending_.find(display.id); it != pending_.end()) {
            request = std::move(it->second);
            pending_.erase(it);
        } else {
            request = ask(display);
        }
        if (std::optional<QImage> image = receive(*request, display))
            return *image;
        // The rest of this capture goes through the portal, which takes
        // every output in one picture.
        fallingBack_ = true;
        pending_.clear();
        std::vector<Display> rest = remaining_;
        rest.insert(rest.begin(), display);
        fallback_->prepare(rest);
    }
    return fallback_->grab(display);
}

} // namespace korvel::kde
