// The capture shortcut in the delegate: registering it at launch, the hint
// where no application may take keys, and changing it.
#include "appdelegate.h"

#include "settingsvalues.h"
#include "shortcutdialog.h"

#include <QAction>
#include <QKeyEvent>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

namespace korvel {

QString AppDelegate::captureTitle(const CaptureShortcut& shortcut) {
    return QStringLiteral("截图  ") + shortcut.label;
}

void AppDelegate::registerInitialHotKey() {
    HotKeys* keys = platform_.hotKeys.get();
    if (!keys)
        return;
    // Deferred: the press arrives inside the native event dispatch.
    keys->onPressed = [this] { QTimer::singleShot(0, this, &AppDelegate::takeScreenshot); };
    if (!keys->global()) {
        showShortcutBindingHint();
        return;
    }
    hotKey_ = keys->registerHotKey(shortcut_.keyCode, shortcut_.modifiers);
    if (hotKey_)
        return;
    QTimer::singleShot(0, this, [this] {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"), QStringLiteral("Korvel"));
        box.setInformativeText(QStringLiteral("快捷键 ") + shortcut_.label +
                               QStringLiteral(" 注册失败，可能已被其他应用或系统占用。"
                                              "可从菜单栏设置其他快捷键，或点击截图。"));
        box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
        presentAlert(box);
    });
}

void AppDelegate::showShortcutBindingHint() {
    // Once per user: the binding, once made, stays in the desktop's settings.
    const QString shownKey = QStringLiteral("shortcutBindingHintShown");
    if (readBool(QSettings(), shownKey, false))
        return;
    QSettings().setValue(shownKey, true);
    QTimer::singleShot(0, this, [this] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Korvel"),
                        QStringLiteral("请在桌面设置中为截图绑定快捷键"));
        box.setInformativeText(
            QStringLiteral("Wayland 下应用程序不能自行注册全局快捷键。请在桌面或窗口管理器的"
                           "快捷键设置中，把 ") +
            shortcut_.label +
            QStringLiteral(" 绑定到命令 korvel --capture。\n例如 sway：在配置文件中加入 "
                           "bindsym Ctrl+1 exec korvel --capture"));
        box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
        alert(box);
    });
}

KeyNames AppDelegate::keyNames() const {
    HotKeys* keys = platform_.hotKeys.get();
    return [keys](quint32 keyCode) { return keys ? keys->keyName(keyCode) : usKeyName(keyCode); };
}

bool AppDelegate::registerShortcut(quint32 keyCode, quint32 modifiers) {
    if (hotKey_ && keyCode == shortcut_.keyCode && modifiers == shortcut_.modifiers)
        return true;
    HotKeys* keys = platform_.hotKeys.get();
    if (!keys || !keys->registerHotKey(keyCode, modifiers))
        return false;
    hotKey_ = true;
    return true;
}

void AppDelegate::configureShortcut() {
    if (configuring_ || capturing_)
        return;
    configuring_ = true;
    unhideApplication();
    HotKeys* keys = platform_.hotKeys.get();
    const auto keyCodeOf = [keys](const QKeyEvent& event) -> std::optional<quint32> {
        // Platforms without native key symbols still give Latin keys as Qt
        // keys, whose values are the symbols' upper-case forms.
        const quint32 keysym = event.nativeVirtualKey() ? event.nativeVirtualKey()
                               : event.key() < 0x7f     ? quint32(event.key())
                                                        : 0;
        if (keys)
            return keys->keyCodeForKey(event.nativeScanCode(), keysym);
        return keyCodeForKeysym(keysym);
    };
    ShortcutDialog dialog(shortcut_, keyCodeOf, keyNames());
    const std::optional<CaptureShortcut> chosen = dialog.result(alert(dialog.box()));
    if (chosen) {
        if (registerShortcut(chosen->keyCode, chosen->modifiers)) {
            shortcut_ = *chosen;
            QSettings settings;
            shortcut_.store(settings);
            captureMenuItem_->setText(captureTitle(shortcut_));
        } else {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"),
                            QStringLiteral("Korvel"));
            box.setInformativeText(QStringLiteral("无法注册 ") + chosen->label +
                                   QStringLiteral("，请换一个组合键。原快捷键保持不变。"));
            box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
            alert(box);
        }
    }
    configuring_ = false;
}

} // namespace korvel
