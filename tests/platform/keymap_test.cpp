#include "platform/keymap.h"

#include <gtest/gtest.h>

using namespace korvel;

// The way back serves only the self-check, which maps every shortcut it tries there and back.
TEST(KeyMap, ModifierMasksMapToX) {
    EXPECT_EQ(xModifierMask(4096), 4u);    // Control
    EXPECT_EQ(xModifierMask(512), 1u);     // Shift
    EXPECT_EQ(xModifierMask(2048), 8u);    // Option is Alt, Mod1
    EXPECT_EQ(xModifierMask(256), 64u);    // Command is Super, Mod4
    EXPECT_EQ(xModifierMask(4608), 5u);    // Control-Shift
    EXPECT_EQ(xModifierMask(0x10000), 0u); // Caps Lock has no part in a grab
}

// Names and which keys work alone, as shortcuts show them:
// CaptureShortcut.PressesThatMakeAShortcutAreNamedAsLinuxDoes.
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
    // Letters, digits, punctuation, 5 editing keys, arrows, 6 navigation keys, 5 system keys,
    // keypad, F1–F24.
    EXPECT_EQ(keys, 26 + 10 + 12 + 5 + 4 + 6 + 5 + 17 + 24);
    const std::pair<quint32, const char*> named[] = {
        {18, "AE01"}, {0, "AC01"}, {49, "SPCE"},  {0x100, "PRSC"},
        {114, "INS"}, {82, "KP0"}, {105, "FK13"}, {0x107, "FK24"},
    };
    for (const auto& [code, name] : named)
        EXPECT_EQ(xkbKeyName(code), QByteArrayView(name)) << code;
    EXPECT_EQ(keyCodeForKeysym('A'), 0u);
    EXPECT_EQ(usKeyName(27), QStringLiteral("-"));
    EXPECT_TRUE(typesCharacter(18));
    EXPECT_FALSE(typesCharacter(49));
}
