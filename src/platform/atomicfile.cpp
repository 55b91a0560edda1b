#include "atomicfile.h"

#include <QDir>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
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

bool writeAll(int fd, const QByteArray& data) {
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, bytes, size_t(left));
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes += n;
        left -= n;
    }
    return true;
}

// A file other names also lead to keeps its identity: rewritten where it is.
std::optional<QString> writeInPlace(const QByteArray& target, const QByteArray& data) {
    const int fd = ::open(target.constData(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        return systemError(errno);
    if (!writeAll(fd, data) || ::fsync(fd) != 0) {
        const int error = errno;
        ::close(fd);
        return systemError(error);
    }
    if (::close(fd) != 0)
        return systemError(errno);
    return std::nullopt;
}

// ".<name>.XXXXXX", created only if no such file exists; `mode` before the
// umask.
int createTemporary(const QString& folder, const QString& name, mode_t mode, QByteArray& path) {
    static constexpr char letters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    for (int attempt = 0; attempt < 100; ++attempt) {
        QString suffix;
        for (int i = 0; i < 6; ++i)
            suffix += QLatin1Char(letters[QRandomGenerator::global()->bounded(62)]);
        path = QFile::encodeName(QDir(folder).filePath(QStringLiteral(".%1.%2").arg(name, suffix)));
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

} // namespace

std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& data,
                                           std::optional<unsigned> mode) {
    QByteArray target = QFile::encodeName(QFileInfo(path).absoluteFilePath());
    // Saving over a link replaces the file it names, not the link.
    if (char resolved[PATH_MAX]; ::realpath(target.constData(), resolved))
        target = resolved;
    struct stat existing {};
    const bool replaces = ::stat(target.constData(), &existing) == 0 && S_ISREG(existing.st_mode);
    if (replaces && existing.st_nlink > 1 && !mode)
        return writeInPlace(target, data);

    const QFileInfo final(QFile::decodeName(target));
    QByteArray temporary;
    const int fd = createTemporary(final.absolutePath(), final.fileName(),
                                   mode_t(mode.value_or(0666)), temporary);
    if (fd < 0)
        return systemError(errno);
    auto fail = [&](int error) {
        ::close(fd);
        ::unlink(temporary.constData());
        return std::optional<QString>(systemError(error));
    };
    if (!writeAll(fd, data))
        return fail(errno);
    // A mode asked for holds whatever the umask; a replaced file keeps its
    // own; a new one has what the umask left of 0666.
    if (mode && ::fchmod(fd, mode_t(*mode)) != 0)
        return fail(errno);
    if (!mode && replaces && ::fchmod(fd, existing.st_mode & 07777) != 0)
        return fail(errno);
    if (::fsync(fd) != 0)
        return fail(errno);
    if (::close(fd) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return systemError(error);
    }
    if (::rename(temporary.constData(), target.constData()) != 0) {
        const int error = errno;
        ::unlink(temporary.constData());
        return systemError(error);
    }
    // The rename itself is durable only once the folder is flushed.
    const int dir =
        ::open(QFile::encodeName(final.absolutePath()).constData(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return std::nullopt;
}

bool isAtomicWriteLeftover(const QString& fileName) {
    static const QRegularExpression pattern(QStringLiteral("^\\..+\\.[A-Za-z0-9]{6}$"));
    return pattern.match(fileName).hasMatch();
}

} // namespace korvel
