#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korvel {

// The response to one HTTP/1.1 GET, read as its bytes arrive, within
// limits: the status line and headers may not exceed `maxHeadBytes` (a
// server could otherwise send headers for ever), the body `maxBodyBytes`.
// Plain, chunked and close-delimited bodies are understood; any status
// other than 200 and any content coding are refused.
class HttpResponse {
public:
    enum class State { reading, complete, failed };

    HttpResponse(qsizetype maxHeadBytes, qsizetype maxBodyBytes);

    // Takes the next bytes from the connection.
    State feed(const QByteArray& bytes);
    // The connection closed: a body that runs to the close ends here.
    State closed();

    State state() const { return state_; }
    // For a failure: what was wrong, in Chinese.
    const QString& problem() const { return problem_; }
    int status() const { return status_; }
    const QByteArray& body() const { return body_; }

private:
    State fail(QString problem);
    State readHead();
    State readBody();
    State readChunks();
    bool takeBody(qsizetype count);

    qsizetype maxHead_;
    qsizetype maxBody_;
    State state_ = State::reading;
    QString problem_;
    QByteArray pending_; // received and not yet consumed
    qsizetype headBytes_ = 0;
    bool headDone_ = false;
    int status_ = 0;
    std::optional<qsizetype> length_; // Content-Length
    bool chunked_ = false;
    qsizetype chunkLeft_ = -1; // -1: a chunk-size line comes next
    bool trailers_ = false;    // after the last chunk
    QByteArray body_;
};

} // namespace korvel
