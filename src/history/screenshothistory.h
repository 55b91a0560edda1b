#pragma once

#include <QByteArray>
#include <QImage>
#include <QIODevice>
#include <QMutex>
#include <QSettings>
#include <QStringList>
#include <QThreadPool>

#include <functional>
#include <memory>
#include <optional>

namespace korvel {

// The bounded folder of recent screenshots: one PNG per entry named
// "<20-digit microseconds>-<sha256>.png", newest first by name. Nothing is
// recorded unless "historyEnabled" is on.
class ScreenshotHistory {
public:
    static constexpr qint64 defaultMaximumBytes = 200ll * 1024 * 1024;
    // Larger images get no thumbnail. Scaled decoding keeps memory small, but
    // time grows with the source: no screenshot comes near this, a damaged
    // or foreign file may claim anything.
    static constexpr qint64 maximumThumbnailSourcePixels = 250'000'000;

    // `settings` gives the QSettings the history options are read from at
    // the moment of use.
    ScreenshotHistory(QString directory, std::function<std::unique_ptr<QSettings>()> settings,
                      qint64 maximumBytes = defaultMaximumBytes);
    ~ScreenshotHistory();

    // The application's store, in $XDG_DATA_HOME/Dastra/History.
    static ScreenshotHistory& shared();
    static QString defaultDirectory();

    const QString& directory() const { return directory_; }
    qint64 maximumBytes() const { return maximumBytes_; }

    int limit() const;
    void setLimit(int limit);
    // Whether recordings are kept at all ("historyEnabled").
    bool isEnabled() const;

    // Queues the PNG for recording on a background thread, so a copy never
    // waits on the disk. Never fails towards the caller; see lastError().
    void record(const QByteArray& png);
    // The same, on the calling thread.
    void recordNow(const QByteArray& png, qint64 microsecondsSinceEpoch);
    // Waits until every queued recording is written.
    void waitForIdle();

    // Entry paths, newest first; empty when the folder cannot be read.
    QStringList entries() const;
    // Returns the error text, if any. Only entries can be removed.
    std::optional<QString> remove(const QString& path);
    std::optional<QString> clear();
    // The image of an entry scaled to at most `maximum` pixels on its longer
    // side; null when it cannot be read or decoded. Sizes up to
    // thumbnailCachePixels come from the entry's small copy.
    static QImage thumbnail(const QString& path, int maximum);
    // The longer side of the stored copies: a list row at twice the scale.
    static constexpr int thumbnailCachePixels = 192;
    // The same decode from any random-access device (the fuzzer feeds it
    // bytes). Only a PNG whose chunks all lie within the device is decoded.
    static QImage thumbnail(QIODevice* device, int maximum);

    std::optional<QString> lastError() const;
    // Applies the count and size limits now, e.g. after the limit was lowered.
    std::optional<QString> pruneNow();

    // "00001733000000000000-<digest>.png"
    static QString fileName(qint64 microsecondsSinceEpoch, const QByteArray& png);
    static bool isEntryName(const QString& name);

private:
    std::optional<QString> write(const QByteArray& png, qint64 microseconds);
    std::optional<QString> prune();

    QString directory_;
    std::function<std::unique_ptr<QSettings>()> settings_;
    qint64 maximumBytes_;
    mutable QMutex mutex_; // serialises recordings and guards lastError_
    std::optional<QString> lastError_;
    QThreadPool writer_;
};

} // namespace korvel
