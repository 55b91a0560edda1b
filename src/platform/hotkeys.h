#pragma once

#include "keymap.h"

#include <functional>
#include <optional>
#include <QtGlobal>

namespace korvel {

// Modifier bits of a stored shortcut. They keep their historical values so
// that stored settings and labels stay valid; backends map them to their own.
namespace modifier {
inline constexpr quint32 command = 256;
inline constexpr quint32 shift = 512;
inline constexpr quint32 option = 2048;
inline constexpr quint32 control = 4096;
} // namespace modifier

// One global hot key, delivered wherever the focus is.
class HotKeys {
public:
    virtual ~HotKeys() = default;

    // Registers keyCode (virtual key code, 18 = the main keyboard's "1") with
    // the modifier mask above. Returns false, keeping the previous hot key,
    // when the combination is taken or cannot be expressed.
    virtual bool registerHotKey(quint32 keyCode, quint32 modifiers) = 0;
    virtual void unregisterHotKey() = 0;
    // False where the session lets no application take keys (Wayland
    // without a shortcut portal): the desktop runs `korvel --capture`
    // instead, bound by the user.
    virtual bool global() const { return true; }

    // The stored key code of the key behind a key press: the key's position,
    // whatever the layout and the modifiers make it type. `nativeScanCode` is
    // the backend's code of the key, `nativeVirtualKey` the symbol it typed;
    // without a keymap only the symbol of a US layout tells the key.
    virtual std::optional<quint32> keyCodeForKey(quint32 nativeScanCode, quint32 nativeVirtualKey) {
        Q_UNUSED(nativeScanCode);
        return keyCodeForKeysym(nativeVirtualKey);
    }

    // What the key is called on the user's layout ("1", "A", "Print").
    virtual QString keyName(quint32 keyCode) { return usKeyName(keyCode); }

    // Presses that happened before now but are not delivered yet are
    // dropped: those made while a capture froze the screens.
    virtual void discardQueuedPresses() {}

    // Called on the main thread once per press; a key held down and
    // repeating is one press.
    std::function<void()> onPressed;
};

} // namespace korvel
