#include "platform/keymap.h"

#include <gtest/gtest.h>

using namespace korvel;

TEST(KeyMap, ModifierMasksMapToXAndBack) {
    EXPECT_EQ(xModifierMask(4096), 4u);    // Control
    EXPECT_EQ(xModifierMask(512), 1u);     // Shift
    EXPECT_EQ(xModifierMask(2048), 8u);    // Option is Alt, Mod1
    EXPECT_EQ(xModifierMask(256), 64u);    // Command is Super, Mod4
    EXPECT_EQ(xModifierMask(4608), 5u);    // Control-Shift
    EXPECT_EQ(xModifierMask(0x10000), 0u); // Caps Lock has no part in a grab
    for (quint32 m = 0; m < 16; ++m) {
        const quint32 mods =
            ((m & 1) ? 256 : 0) | ((m & 2) ? 512 : 0) | ((m & 4) ? 2048 : 0) | ((m & 8) ? 4096 : 0);
        EXPECT_EQ(modifiersForXMask(xModifierMask(mods)), mods) << mods;
    }
    // Lock (2) and Num Lock (Mod2, 16) are ignored coming back.
    EXPECT_EQ(modifiersForXMask(4 | 2 | 16), 4096u);
}

TEST(KeyMap, EveryKeyHasOnePositionOneKeysymAndAName) {
    int keys = 0;
    for (quint32 code = 0; code < 0x200; ++code) {
        const auto sym = keysymForKeyCode(code);
        EXPECT_EQ(bool(sym), !xkbKeyName(code).isEmpty()) << code;
        if (!sym)
            continue;
        ++keys;
        EXPECT_EQ(keyCodeForKeysym(*sym), code) << code; // capitals share their key
        EXPECT_EQ(keyCodeForKeyName(xkbKeyName(code)), code) << code;
        EXPECT_FALSE(usKeyName(code).isEmpty()) << code;
    }
    // 26 letters, 10 digits, 12 punctuation keys; Space, Return, Tab,
    // Backspace, Escape, 4 arrows, Insert, Delete, Home, End, Page Up and
    // Down; Print, Scroll Lock, Pause, Menu, Num Lock; 17 keypad keys; F1–F24.
    EXPECT_EQ(keys, 26 + 10 + 12 + 5 + 4 + 6 + 5 + 17 + 24);
    const std::pair<quint32, const char*> named[] = {
        {18, "AE01"}, {0, "AC01"}, {49, "SPCE"},  {0x100, "PRSC"},
        {114, "INS"}, {82, "KP0"}, {105, "FK13"}, {0x107, "FK24"},
    };
    for (const auto& [code, name] : named)
        EXPECT_EQ(xkbKeyName(code), QByteArrayView(name)) << code;
    EXPECT_EQ(keyCodeForKeysym('A'), 0u);
    EXPECT_EQ(usKeyName(0), QStringLiteral("A"));
    EXPECT_EQ(usKeyName(27), QStringLiteral("-"));
    EXPECT_TRUE(typesCharacter(18));
    EXPECT_FALSE(typesCharacter(49));
    EXPECT_TRUE(worksAlone(0x100));
    EXPECT_TRUE(worksAlone(90));   // F20
    EXPECT_FALSE(worksAlone(111)); // F12
}
