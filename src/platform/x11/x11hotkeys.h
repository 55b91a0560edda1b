#pragma once

#include "../hotkeys.h"
#include "x11connection.h"

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>

struct xkb_context;
struct xkb_keymap;

namespace korvel::x11 {

// A passive key grab on the root window. The grab is repeated with Caps Lock
// and Num Lock held, which X otherwise treats as different combinations.
// Keys are found through the server's XKB keymap, read afresh for each
// question, so a layout switched while Korvel runs is followed.
class HotKeys final : public korvel::HotKeys, public QAbstractNativeEventFilter {
public:
    explicit HotKeys(Connection& connection);
    ~HotKeys() override;

    bool registerHotKey(quint32 keyCode, quint32 modifiers) override;
    void unregisterHotKey() override;
    std::optional<quint32> keyCodeForKey(quint32 nativeScanCode, quint32 nativeVirtualKey) override;
    QString keyName(quint32 keyCode) override;
    void discardQueuedPresses() override;

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    struct Grab {
        xcb_keycode_t keycode = 0;
        uint16_t mask = 0;
    };
    struct KeymapDeleter {
        void operator()(xkb_keymap* keymap) const;
    };
    using Keymap = std::unique_ptr<xkb_keymap, KeymapDeleter>;

    Keymap keymap();
    bool grab(const Grab& g);
    void ungrab(const Grab& g);
    // Takes a key press of the grabbed key; false for auto-repeat and for
    // presses made before discardQueuedPresses.
    bool freshPress(xcb_timestamp_t time);
    void noteServerTime(xcb_timestamp_t time);

    Connection& connection_;
    xkb_context* context_ = nullptr;
    int32_t keyboard_ = -1;
    std::optional<Grab> active_;

    // Auto-repeat: X repeats a held key as further presses (or as release
    // and press pairs with one time stamp).
    bool held_ = false;
    xcb_timestamp_t lastPress_ = 0;
    xcb_timestamp_t lastRelease_ = 0;
    // Server time is milliseconds on the server's clock; the smallest gap
    // seen between our clock and an event's time stamp tells the two apart,
    // as events reach us late, never early.
    QElapsedTimer clock_;
    std::optional<qint64> serverGap_;
    std::optional<xcb_timestamp_t> discardBefore_;
};

} // namespace korvel::x11
