#include "releasefetch.h"

#include "appinfo.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QTimer>

namespace korvel {
namespace {

int codeFor(QNetworkReply::NetworkError error) {
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return urlError::cannotConnectToHost;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return urlError::cannotFindHost;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return urlError::networkConnectionLost;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
        return urlError::timedOut;
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::UnknownProxyError:
        return urlError::secureConnectionFailed;
    case QNetworkReply::TemporaryNetworkFailureError:
    case QNetworkReply::NetworkSessionFailedError:
        return urlError::notConnectedToInternet;
    case QNetworkReply::OperationCanceledError:
        return urlError::cancelled;
    case QNetworkReply::ProtocolFailure:
    case QNetworkReply::ProtocolUnknownError:
    case QNetworkReply::ProtocolInvalidOperationError:
        return urlError::badServerResponse;
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
    if (reply_) {
        // abort() reports finished at once; nobody is listening any more.
        disconnect(reply_, nullptr, this, nullptr);
        reply_->abort();
    }
}

void ReleaseFetch::start() {
    manager_ = new QNetworkAccessManager(this);
    manager_->setRedirectPolicy(QNetworkRequest::ManualRedirectPolicy);

    QNetworkRequest request(rules_.server.feedAddress());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::CookieLoadControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::CookieSaveControlAttribute, QNetworkRequest::Manual);
    request.setAttribute(QNetworkRequest::AuthenticationReuseAttribute, QNetworkRequest::Manual);
    request.setRawHeader("Accept", "application/json");
    // Qt would otherwise ask for gzip and inflate it behind our byte count.
    request.setRawHeader("Accept-Encoding", "identity");
    request.setHeader(QNetworkRequest::UserAgentHeader,
                      QByteArray("Korvel/") + QByteArray(AppInfo::version));
    request.setSslConfiguration(tlsConfiguration());

    reply_ = manager_->get(request);
    connect(reply_, &QNetworkReply::metaDataChanged, this, &ReleaseFetch::metaDataChanged);
    connect(reply_, &QIODevice::readyRead, this, &ReleaseFetch::readyRead);
    connect(reply_, &QNetworkReply::finished, this, &ReleaseFetch::finished);
    idle_->start(limits_.idle);
    total_->start(limits_.total);
}

void ReleaseFetch::metaDataChanged() {
    idle_->start(limits_.idle);
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200) {
        fail(urlError::make(urlError::badServerResponse,
                            QStringLiteral("HTTP 状态 %1").arg(status.toInt())));
        return;
    }
    // A redirect is never followed, and the answer must come from the feed
    // address itself.
    if (reply_->url() != rules_.server.feedAddress()) {
        fail(urlError::make(urlError::badServerResponse, QStringLiteral("地址已改变")));
        return;
    }
    const QVariant length = reply_->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > limits_.maxBytes)
        fail(urlError::make(urlError::badServerResponse,
                            QStringLiteral("响应超过 %1 字节").arg(limits_.maxBytes)));
}

void ReleaseFetch::readyRead() {
    idle_->start(limits_.idle);
    while (!ended_ && reply_ && reply_->bytesAvailable() > 0) {
        // One byte beyond the limit is enough to know the body is too long.
        body_ += reply_->read(limits_.maxBytes + 1 - body_.size());
        if (body_.size() > limits_.maxBytes)
            fail(urlError::make(urlError::badServerResponse,
                                QStringLiteral("响应超过 %1 字节").arg(limits_.maxBytes)));
    }
}

void ReleaseFetch::finished() {
    if (ended_)
        return;
    const QVariant status = reply_->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && status.toInt() != 200) {
        fail(urlError::make(urlError::badServerResponse,
                            QStringLiteral("HTTP 状态 %1").arg(status.toInt())));
        return;
    }
    if (reply_->error() != QNetworkReply::NoError) {
        fail(urlError::make(codeFor(reply_->error()), reply_->errorString()));
        return;
    }
    if (!status.isValid() || reply_->url() != rules_.server.feedAddress()) {
        fail(urlError::make(urlError::badServerResponse));
        return;
    }
    readyRead();
    if (ended_)
        return;
    try {
        AppRelease release = AppRelease::decode(body_);
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
    if (reply_) {
        disconnect(reply_, nullptr, this, nullptr);
        reply_->abort();
    }
    // We may be inside one of the reply's signals: the manager and with it
    // the reply go once control is back in the event loop.
    if (manager_)
        manager_->deleteLater();
    body_.clear();
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
