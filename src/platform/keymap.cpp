#include "keymap.h"

#include "hotkeys.h"

#include <array>

namespace korvel {
namespace {

struct Key {
    quint32 code;
    const char* xkbName;
    quint32 keysym;   // on a US layout, unshifted
    const char* name; // for keys that type no character
};

// F1 … F24 are consecutive keysyms.
constexpr quint32 f(int n) {
    return 0xffbe + quint32(n) - 1;
}

constexpr std::array keys{
    // Letters, digits and punctuation: named by what they type.
    Key{0, "AC01", 'a', nullptr},
    Key{11, "AB05", 'b', nullptr},
    Key{8, "AB03", 'c', nullptr},
    Key{2, "AC03", 'd', nullptr},
    Key{14, "AD03", 'e', nullptr},
    Key{3, "AC04", 'f', nullptr},
    Key{5, "AC05", 'g', nullptr},
    Key{4, "AC06", 'h', nullptr},
    Key{34, "AD08", 'i', nullptr},
    Key{38, "AC07", 'j', nullptr},
    Key{40, "AC08", 'k', nullptr},
    Key{37, "AC09", 'l', nullptr},
    Key{46, "AB07", 'm', nullptr},
    Key{45, "AB06", 'n', nullptr},
    Key{31, "AD09", 'o', nullptr},
    Key{35, "AD10", 'p', nullptr},
    Key{12, "AD01", 'q', nullptr},
    Key{15, "AD04", 'r', nullptr},
    Key{1, "AC02", 's', nullptr},
    Key{17, "AD05", 't', nullptr},
    Key{32, "AD07", 'u', nullptr},
    Key{9, "AB04", 'v', nullptr},
    Key{13, "AD02", 'w', nullptr},
    Key{7, "AB02", 'x', nullptr},
    Key{16, "AD06", 'y', nullptr},
    Key{6, "AB01", 'z', nullptr},
    Key{29, "AE10", '0', nullptr},
    Key{18, "AE01", '1', nullptr},
    Key{19, "AE02", '2', nullptr},
    Key{20, "AE03", '3', nullptr},
    Key{21, "AE04", '4', nullptr},
    Key{23, "AE05", '5', nullptr},
    Key{22, "AE06", '6', nullptr},
    Key{26, "AE07", '7', nullptr},
    Key{28, "AE08", '8', nullptr},
    Key{25, "AE09", '9', nullptr},
    Key{27, "AE11", '-', nullptr},
    Key{24, "AE12", '=', nullptr},
    Key{33, "AD11", '[', nullptr},
    Key{30, "AD12", ']', nullptr},
    Key{42, "BKSL", '\\', nullptr},
    Key{41, "AC10", ';', nullptr},
    Key{39, "AC11", '\'', nullptr},
    Key{43, "AB08", ',', nullptr},
    Key{47, "AB09", '.', nullptr},
    Key{44, "AB10", '/', nullptr},
    Key{50, "TLDE", '`', nullptr},
    Key{10, "LSGT", '<', nullptr},
    // Keys with a name of their own.
    Key{49, "SPCE", ' ', "Space"},
    Key{36, "RTRN", 0xff0d, "Return"},
    Key{48, "TAB", 0xff09, "Tab"},
    Key{51, "BKSP", 0xff08, "Backspace"},
    Key{53, "ESC", 0xff1b, "Esc"},
    Key{123, "LEFT", 0xff51, "Left"},
    Key{126, "UP", 0xff52, "Up"},
    Key{124, "RGHT", 0xff53, "Right"},
    Key{125, "DOWN", 0xff54, "Down"},
    Key{114, "INS", 0xff63, "Insert"},
    Key{117, "DELE", 0xffff, "Delete"},
    Key{115, "HOME", 0xff50, "Home"},
    Key{119, "END", 0xff57, "End"},
    Key{116, "PGUP", 0xff55, "Page Up"},
    Key{121, "PGDN", 0xff56, "Page Down"},
    Key{0x100, "PRSC", 0xff61, "Print"},
    Key{0x101, "SCLK", 0xff14, "Scroll Lock"},
    Key{0x102, "PAUS", 0xff13, "Pause"},
    Key{0x103, "COMP", 0xff67, "Menu"},
    Key{71, "NMLK", 0xff7f, "Num Lock"},
    Key{82, "KP0", 0xffb0, "KP 0"},
    Key{83, "KP1", 0xffb1, "KP 1"},
    Key{84, "KP2", 0xffb2, "KP 2"},
    Key{85, "KP3", 0xffb3, "KP 3"},
    Key{86, "KP4", 0xffb4, "KP 4"},
    Key{87, "KP5", 0xffb5, "KP 5"},
    Key{88, "KP6", 0xffb6, "KP 6"},
    Key{89, "KP7", 0xffb7, "KP 7"},
    Key{91, "KP8", 0xffb8, "KP 8"},
    Key{92, "KP9", 0xffb9, "KP 9"},
    Key{65, "KPDL", 0xffae, "KP ."},
    Key{67, "KPMU", 0xffaa, "KP *"},
    Key{69, "KPAD", 0xffab, "KP +"},
    Key{78, "KPSU", 0xffad, "KP -"},
    Key{75, "KPDV", 0xffaf, "KP /"},
    Key{81, "KPEQ", 0xffbd, "KP ="},
    Key{76, "KPEN", 0xff8d, "KP Enter"},
    Key{122, "FK01", f(1), "F1"},
    Key{120, "FK02", f(2), "F2"},
    Key{99, "FK03", f(3), "F3"},
    Key{118, "FK04", f(4), "F4"},
    Key{96, "FK05", f(5), "F5"},
    Key{97, "FK06", f(6), "F6"},
    Key{98, "FK07", f(7), "F7"},
    Key{100, "FK08", f(8), "F8"},
    Key{101, "FK09", f(9), "F9"},
    Key{109, "FK10", f(10), "F10"},
    Key{103, "FK11", f(11), "F11"},
    Key{111, "FK12", f(12), "F12"},
    Key{105, "FK13", f(13), "F13"},
    Key{107, "FK14", f(14), "F14"},
    Key{113, "FK15", f(15), "F15"},
    Key{106, "FK16", f(16), "F16"},
    Key{64, "FK17", f(17), "F17"},
    Key{79, "FK18", f(18), "F18"},
    Key{80, "FK19", f(19), "F19"},
    Key{90, "FK20", f(20), "F20"},
    Key{0x104, "FK21", f(21), "F21"},
    Key{0x105, "FK22", f(22), "F22"},
    Key{0x106, "FK23", f(23), "F23"},
    Key{0x107, "FK24", f(24), "F24"},
};

const Key* byCode(quint32 code) {
    for (const Key& k : keys) {
        if (k.code == code)
            return &k;
    }
    return nullptr;
}

// X modifier bits: Shift, Control, Mod1 (Alt), Mod4 (Super).
constexpr quint16 xShift = 1;
constexpr quint16 xControl = 4;
constexpr quint16 xMod1 = 8;
constexpr quint16 xMod4 = 64;

} // namespace

std::optional<quint32> keyCodeForKeyName(QByteArrayView xkbName) {
    for (const Key& k : keys) {
        if (xkbName == k.xkbName)
            return k.code;
    }
    return std::nullopt;
}

QByteArrayView xkbKeyName(quint32 keyCode) {
    const Key* k = byCode(keyCode);
    return k ? QByteArrayView(k->xkbName) : QByteArrayView();
}

QString usKeyName(quint32 keyCode) {
    const Key* k = byCode(keyCode);
    if (!k)
        return {};
    if (k->name)
        return QString::fromLatin1(k->name);
    return QString(QChar(char16_t(k->keysym))).toUpper();
}

bool typesCharacter(quint32 keyCode) {
    const Key* k = byCode(keyCode);
    return k && !k->name;
}

bool worksAlone(quint32 keyCode) {
    const Key* k = byCode(keyCode);
    if (!k)
        return false;
    const bool lateFunctionKey = k->keysym >= f(13) && k->keysym <= f(24);
    return lateFunctionKey || k->keysym == 0xff61 || k->keysym == 0xff14 || k->keysym == 0xff13;
}

std::optional<quint32> keysymForKeyCode(quint32 keyCode) {
    const Key* k = byCode(keyCode);
    return k ? std::optional(k->keysym) : std::nullopt;
}

std::optional<quint32> keyCodeForKeysym(quint32 keysym) {
    // Upper-case Latin letters share the key of their lower-case keysym.
    if (keysym >= 'A' && keysym <= 'Z')
        keysym += 'a' - 'A';
    for (const Key& k : keys) {
        if (k.keysym == keysym)
            return k.code;
    }
    return std::nullopt;
}

quint16 xModifierMask(quint32 modifiers) {
    quint16 mask = 0;
    if (modifiers & modifier::control)
        mask |= xControl;
    if (modifiers & modifier::shift)
        mask |= xShift;
    if (modifiers & modifier::option)
        mask |= xMod1;
    if (modifiers & modifier::command)
        mask |= xMod4;
    return mask;
}

quint32 modifiersForXMask(quint16 mask) {
    quint32 modifiers = 0;
    if (mask & xControl)
        modifiers |= modifier::control;
    if (mask & xShift)
        modifiers |= modifier::shift;
    if (mask & xMod1)
        modifiers |= modifier::option;
    if (mask & xMod4)
        modifiers |= modifier::command;
    return modifiers;
}

} // namespace korvel
