#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QSslServer>
#include <QSslSocket>
#include <QTimer>

#include <functional>

// A loopback HTTPS server for update feed tests: one answer per connection,
// chosen by `respond` from the request's head.
class FeedServer final : public QObject {
public:
    struct Answer {
        QByteArray head; // status line and headers, without the blank line
        QByteArray body;
        int trickleMs = 0;        // one byte of the body per interval
        bool silent = false;      // never answers
        bool endlessHead = false; // header lines, fast and for ever
    };

    std::function<Answer(const QByteArray& request)> respond;
    QList<QByteArray> requests;

    explicit FeedServer(const QSslConfiguration& tls) {
        server_.setSslConfiguration(tls);
        connect(&server_, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = server_.nextPendingConnection())
                serve(socket);
        });
        server_.listen(QHostAddress::LocalHost, 0);
    }

    quint16 port() const { return server_.serverPort(); }

    static Answer ok(const QByteArray& body) {
        return {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                    QByteArray::number(body.size()),
                body};
    }

private:
    void serve(QTcpSocket* socket) {
        auto* buffer = new QByteArray;
        connect(socket, &QObject::destroyed, this, [buffer] { delete buffer; });
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QIODevice::readyRead, this, [this, socket, buffer] {
            *buffer += socket->readAll();
            if (!buffer->contains("\r\n\r\n") || buffer->isEmpty())
                return;
            requests << *buffer;
            const Answer answer = respond(*buffer);
            buffer->clear();
            if (answer.silent)
                return;
            if (answer.endlessHead) {
                socket->write(answer.head + "\r\n");
                auto* timer = new QTimer(socket);
                connect(timer, &QTimer::timeout, socket, [socket] {
                    if (socket->bytesToWrite() < (1 << 20))
                        socket->write(QByteArray(64, 'X') + ": " + QByteArray(60000, 'y') + "\r\n");
                });
                timer->start(1);
                return;
            }
            socket->write(answer.head + "\r\nConnection: close\r\n\r\n");
            if (answer.trickleMs <= 0) {
                socket->write(answer.body);
                socket->disconnectFromHost();
                return;
            }
            auto* timer = new QTimer(socket);
            auto sent = std::make_shared<qsizetype>(0);
            connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = answer.body] {
                if (*sent >= body.size()) {
                    timer->stop();
                    socket->disconnectFromHost();
                    return;
                }
                socket->write(body.mid((*sent)++, 1));
            });
            timer->start(answer.trickleMs);
        });
    }

    QSslServer server_;
};
