#include "app/pinimagefile.h"
#include "app/singleinstance.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QLocalSocket>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QtEndian>
#include <QThread>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <future>

using namespace korvel;

namespace {

QByteArray pngBytes(int w, int h) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::magenta);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// The second start runs in another thread here, as it would in another
// process, while the running instance serves it from its event loop.
SingleInstance::Claim claimFromElsewhere(const QString& path, const InstanceRequest& request) {
    auto claim = std::async(std::launch::async, [&] {
        SingleInstance later(path);
        return later.claim(request);
    });
    while (claim.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return claim.get();
}

// The CRC of a PNG chunk, over its type and data.
quint32 crc32(const char* data, int size) {
    quint32 crc = 0xffffffffu;
    for (int i = 0; i < size; ++i) {
        crc ^= quint8(data[i]);
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

void write(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

} // namespace

TEST(SingleInstance, SecondStartHandsItsRequestToTheFirst) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("korvel.socket"));
    SingleInstance first(path);
    std::vector<InstanceRequest> received;
    first.onRequest = [&](const InstanceRequest& r) {
        received.push_back(r);
        return r.kind != InstanceRequest::Kind::pin || r.png.size() > 10;
    };
    ASSERT_EQ(first.claim({}), SingleInstance::Claim::primary);

    EXPECT_EQ(claimFromElsewhere(path, {}), SingleInstance::Claim::handedOver);
    EXPECT_EQ(claimFromElsewhere(path, {InstanceRequest::Kind::capture, {}, {}}),
              SingleInstance::Claim::handedOver);
    const QByteArray png = pngBytes(300, 200);
    EXPECT_EQ(claimFromElsewhere(path, {InstanceRequest::Kind::pin, png, {}}),
              SingleInstance::Claim::handedOver);
    EXPECT_EQ(claimFromElsewhere(path, {InstanceRequest::Kind::pin, QByteArray("tiny"), {}}),
              SingleInstance::Claim::refused);
    ASSERT_EQ(received.size(), 4u);
    EXPECT_EQ(received[0].kind, InstanceRequest::Kind::start);
    EXPECT_EQ(received[1].kind, InstanceRequest::Kind::capture);
    EXPECT_EQ(received[2].png, png);
}

TEST(SingleInstance, ASocketLeftByACrashIsTakenOver) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("korvel.socket"));
    // A bound socket whose process is gone: the file stays, nobody listens.
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, QFile::encodeName(path).constData(),
                 sizeof address.sun_path - 1);
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
    ASSERT_TRUE(QFile::exists(path));
    // And a lock file of a process that no longer exists.
    write(path + QStringLiteral(".lock"),
          "999999999\nkorvel\n" + QSysInfo::machineHostName().toUtf8() + "\n");

    SingleInstance instance(path);
    instance.onRequest = [](const InstanceRequest&) { return true; };
    EXPECT_EQ(instance.claim({}), SingleInstance::Claim::primary);
    EXPECT_EQ(claimFromElsewhere(path, {}), SingleInstance::Claim::handedOver);
}

TEST(SingleInstance, MalformedRequestsAreRefusedOrDropped) {
    EXPECT_FALSE(InstanceRequest::decode(QByteArray()));
    EXPECT_FALSE(InstanceRequest::decode(QByteArray(1, char(9))));
    EXPECT_FALSE(InstanceRequest::decode(QByteArray(1, char(2)))); // pin without data
    EXPECT_FALSE(InstanceRequest::decode(QByteArray("\x01x", 2))); // capture with data
    const auto pin =
        InstanceRequest::decode(InstanceRequest{InstanceRequest::Kind::pin, "abc", {}}.encode());
    ASSERT_TRUE(pin);
    EXPECT_EQ(pin->png, QByteArray("abc"));
    // An edit carries its file's name before the image; a name with a NUL
    // cannot cut the image short.
    const InstanceRequest edit{InstanceRequest::Kind::edit, QByteArray("png\0bytes", 9),
                               QStringLiteral("截图\0x.png")};
    const auto decoded = InstanceRequest::decode(edit.encode());
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->kind, InstanceRequest::Kind::edit);
    EXPECT_EQ(decoded->name, QStringLiteral("截图x.png"));
    EXPECT_EQ(decoded->png, QByteArray("png\0bytes", 9));
    EXPECT_FALSE(InstanceRequest::decode(QByteArray("\x03name", 5)));   // no image
    EXPECT_FALSE(InstanceRequest::decode(QByteArray("\x03name\0", 6))); // an empty one

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("korvel.socket"));
    SingleInstance first(path);
    int requests = 0;
    first.onRequest = [&](const InstanceRequest&) { return ++requests > 0; };
    ASSERT_EQ(first.claim({}), SingleInstance::Claim::primary);
    // A header announcing more than the limit is cut off without reading on.
    auto answer = std::async(std::launch::async, [&] {
        QLocalSocket socket;
        socket.connectToServer(path);
        if (!socket.waitForConnected(1000))
            return QByteArray("no connection");
        QByteArray header(8, 0);
        qToBigEndian<quint64>(quint64(SingleInstance::maximumRequest) + 1, header.data());
        socket.write(header);
        socket.waitForBytesWritten(1000);
        socket.waitForReadyRead(1000);
        return socket.readAll();
    });
    while (answer.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(answer.get(), QByteArray());
    EXPECT_EQ(requests, 0);
}

TEST(PinImageFile, BadFilesAreRefusedBeforeDecoding) {
    QTemporaryDir dir;
    auto error = [](const QString& path) {
        auto result = readPinImage(path);
        return std::holds_alternative<QString>(result) ? std::get<QString>(result) : QString();
    };
    EXPECT_EQ(error(dir.filePath(QStringLiteral("missing.png"))), QStringLiteral("no such file"));
    EXPECT_EQ(error(dir.path()), QStringLiteral("is a directory"));
    const QString empty = dir.filePath(QStringLiteral("empty.png"));
    write(empty, QByteArray());
    EXPECT_EQ(error(empty), QStringLiteral("the file is empty"));
    const QString text = dir.filePath(QStringLiteral("notes.png"));
    write(text, "just some words, not an image\n");
    EXPECT_EQ(error(text), QStringLiteral("not an image"));
    const QByteArray png = pngBytes(64, 48);
    const QString truncated = dir.filePath(QStringLiteral("truncated.png"));
    write(truncated, png.left(png.size() - 30));
    EXPECT_TRUE(error(truncated).startsWith(QStringLiteral("the image is damaged")))
        << error(truncated).toStdString();

    // A chunk claiming 1.8 GB is refused before a decoder can allocate it.
    QByteArray claim = png;
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    const QString claiming = dir.filePath(QStringLiteral("claim.png"));
    write(claiming, claim);
    EXPECT_TRUE(error(claiming).startsWith(QStringLiteral("the image is damaged")));

    // A header claiming 60000 × 60000 is refused from the header alone.
    QByteArray huge = png;
    qToBigEndian<quint32>(60000, huge.data() + 16);
    qToBigEndian<quint32>(60000, huge.data() + 20);
    qToBigEndian<quint32>(crc32(huge.constData() + 12, 17), huge.data() + 29);
    const QString giant = dir.filePath(QStringLiteral("giant.png"));
    write(giant, huge);
    EXPECT_EQ(error(giant), QStringLiteral("the image is too large (60000 × 60000)"));

    const QString good = dir.filePath(QStringLiteral("good.png"));
    write(good, png);
    auto ok = readPinImage(good);
    ASSERT_TRUE(std::holds_alternative<QByteArray>(ok));
    EXPECT_EQ(std::get<QByteArray>(ok), png);
    // Other formats become PNG.
    const QString bmp = dir.filePath(QStringLiteral("picture.bmp"));
    ASSERT_TRUE(QImage::fromData(png).save(bmp, "BMP"));
    auto converted = readPinImage(bmp);
    ASSERT_TRUE(std::holds_alternative<QByteArray>(converted));
    EXPECT_EQ(QImage::fromData(std::get<QByteArray>(converted), "PNG").size(), QSize(64, 48));
}
