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
