#pragma once

#include <optional>
#include <QtGlobal>

namespace korvel {

// Stored shortcuts use virtual key codes of the original keyboard layout
// (18 = "1", 0 = "A", 49 = Space). These map them to X keysyms and back.
std::optional<quint32> keysymForKeyCode(quint32 keyCode);
std::optional<quint32> keyCodeForKeysym(quint32 keysym);

} // namespace korvel
