#include "serialqueue.h"

#include <pthread.h>

namespace korvel {

SerialQueue::SerialQueue(QString label)
    : label_(std::move(label))
    , thread_([this] { run(); }) {}

SerialQueue::~SerialQueue() {
    {
        std::lock_guard guard(mutex_);
        stopping_ = true;
        jobs_.clear();
    }
    wake_.notify_all();
    thread_.join();
}

void SerialQueue::post(std::function<void()> job) {
    postAfter({}, std::move(job));
}

void SerialQueue::postAfter(std::chrono::microseconds delay, std::function<void()> job) {
    {
        std::lock_guard guard(mutex_);
        if (stopping_)
            return;
        jobs_.emplace(std::pair(Clock::now() + delay, sequence_++), std::move(job));
    }
    wake_.notify_all();
}

void SerialQueue::sync() {
    if (isCurrent())
        return;
    std::mutex doneMutex;
    std::condition_variable doneWake;
    bool done = false;
    post([&] {
        std::lock_guard guard(doneMutex);
        done = true;
        doneWake.notify_all();
    });
    std::unique_lock lock(doneMutex);
    // Bounded: a queue being destroyed drops the job, and nothing would wake us.
    while (!done) {
        if (doneWake.wait_for(lock, std::chrono::milliseconds(50)) == std::cv_status::timeout) {
            std::lock_guard guard(mutex_);
            if (stopping_)
                return;
        }
    }
}

void SerialQueue::run() {
    // Thread names are limited to 15 bytes; the end of the label is the telling part.
    pthread_setname_np(pthread_self(), label_.right(15).toUtf8().constData());
    std::unique_lock lock(mutex_);
    while (!stopping_) {
        if (jobs_.empty()) {
            wake_.wait(lock);
            continue;
        }
        const auto due = jobs_.begin()->first.first;
        if (due > Clock::now()) {
            wake_.wait_until(lock, due);
            continue;
        }
        std::function<void()> job = std::move(jobs_.begin()->second);
        jobs_.erase(jobs_.begin());
        lock.unlock();
        job();
        job = nullptr;
        lock.lock();
    }
}

} // namespace korvel
