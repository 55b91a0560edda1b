// The "--check-update-feed" diagnostic of the real korvel binary against a
// loopback HTTPS server whose certificate is made here and trusted only
// through SSL_CERT_FILE.
#include "appinfo.h"
#include "feedserver.h"
#include "release/updateserver.h"

#include <gtest/gtest.h>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslKey>
#include <QTemporaryDir>

namespace {

struct Outcome {
    int status = -1;
    QStringList lines;
    QString errors; // standard error, for failure messages
};

class UpdateFeed : public ::testing::Test {
protected:
    static inline QTemporaryDir* dir = nullptr;
    static inline QSslConfiguration tls;

    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        QProcess openssl;
        openssl.setWorkingDirectory(dir->path());
        openssl.start(QStringLiteral("openssl"),
                      {QStringLiteral("req"), QStringLiteral("-x509"), QStringLiteral("-newkey"),
                       QStringLiteral("ec"), QStringLiteral("-pkeyopt"),
                       QStringLiteral("ec_paramgen_curve:prime256v1"), QStringLiteral("-nodes"),
                       QStringLiteral("-days"), QStringLiteral("2"), QStringLiteral("-subj"),
                       QStringLiteral("/CN=127.0.0.1"), QStringLiteral("-addext"),
                       QStringLiteral("subjectAltName=IP:127.0.0.1"), QStringLiteral("-keyout"),
                       QStringLiteral("key.pem"), QStringLiteral("-out"),
                       QStringLiteral("cert.pem")});
        openssl.waitForFinished(30000);
        QFile key(dir->filePath(QStringLiteral("key.pem")));
        key.open(QIODevice::ReadOnly);
        tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(QSslCertificate::fromPath(certificate()));
        tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    }
    static void TearDownTestSuite() {
        delete dir;
        dir = nullptr;
    }
    static QString certificate() { return dir->filePath(QStringLiteral("cert.pem")); }

    void SetUp() override {
        ASSERT_FALSE(tls.localCertificate().isNull()) << "openssl made no certificate";
        ASSERT_TRUE(server.port() > 0);
    }

    QString origin() const { return QStringLiteral("https://127.0.0.1:%1").arg(server.port()); }

    QByteArray feed(const QString& version = QStringLiteral("0.7.2"),
                    const QString& minimumSystem = QStringLiteral("1.0.0")) const {
        const korvel::PackageTarget target = korvel::packageTarget(*korvel::buildPackagePlatform());
        const QJsonObject object{
            {QStringLiteral("version"), version},
            {QStringLiteral("downloadURL"),
             origin() + QStringLiteral("/app/ds/update/dastra-") + version + target.fileSuffix},
            {QStringLiteral("notes"), QStringLiteral("修复了若干问题。")},
            {QStringLiteral("minimumSystemVersion"), minimumSystem},
            {QStringLiteral("architecture"), target.architecture},
        };
        return QJsonDocument(object).toJson();
    }

    // Runs the diagnostic while this process keeps serving.
    Outcome check(const QString& feedOrigin, bool trusted = true,
                  const QString& timeouts = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name : {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY",
                                 "HTTPS_PROXY", "ALL_PROXY", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("KORVEL_UPDATE_ORIGIN"), feedOrigin);
        if (trusted)
            env.insert(QStringLiteral("SSL_CERT_FILE"), certificate());
        else
            env.remove(QStringLiteral("SSL_CERT_FILE"));
        // Under the sanitizers: OpenSSL's per-thread state at exit is not ours.
        const QString lsan = env.value(QStringLiteral("LSAN_OPTIONS"));
        env.insert(QStringLiteral("LSAN_OPTIONS"),
                   (lsan.isEmpty() ? QString() : lsan + u':') +
                       QStringLiteral("suppressions=" LSAN_SUPPRESSIONS));
        // Their frames are only seen with full unwinding at each allocation.
        const QString asan = env.value(QStringLiteral("ASAN_OPTIONS"));
        env.insert(QStringLiteral("ASAN_OPTIONS"), (asan.isEmpty() ? QString() : asan + u':') +
                                                       QStringLiteral("fast_unwind_on_malloc=0"));
        if (!timeouts.isEmpty())
            env.insert(QStringLiteral("KORVEL_UPDATE_TIMEOUTS_MS"), timeouts);

        QProcess korvel;
        korvel.setProcessEnvironment(env);
        QEventLoop loop;
        QObject::connect(&korvel, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(40000, &loop, &QEventLoop::quit);
        korvel.start(QStringLiteral(KORVEL_BINARY), {QStringLiteral("--check-update-feed")});
        loop.exec();
        Outcome outcome;
        if (korvel.state() != QProcess::NotRunning) {
            korvel.kill();
            korvel.waitForFinished();
            return outcome;
        }
        outcome.status = korvel.exitStatus() == QProcess::NormalExit ? korvel.exitCode() : -2;
        outcome.lines = QString::fromUtf8(korvel.readAllStandardOutput()).split(u'\n');
        outcome.errors = QString::fromUtf8(korvel.readAllStandardError());
        if (outcome.lines.last().isEmpty())
            outcome.lines.removeLast();
        return outcome;
    }

    Outcome check(bool trusted = true) { return check(origin(), trusted); }

    static void expectOneFailure(const Outcome& outcome, const char* reason) {
        EXPECT_EQ(outcome.status, 1) << reason;
        ASSERT_EQ(outcome.lines.size(), 1)
            << reason << ": " << outcome.lines.join(u'|').toStdString();
        EXPECT_TRUE(outcome.lines[0].startsWith(QStringLiteral("FAIL: update feed: ")))
            << outcome.lines[0].toStdString();
    }

    FeedServer server{tls};
    const QString installed = QString::fromUtf8(korvel::AppInfo::version);
    const QString channel =
        korvel::AppInfo::updateChannelEnabled ? QStringLiteral("true") : QStringLiteral("false");
};

} // namespace

TEST_F(UpdateFeed, ValidFeedGivesTwoPassLines) {
    server.respond = [this](const QByteArray&) { return FeedServer::ok(feed()); };
    const Outcome outcome = check();
    EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
    EXPECT_EQ(outcome.lines,
              (QStringList{QStringLiteral("PASS: live update feed 0.7.2, installed ") + installed +
                               QStringLiteral(", status available, channel enabled ") + channel,
                           QStringLiteral("PASS: simulated older client 0.7.1 → available")}));
    ASSERT_EQ(server.requests.size(), 1);
    const QByteArray request = server.requests[0];
    EXPECT_TRUE(request.startsWith("GET /app/ds/update/latest.json HTTP/1.1\r\n"));
    EXPECT_TRUE(request.contains("\r\nAccept: application/json\r\n"));
    EXPECT_TRUE(request.contains("\r\nAccept-Encoding: identity\r\n"));
    EXPECT_FALSE(request.toLower().contains("\r\ncookie:"));
}

TEST_F(UpdateFeed, StatusNamesCurrentAndRequiresSystem) {
    server.respond = [this](const QByteArray&) { return FeedServer::ok(feed(installed)); };
    Outcome outcome = check();
    EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
    EXPECT_EQ(outcome.lines,
              (QStringList{QStringLiteral("PASS: live update feed ") + installed +
                               QStringLiteral(", installed ") + installed +
                               QStringLiteral(", status current, channel enabled ") + channel,
                           QStringLiteral("PASS: simulated older client 0.7.1 → current")}));

    server.respond = [this](const QByteArray&) {
        return FeedServer::ok(feed(QStringLiteral("0.7.2"), QStringLiteral("99999.0.0")));
    };
    outcome = check();
    EXPECT_EQ(outcome.status, 0) << outcome.errors.toStdString();
    ASSERT_EQ(outcome.lines.size(), 2);
    EXPECT_TRUE(outcome.lines[0].endsWith(
        QStringLiteral("status requiresSystem, channel enabled ") + channel));
    EXPECT_EQ(outcome.lines[1],
              QStringLiteral("PASS: simulated older client 0.7.1 → requiresSystem"));
}

TEST_F(UpdateFeed, RefusedAnswersGiveOneFailLine) {
    server.respond = [this](const QByteArray& request) -> FeedServer::Answer {
        if (request.startsWith("GET /elsewhere"))
            return FeedServer::ok(feed());
        return {"HTTP/1.1 302 Found\r\nLocation: " + origin().toUtf8() + "/elsewhere", {}};
    };
    expectOneFailure(check(), "redirect");
    EXPECT_EQ(server.requests.size(), 1) << "the redirect was followed";

    server.respond = [](const QByteArray&) -> FeedServer::Answer {
        return {"HTTP/1.1 404 Not Found\r\nContent-Length: 9", "not found"};
    };
    expectOneFailure(check(), "404");

    server.respond = [](const QByteArray&) { return FeedServer::ok("{\"version\": \"0.7.2\","); };
    expectOneFailure(check(), "invalid JSON");

    // A feed that names another host's package is not offered.
    server.respond = [this](const QByteArray&) {
        return FeedServer::ok(feed().replace("127.0.0.1", "127.0.0.2"));
    };
    expectOneFailure(check(), "foreign package");

    // Without the test authority the certificate is not trusted.
    server.respond = [this](const QByteArray&) { return FeedServer::ok(feed()); };
    expectOneFailure(check(false), "untrusted certificate");
}

TEST_F(UpdateFeed, BodyIsCappedAt256000Bytes) {
    // The same valid feed padded with blanks: only its length differs.
    auto padded = [this](qsizetype size) {
        QByteArray body = feed();
        body += QByteArray(size - body.size(), ' ');
        return body;
    };
    server.respond = [&](const QByteArray&) { return FeedServer::ok(padded(256000)); };
    Outcome outcome = check();
    EXPECT_EQ(outcome.status, 0) << outcome.lines.join(u'|').toStdString()
                                 << outcome.errors.toStdString();

    server.respond = [&](const QByteArray&) { return FeedServer::ok(padded(256001)); };
    expectOneFailure(check(), "256001 bytes");

    // Without a length up front the count is kept while reading.
    server.respond = [&](const QByteArray&) -> FeedServer::Answer {
        return {"HTTP/1.1 200 OK\r\nContent-Type: application/json", padded(256001)};
    };
    expectOneFailure(check(), "256001 bytes, no length");
}

// Headers are counted as the body is: a server that never ends them is
// refused long before any timeout, and memory stays small.
TEST_F(UpdateFeed, EndlessHeadersAreRefusedEarly) {
    server.respond = [](const QByteArray&) {
        FeedServer::Answer answer{"HTTP/1.1 200 OK", {}};
        answer.endlessHead = true;
        return answer;
    };
    QElapsedTimer clock;
    clock.start();
    const Outcome outcome = check();
    expectOneFailure(outcome, "endless headers");
    EXPECT_TRUE(outcome.lines.value(0).contains(QStringLiteral("响应头超过")))
        << outcome.lines.value(0).toStdString();
    // Under the total limit (25 s), with room for a sanitizer build's start.
    EXPECT_LT(clock.elapsed(), 20000);
}

TEST_F(UpdateFeed, SlowAndMissingServersTimeOut) {
    // Steady but slow: every byte comes in time, the whole does not.
    server.respond = [this](const QByteArray&) {
        FeedServer::Answer answer = FeedServer::ok(feed());
        answer.trickleMs = 50;
        return answer;
    };
    Outcome outcome = check(origin(), true, QStringLiteral("1000,1500"));
    expectOneFailure(outcome, "trickle");
    EXPECT_TRUE(outcome.lines.value(0).contains(QStringLiteral("请求超时")));

    server.respond = [](const QByteArray&) {
        FeedServer::Answer answer;
        answer.silent = true;
        return answer;
    };
    outcome = check(origin(), true, QStringLiteral("500,5000"));
    expectOneFailure(outcome, "silent");
    EXPECT_TRUE(outcome.lines.value(0).contains(QStringLiteral("请求超时")));
}

TEST_F(UpdateFeed, UnreachableOrUnusableOrigins) {
    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost, 0));
    const quint16 port = closed.serverPort();
    closed.close();
    expectOneFailure(check(QStringLiteral("https://127.0.0.1:%1").arg(port)), "unreachable");
    expectOneFailure(check(QStringLiteral("http://127.0.0.1:%1").arg(server.port())), "http");
    EXPECT_TRUE(server.requests.isEmpty());
}
