// "--check-update-feed" of the real binary against a loopback HTTPS server
// whose certificate is made here and trusted only through SSL_CERT_FILE.
#include "appinfo.h"
#include "release/updateserver.h"

#include <gtest/gtest.h>
#include <QEventLoop>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslKey>
#include <QSslServer>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QTimer>

using namespace Qt::StringLiterals;

namespace {

// One answer per connection, chosen by `respond` from the request's head.
struct FeedServer final : QObject {
    struct Answer {
        QByteArray head = {}; // status line and headers, without the blank line
        QByteArray body = {};
        int trickleMs = 0;        // one byte of the body per interval
        bool silent = false;      // never answers
        bool endlessHead = false; // header lines, fast and for ever
    };

    std::function<Answer(const QByteArray& request)> respond;
    QList<QByteArray> requests;

    explicit FeedServer(const QSslConfiguration& tls) {
        listener.setSslConfiguration(tls);
        connect(&listener, &QTcpServer::pendingConnectionAvailable, this, [this] {
            while (QTcpSocket* socket = listener.nextPendingConnection())
                serve(socket);
        });
        listener.listen(QHostAddress::LocalHost, 0);
    }

    static Answer ok(const QByteArray& body, int trickleMs = 0) {
        return {"HTTP/1.1 200 OK\r\nContent-Type: application/json\r\nContent-Length: " +
                    QByteArray::number(body.size()),
                body, trickleMs};
    }

    void serve(QTcpSocket* socket) {
        connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
        connect(socket, &QIODevice::readyRead, this, [this, socket, head = QByteArray()]() mutable {
            head += socket->readAll();
            if (head.contains("\r\n\r\n"))
                answer(socket, respond(requests.emplace_back(std::exchange(head, {}))));
        });
    }

    static void answer(QTcpSocket* socket, const Answer& answer) {
        if (answer.silent)
            return;
        socket->write(answer.head + "\r\n");
        if (!answer.endlessHead)
            socket->write("Connection: close\r\n\r\n");
        if (!answer.endlessHead && answer.trickleMs <= 0) {
            socket->write(answer.body);
            socket->disconnectFromHost();
            return;
        }
        // Header lines as fast as they are taken, or the body byte by byte.
        auto* timer = new QTimer(socket);
        connect(timer, &QTimer::timeout, socket, [socket, timer, answer, sent = 0]() mutable {
            if (answer.endlessHead) {
                if (socket->bytesToWrite() < (1 << 20))
                    socket->write(QByteArray(64, 'X') + ": " + QByteArray(60000, 'y') + "\r\n");
            } else if (sent < answer.body.size()) {
                socket->write(answer.body.mid(sent++, 1));
            } else {
                timer->stop();
                socket->disconnectFromHost();
            }
        });
        timer->start(answer.endlessHead ? 1 : answer.trickleMs);
    }

    QSslServer listener;
};

struct Outcome {
    int status = -1;
    QStringList lines;
};

class UpdateFeed : public ::testing::Test {
protected:
    static inline QTemporaryDir dir;
    static inline QSslConfiguration tls;

    static void SetUpTestSuite() {
        QProcess openssl;
        openssl.setWorkingDirectory(dir.path());
        openssl.start(u"openssl"_s,
                      u"req -x509 -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 "
                      "-nodes -days 2 -subj /CN=127.0.0.1 -addext "
                      "subjectAltName=IP:127.0.0.1 -keyout key.pem -out cert.pem"_s.split(u' '));
        openssl.waitForFinished(30000);
        QFile key(dir.filePath(u"key.pem"_s));
        key.open(QIODevice::ReadOnly);
        tls = QSslConfiguration::defaultConfiguration();
        tls.setLocalCertificateChain(QSslCertificate::fromPath(dir.filePath(u"cert.pem"_s)));
        tls.setPrivateKey(QSslKey(key.readAll(), QSsl::Ec));
        tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    }

    void SetUp() override {
        ASSERT_FALSE(tls.localCertificate().isNull()) << "openssl made no certificate";
    }

    QString origin() const { return u"https://127.0.0.1:%1"_s.arg(server.listener.serverPort()); }

    // A valid feed for this build, padded with blanks to `size` bytes.
    QByteArray feed(qsizetype size = 0) const {
        const korvel::PackageTarget target = korvel::packageTarget(*korvel::buildPackagePlatform());
        const QJsonObject object{
            {u"version"_s, u"0.7.2"_s},
            {u"downloadURL"_s, origin() + u"/app/ds/update/dastra-0.7.2"_s + target.fileSuffix},
            {u"notes"_s, u"修复了若干问题。"_s},
            {u"minimumSystemVersion"_s, u"1.0.0"_s},
            {u"architecture"_s, target.architecture},
        };
        const QByteArray body = QJsonDocument(object).toJson();
        return body + QByteArray(std::max<qsizetype>(0, size - body.size()), ' ');
    }

    // Runs the diagnostic as this process serves, against `feedOrigin` if given.
    Outcome check(const QString& feedOrigin = {}, bool trusted = true,
                  const QString& timeouts = QString()) {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char* name :
             {"http_proxy", "https_proxy", "all_proxy", "HTTP_PROXY", "HTTPS_PROXY", "ALL_PROXY",
              "DISPLAY", "WAYLAND_DISPLAY", "SSL_CERT_FILE", "KORVEL_UPDATE_TIMEOUTS_MS"})
            env.remove(QString::fromLatin1(name));
        env.insert(u"KORVEL_UPDATE_ORIGIN"_s, feedOrigin.isEmpty() ? origin() : feedOrigin);
        if (trusted)
            env.insert(u"SSL_CERT_FILE"_s, dir.filePath(u"cert.pem"_s));
        if (!timeouts.isEmpty())
            env.insert(u"KORVEL_UPDATE_TIMEOUTS_MS"_s, timeouts);
        // OpenSSL's state at exit is not ours, its frames need full unwinding; ':' appends.
        for (const auto& [name, option] :
             {std::pair("LSAN_OPTIONS", ":suppressions=" LSAN_SUPPRESSIONS),
              std::pair("ASAN_OPTIONS", ":fast_unwind_on_malloc=0")})
            env.insert(QString::fromLatin1(name),
                       env.value(QString::fromLatin1(name)) + QString::fromUtf8(option));

        QProcess korvel;
        korvel.setProcessEnvironment(env);
        QEventLoop loop;
        QObject::connect(&korvel, &QProcess::finished, &loop, &QEventLoop::quit);
        QTimer::singleShot(120000, &loop, &QEventLoop::quit); // sanitizer builds are slow
        korvel.start(QStringLiteral(KORVEL_BINARY), {u"--check-update-feed"_s});
        loop.exec();
        Outcome outcome;
        if (korvel.state() != QProcess::NotRunning)
            return outcome; // killed as it goes
        outcome.status = korvel.exitStatus() == QProcess::NormalExit ? korvel.exitCode() : -2;
        outcome.lines =
            QString::fromUtf8(korvel.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        return outcome;
    }

    // One FAIL line, saying `says` when given.
    static void expectOneFailure(const Outcome& outcome, const char* reason,
                                 const QString& says = {}) {
        EXPECT_EQ(outcome.status, 1) << reason;
        ASSERT_EQ(outcome.lines.size(), 1)
            << reason << ": " << outcome.lines.join(u'|').toStdString();
        EXPECT_TRUE(outcome.lines[0].startsWith(u"FAIL: update feed: "_s) &&
                    outcome.lines[0].contains(says))
            << outcome.lines[0].toStdString();
    }

    FeedServer server{tls};
};

} // namespace

// At the largest body accepted, 256000 bytes.
TEST_F(UpdateFeed, ValidFeedGivesTwoPassLines) {
    server.respond = [this](const QByteArray&) { return FeedServer::ok(feed(256000)); };
    const Outcome outcome = check();
    EXPECT_EQ(outcome.status, 0);
    EXPECT_EQ(outcome.lines,
              (QStringList{u"PASS: live update feed 0.7.2, installed %1, status "
                           "available, channel enabled %2"_s.arg(
                               QString::fromUtf8(korvel::AppInfo::version),
                               QVariant(korvel::AppInfo::updateChannelEnabled).toString()),
                           u"PASS: simulated older client 0.7.1 → available"_s}));
    const QByteArray request = server.requests.value(0);
    EXPECT_TRUE(request.startsWith("GET /app/ds/update/latest.json HTTP/1.1\r\n"));
    EXPECT_TRUE(request.contains("\r\nAccept: application/json\r\n"));
    EXPECT_TRUE(request.contains("\r\nAccept-Encoding: identity\r\n"));
    EXPECT_FALSE(request.toLower().contains("\r\ncookie:"));
}

// Endless headers end at their cap (a clock would measure the machine). A foreign
// package: AppRelease; a redirect: HttpResponse; nobody listening: cli.CommandLine.
TEST_F(UpdateFeed, RefusedAnswersGiveOneFailLine) {
    const struct {
        const char* reason;
        FeedServer::Answer answer;
        QString says = {};
        QString timeouts = {};
        bool trusted = true;
    } cases[] = {
        {"256001 bytes", {"HTTP/1.1 200 OK\r\nContent-Type: application/json", feed(256001)}},
        {"untrusted certificate", FeedServer::ok(feed()), {}, {}, false},
        {"trickle", FeedServer::ok(feed(), 50), u"请求超时"_s, u"1000,1500"_s},
        {"silent", {.silent = true}, u"请求超时"_s, u"500,5000"_s},
        // Last: its writer may outlast the answer and slow the cases after it.
        {"endless headers", {.head = "HTTP/1.1 200 OK", .endlessHead = true}, u"响应头超过"_s},
    };
    for (const auto& c : cases) {
        server.respond = [&c](const QByteArray&) { return c.answer; };
        expectOneFailure(check({}, c.trusted, c.timeouts), c.reason, c.says);
    }
    server.requests.clear();
    expectOneFailure(check(u"http://127.0.0.1:%1"_s.arg(server.listener.serverPort())), "http");
    EXPECT_TRUE(server.requests.isEmpty());
}
