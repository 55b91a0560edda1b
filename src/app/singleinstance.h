#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

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

// One Korvel per user session. The first start listens on a local socket;
// later starts hand their request to it and leave. A socket left behind by
// an instance that crashed is taken over.
class SingleInstance final : public QObject {
public:
    enum class Claim {
        primary,    // this process is the running instance now
        handedOver, // the running instance took the request
        refused,    // the running instance answered that it could not
        unanswered, // an instance listens but does not answer
        unavailable // no socket can be made here; run without
    };

    explicit SingleInstance(QString socketPath, QObject* parent = nullptr);
    ~SingleInstance() override;

    // The socket for this user and display: in the runtime folder, one per
    // X display (or Wayland socket).
    static QString defaultSocketPath();

    Claim claim(const InstanceRequest& request);

    // Requests of later starts, in the running instance; the return value
    // goes back to the asking process.
    std::function<bool(const InstanceRequest&)> onRequest;

    // Largest request accepted: a pinned image's PNG.
    static constexpr qint64 maximumRequest = 512LL * 1024 * 1024;

private:
    Claim handOver(const InstanceRequest& request);
    void accept();
    void read(QLocalSocket* socket);

    QString path_;
    std::unique_ptr<QLocalServer> server_;
};

} // namespace korvel
