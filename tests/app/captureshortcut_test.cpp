#include "app/captureshortcut.h"

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
