#pragma once

#include "../serialqueue.h"
#include "../windowstream.h"

#include <memory>
#include <mutex>
#include <optional>

namespace korvel::fake {

// A window stream the test drives: `deliver` hands a window image to the
// consumer on its queue, `fail` ends the stream with an error.
class WindowStream final : public korvel::WindowStream {
public:
    std::optional<Error> startError;
    WindowStreamConfiguration configuration;
    int starts = 0;
    int stops = 0;

    void start(const WindowStreamConfiguration& c, SerialQueue& queue, FrameHandler onFrame,
               StopHandler onStop) override {
        ++starts;
        if (startError)
            throw *startError;
        configuration = c;
        std::lock_guard guard(state_->mutex);
        state_->queue = &queue;
        state_->onFrame = std::move(onFrame);
        state_->onStop = std::move(onStop);
        state_->running = true;
    }
    void stop() override {
        ++stops;
        SerialQueue* queue = nullptr;
        {
            std::lock_guard guard(state_->mutex);
            state_->running = false;
            queue = state_->queue;
        }
        // Deliveries already posted see `running` false and do nothing.
        if (queue)
            queue->sync();
    }

    void deliver(const QImage& window, bool complete = true) {
        post([window, complete](State& s) { s.onFrame(WindowFrame{window, complete, QRect()}); });
    }
    void fail(const Error& error) {
        post([error](State& s) { s.onStop(error); });
    }

private:
    struct State {
        std::mutex mutex;
        SerialQueue* queue = nullptr;
        FrameHandler onFrame;
        StopHandler onStop;
        bool running = false;
    };

    template <class F> void post(F f) {
        std::lock_guard guard(state_->mutex);
        if (!state_->running)
            return;
        state_->queue->post([state = state_, f] {
            {
                std::lock_guard guard(state->mutex);
                if (!state->running)
                    return;
            }
            f(*state);
        });
    }

    std::shared_ptr<State> state_ = std::make_shared<State>();
};

} // namespace korvel::fake
