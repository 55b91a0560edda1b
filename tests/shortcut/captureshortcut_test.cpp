#include "platform/keymap.h"
#include "shortcut/captureshortcut.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace korvel;

// Stored values are read as the next launch would, from the file.
TEST(CaptureShortcut, StoredShortcutRoundTripsAndBadValuesGiveTheDefault) {
    QTemporaryDir dir;
    const QString file = dir.filePath(QStringLiteral("k.conf"));
    QSettings settings(file, QSettings::IniFormat);
    const auto reload = [&] {
        settings.sync();
        return CaptureShortcut::load(QSettings(file, QSettings::IniFormat));
    };
    const CaptureShortcut stored{0, 4608, QStringLiteral("Ctrl+Shift+A")};
    stored.store(settings);
    EXPECT_EQ(reload(), stored);
    // An older version wrote glyphs; the key code and modifiers still tell.
    settings.setValue(QStringLiteral("captureShortcutLabel"), QStringLiteral("⌃⇧A"));
    EXPECT_EQ(reload(), stored);
    // The layout decides what a key is called.
    EXPECT_EQ(CaptureShortcut::load(settings, [](quint32) { return QStringLiteral("Q"); }).label,
              QStringLiteral("Ctrl+Shift+Q"));
    // A key without a name keeps the stored text.
    settings.setValue(QStringLiteral("captureShortcutKeyCode"), 0x999);
    EXPECT_EQ(reload().label, QStringLiteral("⌃⇧A"));
    settings.setValue(QStringLiteral("captureShortcutModifiers"), 4294967295LL);
    EXPECT_EQ(reload().modifiers, 4294967295u);

    for (const QVariant& code :
         {QVariant(4294967296LL), QVariant(-1), QVariant(QStringLiteral("one"))}) {
        stored.store(settings);
        settings.setValue(QStringLiteral("captureShortcutKeyCode"), code);
        EXPECT_EQ(reload(), CaptureShortcut{}) << code.toString().toStdString();
    }
    for (const char* missing : {"captureShortcutLabel", "captureShortcutModifiers"}) {
        stored.store(settings);
        settings.remove(QString::fromLatin1(missing));
        EXPECT_EQ(reload(), CaptureShortcut{}) << missing;
    }
}

// The keypad is no modifier; Print and F13 … F24 make a shortcut alone.
TEST(CaptureShortcut, PressesThatMakeAShortcutAreNamedAsLinuxDoes) {
    const Qt::KeyboardModifiers ctrl = Qt::ControlModifier, alt = Qt::AltModifier,
                                shift = Qt::ShiftModifier, meta = Qt::MetaModifier;
    const struct {
        quint32 code;
        Qt::KeyboardModifiers modifiers;
        quint32 mask;
        const char* label;
    } cases[] = {{18, ctrl, 4096, "Ctrl+1"},
                 {0, ctrl | shift, 4608, "Ctrl+Shift+A"},
                 {8, alt, 2048, "Alt+C"},
                 {0, meta, 256, "Super+A"},
                 {49, alt | meta, 2304, "Alt+Super+Space"},
                 {18, meta | shift | alt | ctrl, 6912, "Ctrl+Alt+Shift+Super+1"},
                 {18, ctrl | Qt::KeypadModifier, 4096, "Ctrl+1"},
                 {114, ctrl, 4096, "Ctrl+Insert"},
                 {87, ctrl, 4096, "Ctrl+KP 5"},
                 {121, alt, 2048, "Alt+Page Down"},
                 {0x100, Qt::NoModifier, 0, "Print"},
                 {0x107, shift, 512, "Shift+F24"},
                 {105, Qt::NoModifier, 0, "F13"}};
    for (const auto& c : cases) {
        const auto shortcut = CaptureShortcut::from(c.code, c.modifiers);
        ASSERT_TRUE(shortcut) << c.label;
        EXPECT_EQ(*shortcut, (CaptureShortcut{c.code, c.mask, QString::fromUtf8(c.label)}));
    }
    // Shift with a typing key, F1 … F12 or Insert alone, and nameless keys: none.
    const std::pair<std::optional<quint32>, Qt::KeyboardModifiers> none[] = {
        {0, shift}, {0, {}}, {122, {}}, {114, shift}, {std::nullopt, ctrl}, {0x999, ctrl}};
    for (const auto& [code, modifiers] : none)
        EXPECT_FALSE(CaptureShortcut::from(code, modifiers)) << code.value_or(0);
}
