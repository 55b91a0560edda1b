#pragma once

#include "../scrollposter.h"

struct zwlr_virtual_pointer_v1;

namespace korvel::wayland {

class Connection;

// Wheel steps through a virtual pointer of our own (wlroots'
// virtual-pointer protocol). Wayland shows no client another client's
// input, so the user's own wheel cannot be watched here.
class ScrollPoster final : public korvel::ScrollPoster {
public:
    explicit ScrollPoster(Connection& connection);
    ~ScrollPoster() override;

    bool available() const { return pointer_ != nullptr; }
    bool post(QPoint rootPoint, bool horizontal, int amount) override;
    void setWatching(bool) override {}
    bool watchesUser() const override { return false; }

private:
    Connection& connection_;
    zwlr_virtual_pointer_v1* pointer_ = nullptr;
};

} // namespace korvel::wayland
