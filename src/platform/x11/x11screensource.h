#pragma once

#include "../screensource.h"
#include "x11connection.h"

#include <xcb/shm.h>

namespace korvel::x11 {

// Monitors from RandR, pixels from the root window: through a MIT-SHM
// segment where the server offers it (one copy instead of a socket transfer),
// else through a plain GetImage.
class ScreenSource final : public korvel::ScreenSource {
public:
    enum class Transfer { automatic, plain };

    explicit ScreenSource(Connection& connection, Transfer transfer = Transfer::automatic);
    ~ScreenSource() override;

    std::vector<Display> displays() override;
    QImage grab(const Display& display) override;

    bool usesSharedMemory() const { return shmAvailable_; }

private:
    QImage grabShared(const QRect& area);
    QImage grabPlain(const QRect& area);
    bool ensureSegment(size_t bytes);
    void releaseSegment();

    Connection& connection_;
    bool shmAvailable_ = false;
    bool randrMonitors_ = false;
    xcb_shm_seg_t segment_ = 0;
    void* segmentData_ = nullptr;
    size_t segmentSize_ = 0;
};

} // namespace korvel::x11
