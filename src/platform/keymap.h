#pragma once

#include <optional>
#include <QtGlobal>

namespace korvel {

// Stored shortcuts use virtual key codes of the original keyboard layout
// (18 = "1", 0 = "A", 49 = Space). These map them to X keysyms and back.
std::optional<quint32> keysymForKeyCode(quint32 keyCode);
std::optional<quint32> keyCodeForKeysym(quint32 keysym);

// The modifier mask of a stored shortcut (Command 256, Shift 512, Option
// 2048, Control 4096) as X modifier bits: Command is Super (Mod4), Option is
// Alt (Mod1). Other bits, such as Caps Lock, have no counterpart and drop out.
quint16 xModifierMask(quint32 modifiers);
quint32 modifiersForXMask(quint16 mask);

} // namespace korvel
