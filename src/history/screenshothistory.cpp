#include "screenshothistory.h"

#include "platform/atomicfile.h"
#include "platform/pngcheck.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QMutexLocker>
#include <QRegularExpression>
#include <QStandardPaths>

#include <limits>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korvel {
namespace {

const QString enabledKey = QStringLiteral("historyEnabled");
const QString limitKey = QStringLiteral("historyLimit");

bool acceptedLimit(qint64 v) {
    return v == 10 || v == 20 || v == 50 || v == 100;
}

bool readEnabled(const QSettings& s) {
    const QVariant v = s.value(enabledKey);
    return v.toString() == QLatin1String("true") || (v.typeId() == QMetaType::Bool && v.toBool());
}

// Small copies of the entries, so the history window does not decode whole
// screenshots to fill its list. Named after their entry, whose name holds
// the digest of its bytes, so a copy never goes stale.
QString thumbnailFolder(const QString& directory) {
    return directory + QStringLiteral("/.thumbnails");
}

QString thumbnailPath(const QString& entryPath) {
    const QFileInfo entry(entryPath);
    return thumbnailFolder(entry.absolutePath()) + u'/' + entry.fileName();
}

// A folder opened without following a link in its last step: nothing the
// store writes or deletes may leave the history folder through a link.
class Folder {
public:
    explicit Folder(const QString& path, int parent = AT_FDCWD) {
        fd_ = ::openat(parent, QFile::encodeName(path).constData(),
                       O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    }
    ~Folder() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    explicit operator bool() const { return fd_ >= 0; }
    int fd() const { return fd_; }

    // Unlinks every name that `remove` picks; links themselves, never what
    // they point at.
    void removeWhere(const std::function<bool(const QString&, bool isFolder)>& remove) const {
        const int copy = ::dup(fd_);
        DIR* dir = copy >= 0 ? ::fdopendir(copy) : nullptr;
        if (!dir) {
            if (copy >= 0)
                ::close(copy);
            return;
        }
        while (const dirent* entry = ::readdir(dir)) {
            const QString name = QFile::decodeName(entry->d_name);
            struct stat info {};
            if (name == u'.' || name == QLatin1String("..") ||
                ::fstatat(fd_, entry->d_name, &info, AT_SYMLINK_NOFOLLOW) != 0)
                continue;
            const bool isFolder = S_ISDIR(info.st_mode);
            if (remove(name, isFolder))
                ::unlinkat(fd_, entry->d_name, isFolder ? AT_REMOVEDIR : 0);
        }
        ::closedir(dir);
    }

private:
    int fd_ = -1;
};

// What a write killed half way leaves: the hidden temporary file of an
// entry or of its small copy.
bool isLeftover(const QString& name) {
    return isAtomicWriteLeftover(name) && ScreenshotHistory::isEntryName(name.mid(1, 89));
}

// The small copies' folder, made a real private folder when it is missing
// or is anything else (a link is removed, not followed).
bool prepareThumbnailFolder(const QString& directory) {
    const Folder history(directory);
    if (!history)
        return false;
    const QByteArray name(".thumbnails");
    struct stat info {};
    if (::fstatat(history.fd(), name.constData(), &info, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(info.st_mode))
            return ::fchmodat(history.fd(), name.constData(), 0700, 0) == 0;
        ::unlinkat(history.fd(), name.constData(), 0);
    }
    return ::mkdirat(history.fd(), name.constData(), 0700) == 0;
}

void removeThumbnail(const QString& entryPath) {
    const Folder history(QFileInfo(entryPath).absolutePath());
    const Folder copies(QStringLiteral(".thumbnails"), history.fd());
    if (copies)
        ::unlinkat(copies.fd(), QFile::encodeName(QFileInfo(entryPath).fileName()).constData(), 0);
}

// Leftovers of killed writes, in the folder and among the small copies.
void removeLeftovers(const QString& directory) {
    const Folder history(directory);
    if (!history)
        return;
    const auto leftover = [](const QString& name, bool isFolder) {
        return !isFolder && isLeftover(name);
    };
    history.removeWhere(leftover);
    if (const Folder copies(QStringLiteral(".thumbnails"), history.fd()); copies)
        copies.removeWhere(leftover);
}

// The history folder and "Dastra" above it are private, whatever the umask
// was when they were made.
bool preparePrivateFolders(const QString& directory) {
    if (!QDir().mkpath(directory))
        return false;
    const QString parent = QFileInfo(directory).absolutePath();
    for (const QString& folder : {parent, directory}) {
        struct stat info {};
        const QByteArray name = QFile::encodeName(folder);
        if (::lstat(name.constData(), &info) == 0 && S_ISDIR(info.st_mode) &&
            info.st_uid == ::getuid())
            ::chmod(name.constData(), 0700);
    }
    return true;
}

QImage scaledDown(const QImage& image, int maximum) {
    if (std::max(image.width(), image.height()) <= maximum)
        return image;
    return image.scaled(maximum, maximum, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// Best effort: without the copy the list decodes the entry itself.
void storeThumbnail(const QString& entryPath, const QImage& image) {
    const QImage small = scaledDown(image, ScreenshotHistory::thumbnailCachePixels);
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    if (small.isNull() || !small.save(&buffer, "PNG") ||
        !prepareThumbnailFolder(QFileInfo(entryPath).absolutePath()))
        return;
    if (!writeFileAtomically(thumbnailPath(entryPath), png, 0600) && !QFileInfo::exists(entryPath))
        removeThumbnail(entryPath); // the entry went while we wrote
}

} // namespace

ScreenshotHistory::ScreenshotHistory(QString directory,
                                     std::function<std::unique_ptr<QSettings>()> settings,
                                     qint64 maximumBytes)
    : directory_(std::move(directory))
    , settings_(std::move(settings))
    , maximumBytes_(maximumBytes) {
    // One writer keeps recordings in the order they were made.
    writer_.setMaxThreadCount(1);
    removeLeftovers(directory_);
}

ScreenshotHistory::~ScreenshotHistory() {
    waitForIdle();
}

QString ScreenshotHistory::defaultDirectory() {
    // The parent of the application's data folder, i.e. $XDG_DATA_HOME.
    QDir data(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation));
    return data.filePath(QStringLiteral("Dastra/History"));
}

ScreenshotHistory& ScreenshotHistory::shared() {
    static ScreenshotHistory history(defaultDirectory(),
                                     [] { return std::make_unique<QSettings>(); });
    return history;
}

int ScreenshotHistory::limit() const {
    bool ok = false;
    const qint64 v = settings_()->value(limitKey).toLongLong(&ok);
    return ok && acceptedLimit(v) ? int(v) : 20;
}

bool ScreenshotHistory::isEnabled() const {
    return readEnabled(*settings_());
}

void ScreenshotHistory::setLimit(int limit) {
    settings_()->setValue(limitKey, acceptedLimit(limit) ? limit : 20);
}

QString ScreenshotHistory::fileName(qint64 microseconds, const QByteArray& png) {
    const QByteArray digest = QCryptographicHash::hash(png, QCryptographicHash::Sha256).toHex();
    return QStringLiteral("%1-%2.png")
        .arg(QString::asprintf("%020.0f", double(std::max<qint64>(0, microseconds))),
             QString::fromLatin1(digest));
}

bool ScreenshotHistory::isEntryName(const QString& name) {
    static const QRegularExpression pattern(QStringLiteral("^[0-9]{20}-[0-9a-f]{64}\\.png$"));
    return pattern.match(name).hasMatch();
}

QStringList ScreenshotHistory::entries() const {
    QStringList result;
    // Only regular files named like entries: anything else in the folder,
    // symbolic links included, is neither listed nor ever deleted.
    const QFileInfoList files =
        QDir(directory_).entryInfoList(QDir::Files | QDir::NoSymLinks, QDir::Name | QDir::Reversed);
    for (const QFileInfo& f : files) {
        if (!f.isSymLink() && f.isFile() && isEntryName(f.fileName()))
            result << f.absoluteFilePath();
    }
    return result;
}

void ScreenshotHistory::record(const QByteArray& png) {
    if (!readEnabled(*settings_()))
        return;
    const qint64 now = QDateTime::currentMSecsSinceEpoch() * 1000;
    writer_.start([this, png, now] { recordNow(png, now); });
}

void ScreenshotHistory::waitForIdle() {
    writer_.waitForDone();
}

void ScreenshotHistory::recordNow(const QByteArray& png, qint64 microseconds) {
    QMutexLocker lock(&mutex_);
    if (!readEnabled(*settings_()) || png.size() > maximumBytes_)
        return;
    // Entries are PNG, and only sound ones reach the decoder.
    const QImage image = decodedPng(png);
    if (image.isNull())
        return;
    const QStringList existing = entries();
    if (!existing.isEmpty()) {
        const QString newest = QFileInfo(existing.front()).fileName();
        // The same image twice in a row is kept once.
        if (newest.mid(21) == fileName(microseconds, png).mid(21))
            return;
        // Entries dated ahead (the clock was once ahead) must not make the
        // new one sort as the oldest and be pruned at once.
        bool dated = false;
        const qint64 newestTime = newest.left(20).toLongLong(&dated);
        if (dated && newestTime < std::numeric_limits<qint64>::max())
            microseconds = std::max(microseconds, newestTime + 1);
    }
    const QString name = fileName(microseconds, png);
    std::optional<QString> error = write(png, microseconds);
    if (!error) {
        storeThumbnail(QDir(directory_).filePath(name), image);
        error = prune();
    }
    lastError_ = error;
}

std::optional<QString> ScreenshotHistory::write(const QByteArray& png, qint64 microseconds) {
    if (!preparePrivateFolders(directory_))
        return QStringLiteral("无法创建历史文件夹 %1").arg(directory_);
    return writeFileAtomically(QDir(directory_).filePath(fileName(microseconds, png)), png, 0600);
}

std::optional<QString> ScreenshotHistory::prune() {
    const int keep = limit();
    qint64 total = 0;
    int position = 0;
    for (const QString& path : entries()) {
        const qint64 size = QFileInfo(path).size();
        if (position < keep && total + size <= maximumBytes_) {
            total += size;
        } else if (!QFile::remove(path)) {
            return QStringLiteral("无法删除旧的历史截图 %1").arg(QFileInfo(path).fileName());
        } else {
            removeThumbnail(path);
        }
        ++position;
    }
    return std::nullopt;
}

std::optional<QString> ScreenshotHistory::remove(const QString& path) {
    QMutexLocker lock(&mutex_);
    const QString absolute = QFileInfo(path).absoluteFilePath();
    if (!entries().contains(absolute))
        return std::nullopt;
    if (!QFile::remove(absolute))
        return QStringLiteral("无法删除 %1").arg(QFileInfo(path).fileName());
    removeThumbnail(absolute);
    return std::nullopt;
}

std::optional<QString> ScreenshotHistory::clear() {
    QMutexLocker lock(&mutex_);
    for (const QString& path : entries()) {
        if (!QFile::remove(path))
            return QStringLiteral("无法删除 %1").arg(QFileInfo(path).fileName());
        removeThumbnail(path);
    }
    removeLeftovers(directory_);
    // Copies of entries that are gone by other means go too: the small
    // copies' folder holds nothing else of ours. A link there goes itself,
    // never what it points at.
    if (const Folder history(directory_); history) {
        if (const Folder copies(QStringLiteral(".thumbnails"), history.fd()); copies)
            copies.removeWhere([](const QString& name, bool isFolder) {
                return !isFolder && (ScreenshotHistory::isEntryName(name) || isLeftover(name));
            });
        struct stat info {};
        if (::fstatat(history.fd(), ".thumbnails", &info, AT_SYMLINK_NOFOLLOW) == 0)
            ::unlinkat(history.fd(), ".thumbnails", S_ISDIR(info.st_mode) ? AT_REMOVEDIR : 0);
    }
    lastError_.reset();
    return std::nullopt;
}

QImage ScreenshotHistory::thumbnail(const QString& path, int maximum) {
    if (maximum <= 0)
        return {};
    const bool cached = maximum <= thumbnailCachePixels && isEntryName(QFileInfo(path).fileName());
    if (cached) {
        QFile copy(thumbnailPath(path));
        // A copy is trusted only while its entry is still there.
        if (copy.open(QIODevice::ReadOnly) && QFileInfo::exists(path)) {
            QImage small = thumbnail(&copy, maximum);
            if (!small.isNull())
                return small;
        }
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    if (!cached)
        return thumbnail(&file, maximum);
    // Entries from before the copies existed get theirs on first sight.
    const QImage image = thumbnail(&file, thumbnailCachePixels);
    if (image.isNull())
        return {};
    storeThumbnail(path, image);
    return scaledDown(image, maximum);
}

QImage ScreenshotHistory::thumbnail(QIODevice* device, int maximum) {
    if (maximum <= 0 || checkPng(device, maximumThumbnailSourcePixels) != PngVerdict::sound)
        return {};
    // Entries are PNG files; no other decoder gets to read them.
    QImageReader reader(device, "png");
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty())
        return {};
    if (std::max(size.width(), size.height()) > maximum)
        reader.setScaledSize(size.scaled(maximum, maximum, Qt::KeepAspectRatio));
    return reader.read();
}

std::optional<QString> ScreenshotHistory::pruneNow() {
    QMutexLocker lock(&mutex_);
    return prune();
}

std::optional<QString> ScreenshotHistory::lastError() const {
    QMutexLocker lock(&mutex_);
    return lastError_;
}

} // namespace korvel
