#include "atomicfile.h"

#include <QDir>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {
namespace {

// The reason in the user's words; the system's own text is English.
QString systemError(int error) {
    switch (error) {
    case EACCES:
    case EPERM:
        return QStringLiteral("没有写入权限");
    case EROFS:
        return QStringLiteral("磁盘是只读的");
    case ENOSPC:
    case EDQUOT:
        return QStringLiteral("磁盘空间不足");
    case ENOENT:
        return QStringLiteral("文件夹不存在");
    case ENOTDIR:
        return QStringLiteral("路径中有一项不是文件夹");
    case EISDIR:
        return QStringLiteral("已有同名的文件夹");
    case ENAMETOOLONG:
        return QStringLiteral("文件名太长");
    case EIO:
        return QStringLiteral("磁盘读写出错");
    case EMFILE:
    case ENFILE:
        return QStringLiteral("打开的文件太多");
    default:
        return QStringLiteral("系统错误 %1").arg(error);
    }
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
