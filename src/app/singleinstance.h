#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class QLocalServer;
class QLocalSocket;

namespace korvel {

// What a start of korvel asks of the running instance.
struct InstanceRequest {
    enum class Kind : quint8 { start = 0, capture = 1, pin = 2, edit = 3 };
    Kind kind = Kind::start;
    QByteArray png; // for pin and edit
    QString name;   // for edit: the file's name, for the window's title

    QByteArray encode() const;
    static std::optional<InstanceRequest> decode(const QByteArray& bytes);
};

// How the running instance answered; the byte on the wire.
enum class InstanceAnswer : char { refused = '0', done = '1', badImage = '2' };

// One Korvel per user session. The first start listens on a local socket;
// later starts hand their request to it and leave. A socket left behind by
// an instance that crashed is taken over. Both ends talk only to processes
// of the same user.
class SingleInstance final : public QObject {
public:
    enum class Claim {
        primary,     // this process is the running instance now
        handedOver,  // the running instance took the request
        refused,     // the running instance answered that it could not
        badImage,    // the running instance could not decode the image
        unanswered,  // an instance listens but does not answer
        foreign,     // the socket belongs to another user
        unavailable, // no socket can be made here; run without
    };

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket for this user and display, one per X display (or Wayland
    // socket), in the runtime folder; `problem` says why the folder cannot
    // be trusted, and the path is empty then.
    struct Place {
        QString path;
        QString problem;
    };
    static Place defaultSocketPath();
    // A folder for the socket, made private (0700) when it is missing; the
    // error when it exists but is not a folder of this user that only this
    // user can write to.
    static std::optional<QString> privateFolder(const QString& path, bool create);

    Claim claim(const InstanceRequest& request);

    // Requests of later starts, in the running instance. The answer goes
    // back to the asking process once `answer` is called, which may be
    // later (an image is decoded off the interface thread).
    using Answer = std::function<void(InstanceAnswer)>;
    std::function<void(const InstanceRequest&, Answer answer)> onRequest;

    // Largest request accepted: a pinned image's PNG file and its name.
    static constexpr qint64 maximumRequest = 257LL * 1024 * 1024 + 64LL * 1024;
    // Requests larger than this hold one of a few places while read and
    // carried out; further ones wait unread until a place is free.
    static constexpr qint64 smallRequest = 64LL * 1024;
    static constexpr int largeRequestsAtOnce = 2;
    static constexpr int connectionsAtOnce = 16;

private:
    struct Connection;
    Connection* find(quint64 id) const;

    Claim handOver(const InstanceRequest& request);
    void accept();
    void read(Connection* connection);
    void finish(Connection* connection);
    void resumeWaiting();

    QString path_;
    std::unique_ptr<QLocalServer> server_;
    std::vector<std::unique_ptr<Connection>> connections_;
    int largeRequests_ = 0;
    quint64 nextId_ = 0;
};

} // namespace korvel
