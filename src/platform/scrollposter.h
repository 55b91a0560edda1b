#pragma once

#include <QPoint>
#include <QString>

#include <functional>

namespace korvel {

// Synthetic scroll-wheel steps into whatever window lies under a point, and
// the wheel events of the user told apart from our own.
class ScrollPoster {
public:
    virtual ~ScrollPoster() = default;

    // |amount| wheel clicks at `rootPoint` (root-window pixels): the pointer
    // moves there first, since wheel events go to the window under it, and
    // back to where the user left it afterwards. A negative amount scrolls
    // down (vertical) or right (horizontal), towards the content below or
    // beyond; a click is the smallest unit the server offers, and how far
    // it scrolls is the application's choice. False when nothing could be
    // posted.
    virtual bool post(QPoint rootPoint, bool horizontal, int amount) = 0;
    // After a failed post: why no step can be posted during this capture,
    // for the user; empty while a later try may still work.
    virtual QString failure() const { return {}; }

    // While watching, `onUserScroll` runs on the main thread for every wheel
    // step that is not one of ours.
    virtual void setWatching(bool watching) = 0;
    std::function<void()> onUserScroll;
    // False where the user's wheel cannot be watched: the frames have to
    // tell it apart then.
    virtual bool watchesUser() const { return true; }
};

} // namespace korvel
