#include "thumbnailloader.h"

#include "screenshothistory.h"

#include <QThread>

#include <algorithm>

namespace korvel {

ThumbnailLoader::ThumbnailLoader(QObject* parent, int threads)
    : QObject(parent)
    , generation_(std::make_shared<std::atomic<quint64>>(0)) {
    pool_.setMaxThreadCount(threads > 0 ? threads : std::clamp(QThread::idealThreadCount(), 2, 4));
}

ThumbnailLoader::~ThumbnailLoader() {
    cancelAll();
    pool_.waitForDone();
}

void ThumbnailLoader::request(const QString& path, int maximum, int priority,
                              std::function<void(const QImage&)> done) {
    const quint64 stamp = *generation_;
    auto generation = generation_;
    // The destructor waits for running jobs, so `this` outlives every job that
    // posts back; Qt drops the posted call if the loader is gone by then.
    pool_.start(
        [this, path, maximum, stamp, generation, done = std::move(done)]() mutable {
            if (*generation != stamp)
                return;
            QImage image = ScreenshotHistory::thumbnail(path, maximum);
            if (*generation != stamp)
                return;
            QMetaObject::invokeMethod(
                this,
                [this, stamp, image = std::move(image), done = std::move(done)] {
                    if (*generation_ != stamp)
                        return;
                    done(image);
                },
                Qt::QueuedConnection);
        },
        priority);
}

void ThumbnailLoader::cancelAll() {
    ++*generation_;
    pool_.clear();
}

} // namespace korvel
