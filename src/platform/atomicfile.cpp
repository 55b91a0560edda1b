#include "atomicfile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {
namespace {

QString systemError(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& data,
                                           unsigned mode) {
    const QFileInfo target(path);
    const QByteArray temporary = QFile::encodeName(
        QDir(target.absolutePath()).filePath(QStringLiteral(".%1.XXXXXX").arg(target.fileName())));
    QByteArray pattern = temporary;
    const int fd = mkstemp(pattern.data());
    if (fd < 0)
        return systemError(errno);
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(pattern.constData());
        return std::optional<QString>(systemError(error));
    };
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return fail(errno);
        }
        bytes += n;
        left -= n;
    }
    if (::fchmod(fd, mode_t(mode)) != 0 || ::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(pattern.constData());
        return systemError(error);
    }
    if (::rename(pattern.constData(), QFile::encodeName(target.absoluteFilePath()).constData()) !=
        0) {
        const int error = errno;
        ::unlink(pattern.constData());
        return systemError(error);
    }
    // The rename itself is durable only once the folder is flushed.
    const int dir =
        ::open(QFile::encodeName(target.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

} // namespace korvel
