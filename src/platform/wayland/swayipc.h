#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QString>

#include <optional>

namespace korvel::wayland {

// The mouse_warping that a sway configuration sets: its last such line,
// or sway's default.
QString mouseWarping(const QString& configuration);

// A client of sway's IPC socket ($SWAYSOCK): requests and their JSON
// answers, one at a time, each bounded by a short time-out so a hung
// compositor cannot freeze the caller.
class SwayIpc {
public:
    enum Type : quint32 {
        runCommand = 0,
        subscribe = 2,
        getOutputs = 3,
        getTree = 4,
        getConfig = 9
    };

    // The socket the session names; empty outside sway.
    static QString socketPath();

    explicit SwayIpc(QString path);
    ~SwayIpc();

    SwayIpc(const SwayIpc&) = delete;
    SwayIpc& operator=(const SwayIpc&) = delete;

    std::optional<QJsonDocument> request(Type type, const QByteArray& payload = {});
    // Runs sway commands; true when every one succeeded.
    bool command(const QString& commands);
    // The same for commands that focus a window, leaving the pointer where
    // the user has it: sway moves it to a window focused on another output
    // (its mouse_warping), so another program's window there would lose
    // the pointer, and its wheel, to ours. The setting is restored at once.
    bool commandKeepingPointer(const QString& commands);

    // Turns this connection into one that carries the named events (a JSON
    // array such as ["window"]); requests are then made on another one.
    // The socket to watch for them, -1 when the subscription failed.
    int subscribeTo(const QByteArray& events);
    // The next event, once the socket has something to read; null when the
    // connection broke.
    std::optional<QJsonDocument> readEvent();

private:
    bool connectSocket();
    bool exchange(Type type, const QByteArray& payload, QByteArray& reply);
    bool receive(quint32& type, QByteArray& payload);
    void disconnectSocket();

    const QString path_;
    int fd_ = -1;
};

} // namespace korvel::wayland
