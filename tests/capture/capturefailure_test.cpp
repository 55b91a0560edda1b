#include "capture/capturefailure.h"
#include "platform/error.h"

#include <gtest/gtest.h>
#include <QPushButton>

using namespace korvel;

namespace {

QStringList buttonTexts(const QMessageBox& box) {
    QStringList texts;
    for (QAbstractButton* b : box.buttons())
        texts << b->text();
    return texts;
}

} // namespace

// The error text and its advice: Delegate.FailedCaptureAlertsAndBringsTheOldEditorBack.
TEST(ScreenCaptureFailure, MissingPermissionOffersTheSettings) {
    const Error error(QStringLiteral("Korvel"), 1, QStringLiteral("x"));
    auto box = ScreenCaptureFailure::alert(error, true);
    EXPECT_EQ(box->text(), QStringLiteral("无法截取屏幕"));
    EXPECT_EQ(box->informativeText(),
              QStringLiteral("请在系统设置 → 隐私与安全性 → 屏幕与系统音频录制中允许Korvel。"
                             "授权后如果仍无法截图，再退出并重新打开Korvel。"));
    const QStringList texts = buttonTexts(*box);
    ASSERT_EQ(texts.size(), 2);
    EXPECT_TRUE(texts.contains(QStringLiteral("打开系统设置")));
    EXPECT_TRUE(texts.contains(QStringLiteral("取消")));
    EXPECT_EQ(box->defaultButton()->text(), QStringLiteral("打开系统设置"));
}
