#pragma once

#include <QImage>
#include <QObject>
#include <QThreadPool>

#include <atomic>
#include <functional>
#include <memory>

namespace korvel {

// Decodes scaled images of history entries on worker threads, so that a
// folder of large screenshots never holds up the window. Results come back
// on the loader's thread; those requested before the last cancelAll() are
// dropped, and so are jobs that had not started by then.
class ThumbnailLoader final : public QObject {
    Q_OBJECT

public:
    // `threads` 0: two to four, after the machine.
    explicit ThumbnailLoader(QObject* parent = nullptr, int threads = 0);
    // Waits for the jobs already decoding; queued ones are dropped.
    ~ThumbnailLoader() override;

    // At most `maximum` pixels on the longer side; `done` gets a null image
    // when the file cannot be read or decoded. Higher priorities start first.
    void request(const QString& path, int maximum, int priority,
                 std::function<void(const QImage&)> done);
    void cancelAll();

private:
    QThreadPool pool_;
    std::shared_ptr<std::atomic<quint64>> generation_;
};

} // namespace korvel
