#include "app/captureshortcut.h"
#include "platform/keymap.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

using namespace korvel;

namespace {
struct Settings : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<QSettings> settings;
    void SetUp() override {
        settings = std::make_unique<QSettings>(dir.filePath(QStringLiteral("k.conf")),
                                               QSettings::IniFormat);
    }
    // Writes to disk and reads back, as the next launch would.
    CaptureShortcut reload() {
        settings->sync();
        QSettings fresh(dir.filePath(QStringLiteral("k.conf")), QSettings::IniFormat);
        return CaptureShortcut::load(fresh);
    }
};
} // namespace

TEST_F(Settings, DefaultIsControlOne) {
    const CaptureShortcut s = reload();
    EXPECT_EQ(s.keyCode, 18u);
    EXPECT_EQ(s.modifiers, 4096u);
    EXPECT_EQ(s.label, QStringLiteral("⌃1"));
}

TEST_F(Settings, StoredShortcutRoundTrips) {
    const CaptureShortcut stored{0, 4608, QStringLiteral("⌃⇧A")};
    stored.store(*settings);
    EXPECT_EQ(reload(), stored);
    settings->setValue(QStringLiteral("captureShortcutModifiers"), 4294967295LL);
    EXPECT_EQ(reload().modifiers, 4294967295u);
}

TEST_F(Settings, OutOfRangeOrMissingValuesGiveTheDefault) {
    CaptureShortcut{0, 4608, QStringLiteral("⌃⇧A")}.store(*settings);
    settings->setValue(QStringLiteral("captureShortcutKeyCode"), 4294967296LL);
    EXPECT_EQ(reload(), CaptureShortcut{});
    settings->setValue(QStringLiteral("captureShortcutKeyCode"), -1);
    EXPECT_EQ(reload(), CaptureShortcut{});
    settings->setValue(QStringLiteral("captureShortcutKeyCode"), QStringLiteral("one"));
    EXPECT_EQ(reload(), CaptureShortcut{});
    settings->setValue(QStringLiteral("captureShortcutKeyCode"), 0);
    settings->remove(QStringLiteral("captureShortcutLabel"));
    EXPECT_EQ(reload(), CaptureShortcut{});
    settings->setValue(QStringLiteral("captureShortcutLabel"), QStringLiteral("⌃⇧A"));
    settings->remove(QStringLiteral("captureShortcutModifiers"));
    EXPECT_EQ(reload(), CaptureShortcut{});
}

TEST(ShortcutLabels, ModifiersInFixedOrderThenTheKey) {
    const auto ctrlShiftA = CaptureShortcut::from(0, Qt::ControlModifier | Qt::ShiftModifier);
    ASSERT_TRUE(ctrlShiftA);
    EXPECT_EQ(*ctrlShiftA, (CaptureShortcut{0, 4608, QStringLiteral("⌃⇧A")}));
    const auto space = CaptureShortcut::from(49, Qt::AltModifier | Qt::MetaModifier);
    ASSERT_TRUE(space);
    EXPECT_EQ(*space, (CaptureShortcut{49, 2304, QStringLiteral("⌥⌘空格")}));
    const auto all = CaptureShortcut::from(18, Qt::MetaModifier | Qt::ShiftModifier |
                                                   Qt::AltModifier | Qt::ControlModifier);
    EXPECT_EQ(all->label, QStringLiteral("⌃⌥⇧⌘1"));
    EXPECT_EQ(all->modifiers, 4096u + 2048 + 512 + 256);
    // Keypad and group switches do not count as modifiers.
    EXPECT_EQ(CaptureShortcut::from(18, Qt::ControlModifier | Qt::KeypadModifier)->modifiers,
              4096u);
}

TEST(ShortcutLabels, ShiftAloneOrNoKeyIsNoShortcut) {
    EXPECT_FALSE(CaptureShortcut::from(0, Qt::ShiftModifier));
    EXPECT_FALSE(CaptureShortcut::from(0, Qt::NoModifier));
    EXPECT_FALSE(CaptureShortcut::from(std::nullopt, Qt::ControlModifier));
    // A code with no key behind it has no name.
    EXPECT_FALSE(CaptureShortcut::from(200, Qt::ControlModifier));
}

TEST(ShortcutLabels, KeyNamesOfEveryAcceptedKey) {
    const std::pair<quint32, const char*> named[] = {
        {49, "空格"}, {36, "Return"}, {48, "Tab"},   {51, "⌫"},         {123, "←"},
        {124, "→"},   {125, "↓"},     {126, "↑"},    {0, "A"},          {6, "Z"},
        {18, "1"},    {29, "0"},      {27, "-"},     {50, "`"},         {122, "F1"},
        {111, "F12"}, {117, "⌦"},     {115, "Home"}, {121, "PageDown"},
    };
    for (const auto& [code, name] : named)
        EXPECT_EQ(CaptureShortcut::keyName(code), QString::fromUtf8(name)) << code;
    // Every key the keymap knows has a name, so the dialog accepts it.
    for (quint32 code = 0; code < 256; ++code) {
        if (keysymForKeyCode(code))
            EXPECT_FALSE(CaptureShortcut::keyName(code).isEmpty()) << code;
        else
            EXPECT_TRUE(CaptureShortcut::keyName(code).isEmpty()) << code;
    }
}
