#include "pngcheck.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QIODevice>
#include <QtEndian>

#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

namespace korvel {
namespace {

const QByteArray signature = QByteArrayLiteral("\x89PNG\r\n\x1a\n");

struct Header {
    quint32 width = 0;
    quint32 height = 0;
    int depth = 0;
    int colorType = 0;
    bool interlaced = false;
};

bool validDepth(int colorType, int depth) {
    switch (colorType) {
    case 0: // grey
        return depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
    case 3: // palette
        return depth == 1 || depth == 2 || depth == 4 || depth == 8;
    case 2: // RGB
    case 4: // grey and alpha
    case 6: // RGBA
        return depth == 8 || depth == 16;
    default:
        return false;
    }
}

std::optional<Header> parseHeader(const QByteArray& data) {
    if (data.size() != 13)
        return std::nullopt;
    const auto* bytes = reinterpret_cast<const uchar*>(data.constData());
    Header h;
    h.width = qFromBigEndian<quint32>(bytes);
    h.height = qFromBigEndian<quint32>(bytes + 4);
    h.depth = bytes[8];
    h.colorType = bytes[9];
    // Compression, filter method and interlace have one or two legal values.
    if (h.width < 1 || h.height < 1 || h.width > 0x7fffffffU || h.height > 0x7fffffffU ||
        !validDepth(h.colorType, h.depth) || bytes[10] != 0 || bytes[11] != 0 || bytes[12] > 1)
        return std::nullopt;
    h.interlaced = bytes[12] == 1;
    return h;
}

// The bytes the image data inflates to: every row of every pass, each with
// its filter byte.
qint64 inflatedSize(const Header& h) {
    static constexpr int channels[] = {1, 0, 3, 1, 2, 0, 4};
    const qint64 bits = qint64(h.depth) * channels[h.colorType];
    auto rows = [bits](qint64 width, qint64 height) {
        if (width <= 0 || height <= 0)
            return qint64(0);
        return height * (1 + (width * bits + 7) / 8);
    };
    if (!h.interlaced)
        return rows(h.width, h.height);
    // Adam7: start and step of each pass, across and down.
    static constexpr std::array<std::array<int, 4>, 7> passes{{
        {0, 8, 0, 8},
        {4, 8, 0, 8},
        {0, 4, 4, 8},
        {2, 4, 0, 4},
        {0, 2, 2, 4},
        {1, 2, 0, 2},
        {0, 1, 1, 2},
    }};
    qint64 total = 0;
    for (const auto& [x0, dx, y0, dy] : passes)
        total += rows((qint64(h.width) - x0 + dx - 1) / dx, (qint64(h.height) - y0 + dy - 1) / dy);
    return total;
}

// Inflates the image data into a scratch buffer, never producing more than
// one byte past the declared size.
class BoundedInflate {
public:
    explicit BoundedInflate(qint64 expected)
        : expected_(expected) {
        ok_ = inflateInit(&stream_) == Z_OK;
    }
    ~BoundedInflate() { inflateEnd(&stream_); }
    BoundedInflate(const BoundedInflate&) = delete;
    BoundedInflate& operator=(const BoundedInflate&) = delete;

    // False once the data is known to be wrong.
    bool feed(const QByteArray& input) {
        if (!ok_)
            return false;
        if (ended_)
            return true; // data after the end of the stream is never inflated
        stream_.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(input.constData()));
        stream_.avail_in = uInt(input.size());
        while (stream_.avail_in > 0 && !ended_) {
            const qint64 room =
                std::min<qint64>(qint64(scratch_.size()), expected_ - produced_ + 1);
            stream_.next_out = scratch_.data();
            stream_.avail_out = uInt(room);
            const int status = inflate(&stream_, Z_NO_FLUSH);
            produced_ += room - stream_.avail_out;
            if (produced_ > expected_ || (status != Z_OK && status != Z_STREAM_END))
                return ok_ = false;
            ended_ = status == Z_STREAM_END;
        }
        return true;
    }

    // The whole image is there. A stream whose end marker is missing still
    // decodes when every row arrived.
    bool complete() const { return ok_ && produced_ == expected_; }

private:
    z_stream stream_{};
    std::array<Bytef, std::size_t(64) * 1024> scratch_{};
    qint64 expected_;
    qint64 produced_ = 0;
    bool ok_ = false;
    bool ended_ = false;
};

PngVerdict walkChunks(QIODevice* device, qint64 start, qint64 maximumPixels) {
    const qint64 size = device->size();
    if (device->read(8) != signature)
        return PngVerdict::notPng;
    qint64 position = start + 8;
    std::optional<Header> header;
    std::optional<BoundedInflate> data;
    bool dataEnded = false; // image data chunks must follow each other
    // Length, type, data, checksum.
    while (device->seek(position)) {
        const QByteArray head = device->read(8);
        if (head.size() != 8)
            return PngVerdict::damaged;
        const qint64 length = qFromBigEndian<quint32>(head.constData());
        const QByteArray type = head.mid(4);
        if (length > 0x7fffffff || length > size - position - 12)
            return PngVerdict::damaged;
        if (!header) {
            if (type != "IHDR" || !(header = parseHeader(device->read(length))))
                return PngVerdict::damaged;
            if (qint64(header->width) * header->height > maximumPixels)
                return PngVerdict::tooLarge;
        } else if (type == "IDAT") {
            if (dataEnded)
                return PngVerdict::damaged;
            if (!data)
                data.emplace(inflatedSize(*header));
            for (qint64 left = length; left > 0;) {
                const QByteArray piece = device->read(std::min<qint64>(left, 1 << 16));
                if (piece.isEmpty() || !data->feed(piece))
                    return PngVerdict::damaged;
                left -= piece.size();
            }
        } else if (type == "IEND") {
            return data && data->complete() ? PngVerdict::sound : PngVerdict::damaged;
        } else {
            dataEnded = data.has_value();
        }
        position += 12 + length;
    }
    return PngVerdict::damaged;
}

PngFileFault fault(PngFileFault::Kind kind, QSize size = {}, QString text = {}) {
    return {kind, size, std::move(text)};
}

} // namespace

PngVerdict checkPng(QIODevice* device, qint64 maximumPixels) {
    if (!device || !device->isOpen() || device->isSequential())
        return PngVerdict::damaged;
    const qint64 start = device->pos();
    const PngVerdict verdict = walkChunks(device, start, maximumPixels);
    device->seek(start);
    return verdict;
}

QSize pngHeaderSize(QIODevice* device) {
    if (!device || !device->isOpen())
        return {};
    // Signature, then the first chunk: length 13, "IHDR", width, height.
    const QByteArray head = device->peek(24);
    if (head.size() != 24 || !head.startsWith(signature) || head.mid(12, 4) != "IHDR")
        return {};
    const quint32 width = qFromBigEndian<quint32>(head.constData() + 16);
    const quint32 height = qFromBigEndian<quint32>(head.constData() + 20);
    if (width < 1 || height < 1 || width > 0x7fffffff || height > 0x7fffffff)
        return {};
    return {int(width), int(height)};
}

void allowLargestImages() {
    static std::once_flag once;
    std::call_once(once, [] {
        // Sixteen-bit images decode to eight bytes a pixel; a margin for
        // the decoder's own rows.
        QImageReader::setAllocationLimit(int(maximumImagePixels * 8 / (1 << 20)) + 64);
    });
}

QImage decodedPng(const QByteArray& png, qint64 maximumPixels) {
    QBuffer buffer;
    buffer.setData(png);
    buffer.open(QIODevice::ReadOnly);
    if (checkPng(&buffer, maximumPixels) != PngVerdict::sound)
        return {};
    allowLargestImages();
    QImageReader reader(&buffer, "png");
    return reader.read();
}

QImage decodedPng(const PngFile& file) {
    QBuffer buffer;
    buffer.setData(file.bytes);
    buffer.open(QIODevice::ReadOnly);
    allowLargestImages();
    QImageReader reader(&buffer, "png");
    return reader.read();
}

std::variant<PngFile, PngFileFault> checkedPngBytes(QByteArray bytes, qint64 maximumPixels) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    switch (checkPng(&buffer, maximumPixels)) {
    case PngVerdict::sound:
        break;
    case PngVerdict::notPng:
        return fault(PngFileFault::Kind::notPng);
    case PngVerdict::damaged:
        return fault(PngFileFault::Kind::damaged);
    case PngVerdict::tooLarge:
        return fault(PngFileFault::Kind::tooLarge, pngHeaderSize(&buffer));
    }
    const QSize size = pngHeaderSize(&buffer);
    buffer.close();
    return PngFile{std::move(bytes), size};
}

std::variant<PngFile, PngFileFault> readPngFile(const QString& path, qint64 maximumPixels) {
    using Kind = PngFileFault::Kind;
    // Not blocking: opening a FIFO for reading would wait for a writer.
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        if (error == ENOENT || error == ENOTDIR)
            return fault(Kind::missing);
        return fault(Kind::unreadable, {}, QString::fromLocal8Bit(std::strerror(error)));
    }
    QFile file;
    if (!file.open(fd, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(fd);
        return fault(Kind::unreadable, {}, file.errorString());
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0)
        return fault(Kind::unreadable, {}, QString::fromLocal8Bit(std::strerror(errno)));
    if (S_ISDIR(info.st_mode))
        return fault(Kind::directory);
    if (!S_ISREG(info.st_mode))
        return fault(Kind::notRegular);
    if (info.st_size == 0)
        return fault(Kind::empty);
    if (info.st_size > maximumPngFileBytes)
        return fault(Kind::tooLong);
    QByteArray bytes = file.read(maximumPngFileBytes + 1);
    if (bytes.isEmpty())
        return fault(Kind::unreadable, {}, file.errorString());
    if (bytes.size() > maximumPngFileBytes)
        return fault(Kind::tooLong);
    return checkedPngBytes(std::move(bytes), maximumPixels);
}

} // namespace korvel

namespace korvel {

QString describe(const PngFileFault& fault) {
    using Kind = PngFileFault::Kind;
    switch (fault.kind) {
    case Kind::missing:
        return QStringLiteral("no such file");
    case Kind::directory:
        return QStringLiteral("is a directory");
    case Kind::notRegular:
        return QStringLiteral("not a regular file");
    case Kind::unreadable:
        return fault.text;
    case Kind::empty:
        return QStringLiteral("the file is empty");
    case Kind::tooLong:
        return QStringLiteral("the file is too large");
    case Kind::notPng:
        return QStringLiteral("not a PNG image");
    case Kind::damaged:
        break;
    case Kind::tooLarge:
        return QStringLiteral("the image is too large (%1 × %2)")
            .arg(fault.size.width())
            .arg(fault.size.height());
    }
    return QStringLiteral("the image is damaged");
}

} // namespace korvel
