#pragma once

#include "../hotkeys.h"
#include "x11connection.h"

#include <QAbstractNativeEventFilter>

namespace korvel::x11 {

// A passive key grab on the root window. The grab is repeated with Caps Lock
// and Num Lock held, which X otherwise treats as different combinations.
class HotKeys final : public korvel::HotKeys, public QAbstractNativeEventFilter {
public:
    explicit HotKeys(Connection& connection);
    ~HotKeys() override;

    bool registerHotKey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotKey() override;
    std::optional<quint32> keyCodeForKey(quint32 nativeScanCode, quint32 nativeVirtualKey) override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        xcb_keycode_t keycode = 0;
        uint16_t mask = 0;
    };
    bool grab(const Grab& g);
    void ungrab(const Grab& g);

    Connection& connection_;
    std::optional<Grab> active_;
};

} // namespace korvel::x11
