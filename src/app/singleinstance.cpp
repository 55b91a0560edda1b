#include "singleinstance.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <QLockFile>
#include <QPointer>
#include <QRegularExpression>
#include <QtEndian>
#include <QTimer>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
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

// The user at the other end of a connected local socket.
bool peerIsThisUser(qintptr descriptor) {
    ucred credentials{};
    socklen_t length = sizeof credentials;
    return descriptor >= 0 &&
           ::getsockopt(int(descriptor), SOL_SOCKET, SO_PEERCRED, &credentials, &length) == 0 &&
           credentials.uid == ::getuid();
}

} // namespace

struct SingleInstance::Connection {
    quint64 id = 0;
    QPointer<QLocalSocket> socket;
    QByteArray payload;
    qint64 expected = -1; // payload bytes announced, once the header is read
    bool large = false;   // holds one of the few places for large requests
    bool waiting = false; // large, and no place was free
    bool asked = false;   // handed to onRequest; only its answer is awaited
};

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
    for (const auto& connection : connections_) {
        if (connection->socket)
            connection->socket->abort();
    }
    if (server_)
        server_->close(); // removes the socket file
}

std::optional<QString> SingleInstance::privateFolder(const QString& path, bool create) {
    const QByteArray name = QFile::encodeName(path);
    if (create && ::mkdir(name.constData(), 0700) != 0 && errno != EEXIST)
        return QStringLiteral("%1 cannot be made: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    // Not followed: a link may point anywhere.
    struct stat info {};
    if (::lstat(name.constData(), &info) != 0)
        return QStringLiteral("%1 cannot be read: %2")
            .arg(path, QString::fromLocal8Bit(std::strerror(errno)));
    if (!S_ISDIR(info.st_mode))
        return QStringLiteral("%1 is not a folder").arg(path);
    if (info.st_uid != ::getuid())
        return QStringLiteral("%1 belongs to another user").arg(path);
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0)
        return QStringLiteral("%1 is writable by other users").arg(path);
    return std::nullopt;
}

SingleInstance::Place SingleInstance::defaultSocketPath() {
    QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
    const bool shared = dir.isEmpty();
    // Without a runtime folder, a folder of our own in the shared temporary
    // folder, where anyone may have made it first.
    if (shared)
        dir = QDir::tempPath() + QStringLiteral("/korvel-%1").arg(::getuid());
    if (auto problem = privateFolder(dir, shared))
        return {QString(), *problem};
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
    return {QDir(dir).filePath(QStringLiteral("korvel-%1.socket").arg(display)), QString()};
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
    // The image goes only to a process of our own user.
    if (!peerIsThisUser(socket.socketDescriptor()))
        return Claim::foreign;
    socket.write(frame(request.encode()));
    while (socket.bytesToWrite() > 0) {
        if (!socket.waitForBytesWritten(answerTimeoutMs))
            return Claim::unanswered;
    }
    if (!socket.waitForReadyRead(answerTimeoutMs))
        return Claim::unanswered;
    const QByteArray answer = socket.read(1);
    switch (InstanceAnswer(answer.isEmpty() ? '\0' : answer[0])) {
    case InstanceAnswer::done:
        return Claim::handedOver;
    case InstanceAnswer::refused:
        return Claim::refused;
    case InstanceAnswer::badImage:
        return Claim::badImage;
    }
    return Claim::unanswered;
}

SingleInstance::Connection* SingleInstance::find(quint64 id) const {
    for (const auto& connection : connections_) {
        if (connection->id == id)
            return connection.get();
    }
    return nullptr;
}

void SingleInstance::accept() {
    // Connections beyond the cap stay queued in the server until one ends.
    while (int(connections_.size()) < connectionsAtOnce) {
        QLocalSocket* socket = server_->nextPendingConnection();
        if (!socket)
            return;
        if (!peerIsThisUser(socket->socketDescriptor())) {
            socket->abort();
            socket->deleteLater();
            continue;
        }
        auto connection = std::make_unique<Connection>();
        Connection* c = connection.get();
        c->id = ++nextId_;
        c->socket = socket;
        // Qt reads no further ahead than this; the request's own buffer
        // grows only as bytes arrive.
        socket->setReadBufferSize(smallRequest);
        connections_.push_back(std::move(connection));
        const quint64 id = c->id;
        connect(socket, &QLocalSocket::readyRead, this, [this, id] {
            if (Connection* c = find(id))
                read(c);
        });
        connect(socket, &QLocalSocket::disconnected, this, [this, id] {
            if (Connection* c = find(id))
                finish(c);
        });
        QTimer::singleShot(idleTimeoutMs, this, [this, id] {
            if (Connection* c = find(id))
                finish(c);
        });
        read(c);
    }
}

void SingleInstance::read(Connection* c) {
    QLocalSocket* socket = c->socket;
    if (!socket || c->asked || c->waiting)
        return;
    if (c->expected < 0) {
        if (socket->bytesAvailable() < headerSize)
            return;
        const QByteArray header = socket->read(headerSize);
        const quint64 size = qFromBigEndian<quint64>(header.constData());
        if (size == 0 || size > quint64(maximumRequest)) {
            finish(c);
            return;
        }
        c->expected = qint64(size);
        c->large = c->expected > smallRequest;
        if (c->large) {
            if (largeRequests_ >= largeRequestsAtOnce) {
                c->waiting = true;
                return;
            }
            ++largeRequests_;
        }
        c->payload.reserve(c->expected);
    }
    c->payload += socket->read(c->expected - c->payload.size());
    if (c->payload.size() < c->expected)
        return;
    c->asked = true;
    const std::optional<InstanceRequest> request = InstanceRequest::decode(c->payload);
    c->payload = QByteArray();
    const quint64 id = c->id;
    QPointer<SingleInstance> self(this);
    Answer answer = [self, id](InstanceAnswer a) {
        Connection* c = self ? self->find(id) : nullptr;
        if (!c)
            return;
        if (QLocalSocket* socket = c->socket) {
            // Writing may report the peer gone at once: no slot of ours may
            // end the connection under us meanwhile.
            disconnect(socket, nullptr, self, nullptr);
            socket->write(QByteArray(1, char(a)));
            socket->flush();
        }
        if (Connection* still = self->find(id))
            self->finish(still);
    };
    if (!request || !onRequest)
        answer(InstanceAnswer::refused);
    else
        onRequest(*request, std::move(answer));
}

void SingleInstance::finish(Connection* c) {
    if (QLocalSocket* socket = c->socket) {
        // Signals first: closing reports synchronously.
        disconnect(socket, nullptr, this, nullptr);
        // Closed gracefully, so that an answer written is still delivered.
        socket->disconnectFromServer();
        socket->deleteLater();
    }
    if (c->large && !c->waiting)
        --largeRequests_;
    std::erase_if(connections_, [c](const auto& held) { return held.get() == c; });
    resumeWaiting();
    // A place is free: take what queued up meanwhile.
    if (server_)
        QTimer::singleShot(0, this, &SingleInstance::accept);
}

void SingleInstance::resumeWaiting() {
    for (const auto& connection : connections_) {
        if (largeRequests_ >= largeRequestsAtOnce)
            return;
        if (connection->waiting) {
            connection->waiting = false;
            ++largeRequests_;
            connection->payload.reserve(connection->expected);
            read(connection.get());
            return; // read() may have finished it and changed the list
        }
    }
}

} // namespace korvel
