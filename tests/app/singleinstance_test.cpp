#include "../testpng.h"
#include "../testwait.h"
#include "app/singleinstance.h"

#include <gtest/gtest.h>
#include <QFile>
#include <QLocalSocket>
#include <QTemporaryDir>
#include <QtEndian>

#include <csignal>
#include <cstring>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvel;

namespace {

QByteArray framed(quint64 size, const QByteArray& payload) {
    QByteArray header(8, 0);
    qToBigEndian<quint64>(size, header.data());
    return header + payload;
}

sockaddr_un addressOf(const QString& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    return address;
}

// Sends what the test decides; this thread's events serve the instance.
struct RawClient : QLocalSocket {
    RawClient(const QString& path, const QByteArray& bytes) {
        connectToServer(path);
        write(bytes);
        flush();
    }
    // The answer byte; "" if closed without one, "-" if none came in time.
    QByteArray answer(int ms) {
        const bool ended =
            waitFor([this] { return bytesAvailable() > 0 || state() == UnconnectedState; }, ms);
        return ended ? read(1) : QByteArray("-");
    }
};

struct Instance : ::testing::Test {
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("korvel.socket"));
    SingleInstance first{path};
    std::vector<InstanceRequest> received;
    void SetUp() override {
        first.onRequest = [this](const InstanceRequest& r, const SingleInstance::Answer& answer) {
            received.push_back(r);
            answer(InstanceAnswer::done);
        };
        ASSERT_EQ(first.claim({}), SingleInstance::Claim::primary);
    }
};

// Runs `work` as the user "nobody" in a child process.
pid_t asNobody(const std::function<int()>& work) {
    const pid_t child = ::fork();
    if (child == 0)
        ::_exit(::setgid(65534) == 0 && ::setuid(65534) == 0 ? work() : 90);
    return child;
}

// The child's exit status, serving this thread's events meanwhile.
int exitStatus(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, WNOHANG) == 0)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

} // namespace

// Hand-over and a crashed instance's socket taken over: e2e.Instance.
TEST_F(Instance, MalformedRequestsAreRefusedOrDropped) {
    // Unknown kinds; a pin without data, a capture with; an edit without image.
    for (const QByteArray& bad :
         {QByteArray(), QByteArray(1, char(9)), QByteArray(1, char(2)), QByteArray("\x01x", 2),
          QByteArray("\x03name", 5), QByteArray("\x03name\0", 6)})
        EXPECT_FALSE(InstanceRequest::decode(bad)) << bad.toHex().constData();
    // The edit's file name comes first; a NUL in it cannot cut the image short.
    const InstanceRequest edit{InstanceRequest::Kind::edit, QByteArray("png\0bytes", 9),
                               QStringLiteral("截图\0x.png")};
    const auto decoded = InstanceRequest::decode(edit.encode());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->name, QStringLiteral("截图x.png"));
    EXPECT_EQ(decoded->png, QByteArray("png\0bytes", 9));
    // A header announcing more than a pin can hold is cut off unread.
    RawClient huge(path, framed(quint64(SingleInstance::maximumRequest) + 1, "\x02"));
    EXPECT_EQ(huge.answer(3000), QByteArray());
    RawClient garbage(path, framed(3, "\x07zz"));
    EXPECT_EQ(garbage.answer(3000), QByteArray("0"));
    EXPECT_TRUE(received.empty());
}

// A few large requests at a time: stalled ones never block small or waiting ones.
TEST_F(Instance, LargeRequestsAreReadAFewAtATime) {
    const quint64 large = 1 << 20;
    std::vector<std::unique_ptr<RawClient>> stalled;
    for (int i = 0; i < SingleInstance::largeRequestsAtOnce; ++i) {
        stalled.push_back(
            std::make_unique<RawClient>(path, framed(large, "\x02" + QByteArray(100, 'p'))));
    }
    RawClient waiting(path, framed(large, "\x02" + QByteArray(large - 1, 'p')));
    EXPECT_EQ(waiting.answer(500), QByteArray("-"));
    RawClient capture(path, framed(1, "\x01"));
    EXPECT_EQ(capture.answer(2000), QByteArray("1"));
    stalled.front()->close();
    EXPECT_EQ(waiting.answer(5000), QByteArray("1"));
    ASSERT_EQ(received.size(), 2u);
    EXPECT_EQ(received.back().png.size(), qsizetype(large - 1));
}

// Only processes of the same user are talked to, at either end.
TEST_F(Instance, PeersOfAnotherUserAreRefused) {
    if (::getuid() != 0)
        GTEST_SKIP() << "needs root to act as another user";
    ::chmod(QFile::encodeName(dir.path()).constData(), 0777);
    const QString theirs = dir.filePath(QStringLiteral("theirs.socket"));
    // Their instance: listens, and would keep whatever it is sent.
    const sockaddr_un address = addressOf(theirs);
    const pid_t listener = asNobody([&] {
        const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
        if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
            ::listen(fd, 4) != 0)
            return 91;
        ::sleep(20);
        return 0;
    });
    waitFor([&] { return QFile::exists(theirs); }, 2000);
    SingleInstance later(theirs);
    EXPECT_EQ(later.claim({InstanceRequest::Kind::pin, filledPng(QSize(8, 8), Qt::magenta), {}}),
              SingleInstance::Claim::foreign);
    ::kill(listener, SIGKILL);
    ::waitpid(listener, nullptr, 0);

    // Ours, reached by them (the socket file opened to all for the test).
    ::chmod(QFile::encodeName(path).constData(), 0777);
    const sockaddr_un ours = addressOf(path);
    const QByteArray capture = framed(1, "\x01");
    EXPECT_EQ(exitStatus(asNobody([&] {
                  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
                  if (::connect(fd, reinterpret_cast<const sockaddr*>(&ours), sizeof ours) != 0)
                      return 2;
                  ::send(fd, capture.constData(), size_t(capture.size()), MSG_NOSIGNAL);
                  char byte = 0;
                  return ::recv(fd, &byte, 1, 0) == 1 ? 1 : 0;
              })),
              0);
    EXPECT_TRUE(received.empty());
}

// The socket's folder must be private; a missing one is made so. Another user's: e2e.Instance.
TEST(SingleInstance, OnlyAPrivateFolderHoldsTheSocket) {
    QTemporaryDir dir;
    const QString fresh = dir.filePath(QStringLiteral("fresh"));
    EXPECT_FALSE(SingleInstance::privateFolder(fresh, true));
    struct stat info {};
    ASSERT_EQ(::stat(QFile::encodeName(fresh).constData(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
    const QString open = dir.filePath(QStringLiteral("open"));
    ASSERT_EQ(::mkdir(QFile::encodeName(open).constData(), 0700), 0);
    ::chmod(QFile::encodeName(open).constData(), 0777);
    EXPECT_TRUE(SingleInstance::privateFolder(open, true));
    const QString link = dir.filePath(QStringLiteral("link"));
    ASSERT_TRUE(QFile::link(fresh, link));
    EXPECT_TRUE(SingleInstance::privateFolder(link, true));
    EXPECT_TRUE(SingleInstance::privateFolder(dir.filePath(QStringLiteral("missing")), false));
}
