#include "swayipc.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

namespace korvel::wayland {
namespace {

constexpr char magic[] = {'i', '3', '-', 'i', 'p', 'c'};
constexpr int headerSize = 14;
constexpr int timeoutMs = 1000;
// A tree of thousands of windows stays far below this.
constexpr quint32 maximumReply = 64u << 20;

bool waitFor(int fd, short events) {
    pollfd p{fd, events, 0};
    int r = 0;
    do {
        r = poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r > 0 && (p.revents & events);
}

bool sendAll(int fd, const char* data, size_t size) {
    while (size > 0) {
        if (!waitFor(fd, POLLOUT))
            return false;
        const ssize_t n = send(fd, data, size, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

bool receiveAll(int fd, char* data, size_t size) {
    while (size > 0) {
        if (!waitFor(fd, POLLIN))
            return false;
        const ssize_t n = recv(fd, data, size, 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        data += n;
        size -= size_t(n);
    }
    return true;
}

} // namespace

QString mouseWarping(const QString& configuration) {
    static const QRegularExpression line(
        QStringLiteral("^[ \\t]*mouse_warping[ \\t]+(output|container|none)[ \\t\\r]*$"),
        QRegularExpression::MultilineOption | QRegularExpression::CaseInsensitiveOption);
    QString value = QStringLiteral("output");
    for (auto it = line.globalMatch(configuration); it.hasNext();)
        value = it.next().captured(1).toLower();
    return value;
}

QString SwayIpc::socketPath() {
    const QByteArray path = qgetenv("SWAYSOCK");
    return QString::fromLocal8Bit(path);
}

SwayIpc::SwayIpc(QString path)
    : path_(std::move(path)) {}

SwayIpc::~SwayIpc() {
    disconnectSocket();
}

bool SwayIpc::connectSocket() {
    if (fd_ >= 0)
        return true;
    const QByteArray path = path_.toLocal8Bit();
    sockaddr_un address{};
    if (path.isEmpty() || size_t(path.size()) >= sizeof address.sun_path)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.constData(), size_t(path.size()));
    fd_ = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd_ < 0)
        return false;
    if (::connect(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
        disconnectSocket();
        return false;
    }
    return true;
}

void SwayIpc::disconnectSocket() {
    if (fd_ >= 0)
        close(fd_);
    fd_ = -1;
}

bool SwayIpc::exchange(Type type, const QByteArray& payload, QByteArray& reply) {
    char header[headerSize];
    std::memcpy(header, magic, sizeof magic);
    const quint32 length = quint32(payload.size());
    const quint32 kind = type;
    std::memcpy(header + 6, &length, 4);
    std::memcpy(header + 10, &kind, 4);
    if (!sendAll(fd_, header, headerSize) || !sendAll(fd_, payload.constData(), length))
        return false;
    // Events go to a connection of their own, so the next message is the
    // answer.
    quint32 replyType = 0;
    return receive(replyType, reply) && replyType == kind;
}

bool SwayIpc::receive(quint32& type, QByteArray& payload) {
    char header[headerSize];
    if (!receiveAll(fd_, header, headerSize) || std::memcmp(header, magic, sizeof magic) != 0)
        return false;
    quint32 length = 0;
    std::memcpy(&length, header + 6, 4);
    std::memcpy(&type, header + 10, 4);
    if (length > maximumReply)
        return false;
    payload.resize(qsizetype(length));
    return receiveAll(fd_, payload.data(), length);
}

int SwayIpc::subscribeTo(const QByteArray& events) {
    const std::optional<QJsonDocument> reply = request(subscribe, events);
    if (!reply || !reply->object().value(QLatin1String("success")).toBool()) {
        disconnectSocket();
        return -1;
    }
    return fd_;
}

std::optional<QJsonDocument> SwayIpc::readEvent() {
    quint32 type = 0;
    QByteArray payload;
    if (fd_ < 0 || !receive(type, payload)) {
        disconnectSocket();
        return std::nullopt;
    }
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError)
        return QJsonDocument();
    return document;
}

std::optional<QJsonDocument> SwayIpc::request(Type type, const QByteArray& payload) {
    // One retry: sway may have closed an idle connection.
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (!connectSocket())
            return std::nullopt;
        QByteArray reply;
        if (exchange(type, payload, reply)) {
            QJsonParseError error{};
            QJsonDocument document = QJsonDocument::fromJson(reply, &error);
            if (error.error != QJsonParseError::NoError)
                return std::nullopt;
            return document;
        }
        disconnectSocket();
    }
    return std::nullopt;
}

bool SwayIpc::command(const QString& commands) {
    const std::optional<QJsonDocument> reply = request(runCommand, commands.toUtf8());
    if (!reply || !reply->isArray())
        return false;
    const QJsonArray results = reply->array();
    for (const auto& r : results) {
        if (!r.toObject().value(QLatin1String("success")).toBool())
            return false;
    }
    return !results.isEmpty();
}

bool SwayIpc::commandKeepingPointer(const QString& commands) {
    const std::optional<QJsonDocument> config = request(getConfig);
    const QString warping = mouseWarping(
        config ? config->object().value(QLatin1String("config")).toString() : QString());
    // sway runs the list in one go: nothing moves the pointer in between.
    return command(
        QStringLiteral("mouse_warping none; %1; mouse_warping %2").arg(commands, warping));
}

} // namespace korvel::wayland
