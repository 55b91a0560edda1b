#include "childregionpermissionguide.h"

#include "platform/accessibilitytree.h"

namespace korvel::ChildRegionPermissionGuide {

std::unique_ptr<QMessageBox> alert(const QString& shortcut) {
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QStringLiteral("Korvel"));
    box->setIcon(QMessageBox::Information);
    box->setText(QStringLiteral("增强自动选区识别"));
    // There is no per-application grant on Linux: toolkits expose their trees
    // once desktop accessibility is on, and some only after a restart.
    box->setInformativeText(
        QStringLiteral(
            "Korvel已默认按图像边界识别卡片和面板。开启桌面辅助功能后，还能补充应用的控件层级，"
            "识别更准确。\n\n点击“去开启”，Korvel会打开桌面辅助功能（AT-SPI）。"
            "已经打开的应用可能需要重新启动后才会提供控件层级。随后回到要截图的窗口，再按 ") +
        shortcut + QStringLiteral("。\n\n选择“先截图”也能使用图像自动选区和手动框选。"));
    box->setDefaultButton(box->addButton(QStringLiteral("去开启"), QMessageBox::AcceptRole));
    box->addButton(QStringLiteral("先截图"), QMessageBox::RejectRole);
    return box;
}

std::unique_ptr<QMessageBox> openSettings(AccessibilityTree& tree) {
    if (tree.enable())
        return nullptr;
    auto box = std::make_unique<QMessageBox>();
    box->setWindowTitle(QStringLiteral("Korvel"));
    box->setIcon(QMessageBox::Warning);
    box->setText(QStringLiteral("无法开启桌面辅助功能"));
    box->setInformativeText(
        QStringLiteral("请在桌面环境的辅助功能设置中打开辅助技术，并确认已安装 at-spi2-core。"));
    box->setDefaultButton(box->addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole));
    return box;
}

} // namespace korvel::ChildRegionPermissionGuide
