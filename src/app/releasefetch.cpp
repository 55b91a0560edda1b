#include "releasefetch.h"

#include "appinfo.h"

#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslSocket>
#include <QTimer>
#include <QUrl>

namespace korvel {
namespace {

int codeFor(QAbstractSocket::SocketError error) {
    switch (error) {
    case QAbstractSocket::ConnectionRefusedError:
    case QAbstractSocket::ProxyConnectionRefusedError:
        return urlError::cannotConnectToHost;
    case QAbstractSocket::HostNotFoundError:
    case QAbstractSocket::ProxyNotFoundError:
        return urlError::cannotFindHost;
    case QAbstractSocket::RemoteHostClosedError:
    case QAbstractSocket::ProxyConnectionClosedError:
        return urlError::networkConnectionLost;
    case QAbstractSocket::SocketTimeoutError:
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return urlError::timedOut;
    case QAbstractSocket::SslHandshakeFailedError:
    case QAbstractSocket::SslInternalError:
    case QAbstractSocket::SslInvalidUserDataError:
        return urlError::secureConnectionFailed;
    case QAbstractSocket::NetworkError:
    case QAbstractSocket::TemporaryError:
        return urlError::notConnectedToInternet;
    default:
        return urlError::unknown;
    }
}

QSslConfiguration tlsConfiguration() {
    QSslConfiguration configuration = QSslConfiguration::defaultConfiguration();
    configuration.setProtocol(QSsl::SecureProtocols);
    configuration.setPeerVerifyMode(QSslSocket::VerifyPeer);
    // OpenSSL's own loader honours SSL_CERT_FILE; Qt reads only the system
    // folders, so the authorities of that file are added here.
    const QString file = qEnvironmentVariable("SSL_CERT_FILE");
    if (!file.isEmpty()) {
        const QList<QSslCertificate> extra = QSslCertificate::fromPath(file, QSsl::Pem);
        if (!extra.isEmpty())
            configuration.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    }
    return configuration;
}

} // namespace

FetchLimits FetchLimits::fromEnvironment() {
    FetchLimits limits;
    const QStringList values = qEnvironmentVariable("KORVEL_UPDATE_TIMEOUTS_MS").split(u',');
    if (values.size() != 2)
        return limits;
    bool idleOk = false;
    bool totalOk = false;
    const qint64 idle = values[0].trimmed().toLongLong(&idleOk);
    const qint64 total = values[1].trimmed().toLongLong(&totalOk);
    if (idleOk && idle > 0 && idle < limits.idle.count())
        limits.idle = std::chrono::milliseconds(idle);
    if (totalOk && total > 0 && total < limits.total.count())
        limits.total = std::chrono::milliseconds(total);
    return limits;
}

ReleaseRules configuredReleaseRules() {
    QString origin = qEnvironmentVariable("KORVEL_UPDATE_ORIGIN");
    if (origin.isEmpty())
        origin = QString::fromUtf8(AppInfo::updateOrigin);
    if (origin.isEmpty())
        throw urlError::make(urlError::badURL, QStringLiteral("本构建未配置更新服务器"));
    const auto server = UpdateServer::fromOrigin(origin);
    if (!server)
        throw urlError::make(urlError::badURL,
                             QStringLiteral("更新服务器“%1”不是 https 源").arg(origin));
    const auto platform = buildPackagePlatform();
    if (!platform)
        throw urlError::make(urlError::badURL, QStringLiteral("更新服务器没有本平台的安装包"));
    return {*server, packageTarget(*platform)};
}

ReleaseFetch::ReleaseFetch(ReleaseRules rules, FetchLimits limits,
                           std::function<void(FetchResult)> done, QObject* parent)
    : QObject(parent)
    , rules_(std::move(rules))
    , limits_(limits)
    , done_(std::move(done))
    , idle_(new QTimer(this))
    , total_(new QTimer(this)) {
    idle_->setSingleShot(true);
    total_->setSingleShot(true);
    connect(idle_, &QTimer::timeout, this, &ReleaseFetch::timedOut);
    connect(total_, &QTimer::timeout, this, &ReleaseFetch::timedOut);
}

ReleaseFetch::~ReleaseFetch() {
    if (socket_) {
        disconnect(socket_, nullptr, this, nullptr);
        socket_->abort();
    }
}

void ReleaseFetch::start() {
    const QUrl address = rules_.server.feedAddress();
    response_ = std::make_unique<HttpResponse>(limits_.maxHeadBytes, limits_.maxBytes);
    socket_ = new QSslSocket(this);
    socket_->setSslConfiguration(tlsConfiguration());
    // Qt reads no further ahead of us than this.
    socket_->setReadBufferSize(qint64(64) * 1024);
    connect(socket_, &QSslSocket::encrypted, this, &ReleaseFetch::sendRequest);
    connect(socket_, &QIODevice::readyRead, this, &ReleaseFetch::readyRead);
    connect(socket_, &QAbstractSocket::disconnected, this, &ReleaseFetch::disconnected);
    connect(socket_, &QAbstractSocket::errorOccurred, this, &ReleaseFetch::socketFailed);
    socket_->connectToHostEncrypted(address.host(), quint16(address.port(443)));
    idle_->start(limits_.idle);
    total_->start(limits_.total);
}

void ReleaseFetch::sendRequest() {
    idle_->start(limits_.idle);
    const QUrl address = rules_.server.feedAddress();
    QByteArray host = address.host(QUrl::FullyEncoded).toLatin1();
    if (address.port(443) != 443)
        host += ':' + QByteArray::number(address.port());
    // The body arrives as it is counted, never inflated behind the count.
    socket_->write("GET " + address.path(QUrl::FullyEncoded).toLatin1() +
                   " HTTP/1.1\r\n"
                   "Host: " +
                   host +
                   "\r\n"
                   "Accept: application/json\r\n"
                   "Accept-Encoding: identity\r\n"
                   "Cache-Control: no-cache\r\n"
                   "User-Agent: Korvel/" +
                   QByteArray(AppInfo::version) +
                   "\r\n"
                   "Connection: close\r\n\r\n");
}

void ReleaseFetch::readyRead() {
    idle_->start(limits_.idle);
    while (!ended_ && socket_->bytesAvailable() > 0) {
        if (response_->feed(socket_->read(qint64(64) * 1024)) != HttpResponse::State::reading) {
            responded();
            return;
        }
    }
}

void ReleaseFetch::disconnected() {
    if (ended_)
        return;
    readyRead();
    if (!ended_) {
        response_->closed();
        responded();
    }
}

void ReleaseFetch::socketFailed() {
    if (ended_)
        return;
    // The server closing after a body that ends with the connection is how
    // such a response finishes.
    if (socket_->error() == QAbstractSocket::RemoteHostClosedError && socket_->isEncrypted()) {
        disconnected();
        return;
    }
    fail(urlError::make(codeFor(socket_->error()), socket_->errorString()));
}

void ReleaseFetch::responded() {
    if (ended_)
        return;
    if (response_->state() == HttpResponse::State::failed) {
        fail(urlError::make(urlError::badServerResponse, response_->problem()));
        return;
    }
    try {
        AppRelease release = AppRelease::decode(response_->body());
        release.validate(rules_);
        complete(std::move(release));
    } catch (const Error& error) {
        fail(error);
    }
}

void ReleaseFetch::timedOut() {
    fail(urlError::make(urlError::timedOut));
}

void ReleaseFetch::fail(const Error& error) {
    complete(error);
}

void ReleaseFetch::complete(FetchResult result) {
    if (ended_)
        return;
    ended_ = true;
    idle_->stop();
    total_->stop();
    if (socket_) {
        disconnect(socket_, nullptr, this, nullptr);
        socket_->abort();
        // We may be inside one of the socket's signals: it goes once
        // control is back in the event loop.
        socket_->deleteLater();
        socket_ = nullptr;
    }
    response_.reset();
    // Delivered from the event loop, so that the receiver may run a modal
    // alert without being inside the network stack's signal.
    QMetaObject::invokeMethod(
        this,
        [this, result = std::move(result)]() mutable {
            std::function<void(FetchResult)> done = std::move(done_);
            deleteLater();
            if (done)
                done(std::move(result));
        },
        Qt::QueuedConnection);
}

void fetchLatest(const ReleaseRules& rules, const FetchLimits& limits, QObject* context,
                 std::function<void(FetchResult)> done) {
    auto* fetch = new ReleaseFetch(rules, limits, std::move(done), context);
    fetch->start();
}

} // namespace korvel
