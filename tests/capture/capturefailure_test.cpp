#include "capture/capturefailure.h"
#include "platform/error.h"

#include <gtest/gtest.h>
#include <QPushButton>

using namespace korvel;

// Other failures' text: Delegate.FailedCaptureAlertsAndBringsTheOldEditorBack.
TEST(ScreenCaptureFailure, MissingPermissionOffersTheSettings) {
    auto box = ScreenCaptureFailure::alert(Error(QStringLiteral("Korvel"), 1, QString()), true);
    EXPECT_EQ(box->text(), QStringLiteral("无法截取屏幕"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("请在系统设置 → 隐私与安全性 → 屏幕与系统音频录制中允许Korvel。"
                             "授权后如果仍无法截图，再退出并重新打开Korvel。"));
    ASSERT_EQ(box->buttons().size(), 2);
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("打开系统设置"));
    EXPECT_TRUE(box->buttons()[0]->text() == QStringLiteral("取消") ||
                box->buttons()[1]->text() == QStringLiteral("取消"));
}
