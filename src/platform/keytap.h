#pragma once

#include <QtGlobal>

#include <functional>

namespace korvel {

// Return, Space and Escape for a long capture while the window being
// captured has the keyboard: the user keeps scrolling there and still pauses,
// copies or closes without reaching for the capture's panel. The keys are
// taken from that application while the tap runs.
class KeyTap {
public:
    // Key codes as the long capture names them.
    static constexpr int returnKey = 36;
    static constexpr int space = 49;
    static constexpr int escape = 53;

    virtual ~KeyTap() = default;

    // Watches while a window of targetPid, or of this process, is active.
    // False when the keys cannot be taken here.
    virtual bool start(qint64 targetPid) = 0;
    virtual void stop() = 0;
    virtual bool running() const = 0;

    // On the main thread, once per press: held keys repeat nothing, and
    // combinations with Control, Alt or Super never arrive.
    std::function<void(int keyCode)> onKey;
};

} // namespace korvel
