#include "../testpng.h"
#include "app/capturepreferences.h"
#include "history/screenshothistory.h"

#include <gtest/gtest.h>
#include <QCheckBox>
#include <QComboBox>
#include <QSettings>
#include <QTemporaryDir>

using namespace korvel;

// Lowering the limit prunes at once; turning history off deletes nothing.
TEST(CapturePreferences, TheWindowStoresEachChangeAtOnceAndStoredValuesAreClamped) {
    QTemporaryDir dir;
    ScreenshotHistory history{dir.filePath(QStringLiteral("History")),
                              [] { return std::make_unique<QSettings>(); }};
    QSettings().setValue(QStringLiteral("historyEnabled"), true);
    history.setLimit(100);
    for (int i = 0; i < 30; ++i)
        history.recordNow(filledPng(QSize(8, 8), QColor(i, 0, 0)),
                          1'700'000'000'000'000 + i * 1000);
    const QString newest = history.entries().front();

    CapturePreferencesWindow window(history);
    window.showWindow();
    EXPECT_EQ(window.windowTitle(), QStringLiteral("Korvel · 截图偏好"));
    EXPECT_TRUE(window.copyClosesBox()->isChecked());
    EXPECT_EQ(window.toolPopup()->count(), 11);
    EXPECT_EQ(window.limitPopup()->currentText(), QStringLiteral("100 张"));
    window.limitPopup()->setCurrentIndex(0);
    window.changed();
    EXPECT_EQ(history.limit(), 10);
    ASSERT_EQ(history.entries().size(), 10);
    EXPECT_EQ(history.entries().front(), newest);

    window.historyBox()->setChecked(false); // sends changed
    EXPECT_EQ(QSettings().value(QStringLiteral("historyEnabled")).toBool(), false);
    EXPECT_EQ(history.entries().size(), 10);
    window.toolPopup()->setCurrentIndex(7);
    window.copyClosesBox()->setChecked(false);
    EXPECT_EQ(CapturePreferences::defaultTool(), 7);
    EXPECT_FALSE(CapturePreferences::copyCloses());
    // Stored values out of range are clamped; strings read as the default.
    QSettings().setValue(QStringLiteral("defaultTool"), 25);
    EXPECT_EQ(CapturePreferences::defaultTool(), 10);
    QSettings().setValue(QStringLiteral("defaultTool"), -3);
    EXPECT_EQ(CapturePreferences::defaultTool(), 0);
    QSettings().setValue(QStringLiteral("copyCloses"), QStringLiteral("nope"));
    EXPECT_TRUE(CapturePreferences::copyCloses());
}
