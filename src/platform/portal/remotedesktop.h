#pragma once

#include "../scrollposter.h"

#include <QRect>
#include <QString>

#include <vector>

namespace korvel::portal {

// Wheel steps through the RemoteDesktop portal. Its session starts at the
// first step of a long capture, so the desktop asks for consent only when
// automatic scrolling is wanted, and ends with the capture. The pointer is
// placed through a screen-cast stream of the same session, the portal's
// only frame of reference for absolute positions.
class ScrollPoster final : public korvel::ScrollPoster {
public:
    ~ScrollPoster() override;

    // Whether the desktop offers a remote pointer at all.
    static bool available();

    bool post(QPoint rootPoint, bool horizontal, int amount) override;
    // Watching starts and ends a long capture.
    void setWatching(bool watching) override;
    QString failure() const override { return failure_; }

private:
    struct Stream {
        quint32 node = 0;
        QRect area;
    };
    bool startSession();
    void closeSession();

    QString session_;
    std::vector<Stream> streams_;
    QString failure_;
    bool starting_ = false;
};

} // namespace korvel::portal
