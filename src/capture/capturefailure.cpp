#include "capturefailure.h"

#include "platform/error.h"

namespace korvel::ScreenCaptureFailure {

std::unique_ptr<QMessageBox> alert(const Error& error, bool permissionMissing,
                                   const QString& setting) {
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QStringLiteral("Korvel"));
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("无法截取屏幕"));
    if (permissionMissing) {
        const QString where = setting.isEmpty()
                                  ? QStringLiteral("系统设置 → 隐私与安全性 → 屏幕与系统音频录制")
                                  : setting;
        box->setInformativeText(
            QStringLiteral("请在%1中允许Korvel。授权后如果仍无法截图，再退出并重新打开Korvel。")
                .arg(where));
        box->setDefaultButton(
            box->addButton(QStringLiteral("打开系统设置"), QMessageBox::AcceptRole));
        box->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    } else {
        box->setInformativeText(
            error.description() +
            QStringLiteral("\n请重新截图；若刚连接或断开显示器，请等待屏幕布局稳定。"));
        box->setDefaultButton(box->addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole));
    }
    return box;
}

} // namespace korvel::ScreenCaptureFailure
