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

#include <sys/stat.h>

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
        !QDir().mkpath(QFileInfo(thumbnailPath(entryPath)).absolutePath()))
        return;
    if (!writeFileAtomically(thumbnailPath(entryPath), png, 0600) && !QFileInfo::exists(entryPath))
        QFile::remove(thumbnailPath(entryPath)); // the entry went while we wrote
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
    const QString name = fileName(microseconds, png);
    const QStringList existing = entries();
    // The same image twice in a row is kept once.
    if (!existing.isEmpty() && QFileInfo(existing.front()).fileName().mid(21) == name.mid(21))
        return;
    std::optional<QString> error = write(png, microseconds);
    if (!error) {
        storeThumbnail(QDir(directory_).filePath(name), image);
        error = prune();
    }
    lastError_ = error;
}

std::optional<QString> ScreenshotHistory::write(const QByteArray& png, qint64 microseconds) {
    QDir dir(directory_);
    if (!dir.exists()) {
        if (!dir.mkpath(QStringLiteral(".")))
            return QStringLiteral("无法创建历史文件夹 %1").arg(directory_);
        // Private whatever the umask.
        ::chmod(QFile::encodeName(dir.absolutePath()).constData(), 0700);
    }
    return writeFileAtomically(dir.filePath(fileName(microseconds, png)), png, 0600);
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
            QFile::remove(thumbnailPath(path));
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
    QFile::remove(thumbnailPath(absolute));
    return std::nullopt;
}

std::optional<QString> ScreenshotHistory::clear() {
    QMutexLocker lock(&mutex_);
    for (const QString& path : entries()) {
        if (!QFile::remove(path))
            return QStringLiteral("无法删除 %1").arg(QFileInfo(path).fileName());
        QFile::remove(thumbnailPath(path));
    }
    // Copies of entries that are gone by other means go too.
    QDir(thumbnailFolder(directory_)).removeRecursively();
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
    if (!pngChunksFit(device))
        return {};
    // Entries are PNG files; no other decoder gets to read them.
    QImageReader reader(device, "png");
    reader.setAutoTransform(true);
    const QSize size = reader.size();
    if (!size.isValid() || size.isEmpty() || maximum <= 0 ||
        qint64(size.width()) * size.height() > maximumThumbnailSourcePixels)
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
