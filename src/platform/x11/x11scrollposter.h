#pragma once

#include "../scrollposter.h"
#include "x11connection.h"

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>

#include <deque>

namespace korvel::x11 {

// Wheel steps through XTest (buttons 4/5 vertical, 6/7 horizontal) and the
// wheel watched through XInput 2 raw button events on the root window. X
// events carry no user data, so our own steps are recognised by their source
// (the XTest pointer) and by being expected: one raw event per step posted
// in the last second. Wheel steps from any other device, and unexpected ones
// from XTest (other tools driving the pointer), are the user's.
class ScrollPoster final : public korvel::ScrollPoster, public QAbstractNativeEventFilter {
public:
    explicit ScrollPoster(Connection& connection);
    ~ScrollPoster() override;

    // Whether the server offers XTest and XInput 2.2.
    bool available() const { return xtest_ && xinputOpcode_ != 0; }

    bool post(QPoint rootPoint, bool horizontal, int amount) override;
    void setWatching(bool watching) override;

    // One event of the connection; true when it was the poster's.
    bool handle(const xcb_generic_event_t* event);
    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void findXTestPointer();

    Connection& connection_;
    bool xtest_ = false;
    uint8_t xinputOpcode_ = 0;
    uint16_t xtestPointer_ = 0;
    bool watching_ = false;
    std::deque<qint64> expected_; // when each of our steps was posted, ms
    QElapsedTimer clock_;
};

} // namespace korvel::x11
