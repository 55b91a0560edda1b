#include "singleinstance.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QRegularExpression>
#include <QtEndian>
#include <QTimer>

#include <unistd.h>

namespace korvel {
namespace {

// A request on the wire: 8 bytes of big-endian length, then the request.
constexpr qint64 headerSize = 8;
constexpr int connectTimeoutMs = 1000;
// A pin of a large image takes a moment to decode in the running instance.
constexpr int answerTimeoutMs = 10000;
// A stuck peer does not keep a connection open for ever.
constexpr int idleTimeoutMs = 15000;

QByteArray frame(const QByteArray& payload) {
    QByteArray bytes(headerSize, Qt::Uninitialized);
    qToBigEndian<quint64>(quint64(payload.size()), bytes.data());
    return bytes + payload;
}

} // namespace

QByteArray InstanceRequest::encode() const {
    QByteArray bytes(1, char(kind));
    // An edit names its file before the image; names hold no NUL.
    if (kind == Kind::edit)
        bytes += name.toUtf8().replace('\0', "") + '\0';
    if (kind == Kind::pin || kind == Kind::edit)
        bytes += png;
    return bytes;
}

std::optional<InstanceRequest> InstanceRequest::decode(const QByteArray& bytes) {
    if (bytes.isEmpty() || quint8(bytes[0]) > quint8(Kind::edit))
        return std::nullopt;
    InstanceRequest request;
    request.kind = Kind(quint8(bytes[0]));
    if (request.kind == Kind::pin || request.kind == Kind::edit) {
        qsizetype start = 1;
        if (request.kind == Kind::edit) {
            const qsizetype end = bytes.indexOf('\0', 1);
            if (end < 0)
                return std::nullopt;
            request.name = QString::fromUtf8(bytes.mid(1, end - 1));
            start = end + 1;
        }
        request.png = bytes.mid(start);
        if (request.png.isEmpty())
            return std::nullopt;
    } else if (bytes.size() != 1) {
        return std::nullopt;
    }
    return request;
}

SingleInstance::SingleInstance(QString socketPath, QObject* parent)
    : QObject(parent)
    , path_(std::move(socketPath)) {}

SingleInstance::~SingleInstance() {
    if (server_)
        server_->close(); // removes the socket file
}

QString SingleInstance::defaultSocketPath() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (dir.isEmpty())
        dir = QDir::tempPath() + QStringLiteral("/korvel-%1").arg(::getuid());
    QString display = qEnvironmentVariable("DISPLAY");
    if (!display.isEmpty()) {
        // ":0" and ":0.0" are the same session.
        static const QRegularExpression screen(QStringLiteral("\\.\\d+$"));
        display.remove(screen);
    } else {
        display = qEnvironmentVariable("WAYLAND_DISPLAY", QStringLiteral("default"));
    }
    static const QRegularExpression unsafe(QStringLiteral("[^A-Za-z0-9_-]"));
    display.replace(unsafe, QStringLiteral("_"));
    return QDir(dir).filePath(QStringLiteral("korvel-%1.socket").arg(display));
}

SingleInstance::Claim SingleInstance::claim(const InstanceRequest& request) {
    const QFileInfo socket(path_);
    if (!QDir().mkpath(socket.absolutePath()))
        return Claim::unavailable;
    // Two starts at the same moment must not both find no one listening and
    // both listen: deciding happens under a lock (one a crashed process left
    // is taken over).
    QLockFile lock(path_ + QStringLiteral(".lock"));
    if (!lock.tryLock(answerTimeoutMs))
        return Claim::unanswered;
    const Claim delivered = handOver(request);
    if (delivered != Claim::unavailable)
        return delivered;
    // Nobody answered the connection: whatever socket file is there was left
    // by an instance that is gone.
    QLocalServer::removeServer(path_);
    auto server = std::make_unique<QLocalServer>();
    server->setSocketOptions(QLocalServer::UserAccessOption);
    if (!server->listen(path_))
        return Claim::unavailable;
    server_ = std::move(server);
    connect(server_.get(), &QLocalServer::newConnection, this, &SingleInstance::accept);
    return Claim::primary;
}

SingleInstance::Claim SingleInstance::handOver(const InstanceRequest& request) {
    QLocalSocket socket;
    socket.connectToServer(path_);
    if (!socket.waitForConnected(connectTimeoutMs))
        return Claim::unavailable;
    socket.write(frame(request.encode()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(answerTimeoutMs))
            return Claim::unanswered;
    }
    if (!socket.waitForReadyRead(answerTimeoutMs))
        return Claim::unanswered;
    const QByteArray answer = socket.read(1);
    if (answer == "1")
        return Claim::handedOver;
    return answer == "0" ? Claim::refused : Claim::unanswered;
}

void SingleInstance::accept() {
    while (QLocalSocket* socket = server_->nextPendingConnection()) {
        connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QLocalSocket::readyRead, this, [this, socket] { read(socket); });
        QPointer<QLocalSocket> guard(socket);
        QTimer::singleShot(idleTimeoutMs, this, [guard] {
            if (guard)
                guard->abort();
        });
    }
}

void SingleInstance::read(QLocalSocket* socket) {
    if (socket->bytesAvailable() < headerSize)
        return;
    QByteArray header = socket->peek(headerSize);
    const quint64 size = qFromBigEndian<quint64>(header.constData());
    if (size == 0 || size > quint64(maximumRequest)) {
        socket->abort();
        return;
    }
    if (socket->bytesAvailable() < headerSize + qint64(size))
        return;
    socket->skip(headerSize);
    const std::optional<InstanceRequest> request =
        InstanceRequest::decode(socket->read(qint64(size)));
    const bool done = request && onRequest && onRequest(*request);
    socket->write(done ? "1" : "0");
    socket->flush();
    socket->disconnectFromServer();
}

} // namespace korvel
