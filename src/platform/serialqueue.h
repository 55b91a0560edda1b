#pragma once

#include <QString>

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

namespace korvel {

// A named worker thread that runs jobs one at a time in the order posted;
// delayed jobs run once their time has come. Jobs still waiting when the
// queue is destroyed are dropped; the running one is finished first.
class SerialQueue {
public:
    using Clock = std::chrono::steady_clock;

    explicit SerialQueue(QString label);
    ~SerialQueue();

    SerialQueue(const SerialQueue&) = delete;
    SerialQueue& operator=(const SerialQueue&) = delete;

    void post(std::function<void()> job);
    void postAfter(std::chrono::microseconds delay, std::function<void()> job);
    // Returns once every job posted before it has run. From a job of this
    // queue it returns at once (waiting would deadlock).
    void sync();

    bool isCurrent() const { return std::this_thread::get_id() == thread_.get_id(); }
    const QString& label() const { return label_; }

private:
    void run();

    const QString label_;
    std::mutex mutex_;
    std::condition_variable wake_;
    // Keyed by due time, then by posting order, so equal times keep order.
    std::map<std::pair<Clock::time_point, quint64>, std::function<void()>> jobs_;
    quint64 sequence_ = 0;
    bool stopping_ = false;
    std::thread thread_; // started last, once the members above exist
};

} // namespace korvel
