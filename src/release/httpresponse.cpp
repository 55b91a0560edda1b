#include "httpresponse.h"

#include <QList>

namespace korvel {
namespace {

// A line of a chunked body (its size, a trailer) is never longer than this.
constexpr qsizetype maxChunkLine = 1024;

} // namespace

HttpResponse::HttpResponse(qsizetype maxHeadBytes, qsizetype maxBodyBytes)
    : maxHead_(maxHeadBytes)
    , maxBody_(maxBodyBytes) {}

HttpResponse::State HttpResponse::fail(QString problem) {
    if (state_ == State::reading) {
        state_ = State::failed;
        problem_ = std::move(problem);
        pending_.clear();
        body_.clear();
    }
    return state_;
}

HttpResponse::State HttpResponse::feed(const QByteArray& bytes) {
    if (state_ != State::reading)
        return state_;
    pending_ += bytes;
    if (!headDone_ && readHead() != State::reading)
        return state_;
    if (!headDone_)
        return state_;
    return chunked_ ? readChunks() : readBody();
}

HttpResponse::State HttpResponse::closed() {
    if (state_ != State::reading)
        return state_;
    if (headDone_ && !chunked_ && !length_) {
        state_ = State::complete;
        return state_;
    }
    return fail(QStringLiteral("连接提前关闭"));
}

HttpResponse::State HttpResponse::readHead() {
    const qsizetype end = pending_.indexOf("\r\n\r\n");
    if (end < 0) {
        if (headBytes_ + pending_.size() > maxHead_)
            return fail(QStringLiteral("响应头超过 %1 字节").arg(maxHead_));
        return state_;
    }
    if (end + 4 > maxHead_)
        return fail(QStringLiteral("响应头超过 %1 字节").arg(maxHead_));
    const QList<QByteArray> lines = pending_.left(end).split('\n');
    pending_.remove(0, end + 4);
    headDone_ = true;

    const QList<QByteArray> statusLine = lines.front().trimmed().split(' ');
    bool numeric = false;
    status_ = statusLine.size() >= 2 ? statusLine[1].toInt(&numeric) : 0;
    if (!statusLine.front().startsWith("HTTP/1.") || !numeric)
        return fail(QStringLiteral("不是 HTTP 响应"));
    if (status_ != 200)
        return fail(QStringLiteral("HTTP 状态 %1").arg(status_));
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            return fail(QStringLiteral("响应头格式错误"));
        const QByteArray name = lines[i].left(colon).trimmed().toLower();
        const QByteArray value = lines[i].mid(colon + 1).trimmed().toLower();
        if (name == "content-length") {
            bool ok = false;
            const qlonglong length = value.toLongLong(&ok);
            if (!ok || length < 0 || (length_ && *length_ != length))
                return fail(QStringLiteral("响应头格式错误"));
            if (length > maxBody_)
                return fail(QStringLiteral("响应超过 %1 字节").arg(maxBody_));
            length_ = qsizetype(length);
        } else if (name == "transfer-encoding") {
            if (value != "chunked")
                return fail(QStringLiteral("不支持的传输编码"));
            chunked_ = true;
        } else if (name == "content-encoding" && value != "identity") {
            return fail(QStringLiteral("不支持的内容编码"));
        }
    }
    if (chunked_)
        length_.reset();
    return state_;
}

bool HttpResponse::takeBody(qsizetype count) {
    if (body_.size() + count > maxBody_) {
        fail(QStringLiteral("响应超过 %1 字节").arg(maxBody_));
        return false;
    }
    body_ += pending_.left(count);
    pending_.remove(0, count);
    return true;
}

HttpResponse::State HttpResponse::readBody() {
    const qsizetype wanted = length_ ? *length_ - body_.size() : pending_.size();
    if (!takeBody(std::min(wanted, pending_.size())))
        return state_;
    if (length_ && body_.size() == *length_)
        state_ = State::complete;
    return state_;
}

HttpResponse::State HttpResponse::readChunks() {
    while (state_ == State::reading) {
        if (chunkLeft_ > 0) {
            const qsizetype count = std::min(chunkLeft_, pending_.size());
            if (count == 0 || !takeBody(count))
                return state_;
            chunkLeft_ -= count;
            continue;
        }
        const qsizetype end = pending_.indexOf("\r\n");
        if (end < 0) {
            if (pending_.size() > maxChunkLine)
                return fail(QStringLiteral("分块格式错误"));
            return state_;
        }
        const QByteArray line = pending_.left(end);
        pending_.remove(0, end + 2);
        if (chunkLeft_ == 0) { // the line break that closes a chunk's data
            if (!line.isEmpty())
                return fail(QStringLiteral("分块格式错误"));
            chunkLeft_ = -1;
        } else if (trailers_) {
            if (line.isEmpty())
                state_ = State::complete;
            else if ((headBytes_ += line.size() + 2) > maxHead_)
                return fail(QStringLiteral("响应头超过 %1 字节").arg(maxHead_));
        } else {
            bool ok = false;
            const qlonglong size = line.split(';').front().trimmed().toLongLong(&ok, 16);
            if (!ok || size < 0)
                return fail(QStringLiteral("分块格式错误"));
            if (size > maxBody_ - body_.size())
                return fail(QStringLiteral("响应超过 %1 字节").arg(maxBody_));
            trailers_ = size == 0;
            chunkLeft_ = trailers_ ? -1 : qsizetype(size);
        }
    }
    return state_;
}

} // namespace korvel
