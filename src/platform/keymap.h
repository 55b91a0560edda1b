#pragma once

#include <QByteArrayView>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace korvel {

// Stored shortcuts name a key by its position on the keyboard, with the
// virtual key codes of the original platform (18 = the "1" key of the main
// keyboard, 0 = the key that types "a" on a US layout, 49 = Space). Keys that
// platform lacks (Print, Pause, Scroll Lock, Menu, F21–F24) have codes of
// their own from 0x100 on. On X the position is an XKB key name ("AE01"),
// which every layout keeps for the same physical key.
std::optional<quint32> keyCodeForKeyName(QByteArrayView xkbName);
// Empty for unknown codes.
QByteArrayView xkbKeyName(quint32 keyCode);

// What a key is called in a label on a US layout: "1", "A", "Space",
// "Page Up", "F13", "Print", "KP 5". Empty for unknown codes.
QString usKeyName(quint32 keyCode);
// Keys whose label is the character they type, which depends on the layout.
bool typesCharacter(quint32 keyCode);
// Keys that type nothing and do nothing elsewhere, so they make a shortcut
// alone: Print, Pause, Scroll Lock and F13–F24.
bool worksAlone(quint32 keyCode);

// The key behind a US-layout keysym and back, for sessions without a keymap
// of their own; letters and digits use their lower-case keysym.
std::optional<quint32> keysymForKeyCode(quint32 keyCode);
std::optional<quint32> keyCodeForKeysym(quint32 keysym);

// The modifier mask of a stored shortcut (Command 256, Shift 512, Option
// 2048, Control 4096) as X modifier bits: Command is Super (Mod4), Option is
// Alt (Mod1). Other bits, such as Caps Lock, have no counterpart and drop out.
quint16 xModifierMask(quint32 modifiers);
quint32 modifiersForXMask(quint16 mask);

} // namespace korvel
