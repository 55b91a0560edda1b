#include "platform/keymap.h"

#include <gtest/gtest.h>

using namespace korvel;

TEST(KeyMap, StoredKeyCodesMapToKeysymsAndBack) {
    EXPECT_EQ(keysymForKeyCode(18), quint32('1'));
    EXPECT_EQ(keysymForKeyCode(0), quint32('a'));
    EXPECT_EQ(keysymForKeyCode(49), quint32(' '));
    EXPECT_EQ(keysymForKeyCode(36), 0xff0du);  // Return
    EXPECT_EQ(keysymForKeyCode(123), 0xff51u); // Left
    EXPECT_FALSE(keysymForKeyCode(200));
    EXPECT_FALSE(keysymForKeyCode(4294967295u));
    // Every mapped key comes back to its own code; capitals share their key.
    for (quint32 code = 0; code < 128; ++code) {
        if (auto sym = keysymForKeyCode(code)) {
            EXPECT_EQ(keyCodeForKeysym(*sym), code) << code;
        }
    }
    EXPECT_EQ(keyCodeForKeysym('A'), 0u);
    EXPECT_FALSE(keyCodeForKeysym(0x1234));
}

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

TEST(KeyMap, EveryAcceptedKeyHasOneKeysymAndComesBack) {
    int keys = 0;
    for (quint32 code = 0; code < 256; ++code) {
        const auto sym = keysymForKeyCode(code);
        if (!sym)
            continue;
        ++keys;
        EXPECT_EQ(keyCodeForKeysym(*sym), code) << code;
        // Two codes never share a keysym.
        for (quint32 other = code + 1; other < 256; ++other)
            EXPECT_NE(keysymForKeyCode(other), sym) << code << " " << other;
    }
    // 26 letters, 10 digits, 11 punctuation keys, space, Return, Tab,
    // Backspace, Escape, 4 arrows, F1-F12, Home, End, PageUp, PageDown, Delete.
    EXPECT_EQ(keys, 26 + 10 + 11 + 1 + 4 + 4 + 12 + 5);
    EXPECT_EQ(keysymForKeyCode(103), 0xffc8u); // F11
    EXPECT_EQ(keysymForKeyCode(117), 0xffffu); // forward Delete
}
