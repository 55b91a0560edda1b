#include "app/shortcutdialog.h"
#include "appfixtures.h"

#include <QLabel>
#include <QPushButton>

using namespace korvel;

namespace {

// The shortcut and, below it, why the last press made none.
QStringList shownTexts(QMessageBox& box) {
    QStringList texts;
    for (QLabel* l : box.findChildren<QLabel*>()) {
        if (!l->text().isEmpty() && l->text() != box.text() && l->text() != box.informativeText())
            texts << l->text();
    }
    return texts;
}

} // namespace

// Through X, with Escape, layouts and the stored combination: e2e.Shortcut.
TEST_F(Delegate, DialogRecordsACombinationAndSavesIt) {
    launch();
    QString shown;
    inDialog = [&](QMessageBox& box) {
        EXPECT_TRUE(delegate->isConfiguring());
        EXPECT_EQ(buttonTexts(box), (QStringList{QStringLiteral("保存"), QStringLiteral("取消"),
                                                 QStringLiteral("恢复默认 Ctrl+1")}));
        EXPECT_EQ(box.defaultButton()->text(), QStringLiteral("保存"));
        // A key without a code is none: the label stays, the line below says why
        // (Shift with a letter: e2e.Shortcut); a modifier alone is no mistake yet.
        const QString noKey = QStringLiteral("这个键不能用作快捷键。");
        press(box, Qt::Key_Launch0, 0x1008ff2b, Qt::ControlModifier);
        EXPECT_EQ(shownTexts(box), (QStringList{QStringLiteral("Ctrl+1"), noKey}));
        press(box, Qt::Key_Control, 0xffe3, Qt::ControlModifier);
        EXPECT_EQ(shownTexts(box).value(1), noKey);
        // Print works alone.
        EXPECT_TRUE(press(box, Qt::Key_Print, 0xff61, Qt::NoModifier));
        EXPECT_EQ(shownTexts(box), QStringList{QStringLiteral("Print")});
        // Control-Shift-A is taken and consumed.
        press(box, Qt::Key_A, 'a', Qt::ControlModifier | Qt::ShiftModifier);
        shown = shownTexts(box).value(0);
        // A capture request while the dialog runs is dropped.
        delegate->takeScreenshot();
        EXPECT_FALSE(delegate->isCapturing());
        return int(ShortcutDialog::save);
    };
    delegate->configureShortcut();
    EXPECT_EQ(shown, QStringLiteral("Ctrl+Shift+A"));
    EXPECT_FALSE(delegate->isConfiguring());
    EXPECT_EQ(delegate->shortcut(), (CaptureShortcut{0, 4608, QStringLiteral("Ctrl+Shift+A")}));
    EXPECT_EQ(*fake.hotKeys->active, std::pair(0u, 4608u));

    // Saving the active combination again does not register anew.
    const int registrations = fake.hotKeys->registrations;
    inDialog = [](QMessageBox&) { return int(ShortcutDialog::save); };
    delegate->configureShortcut();
    EXPECT_EQ(fake.hotKeys->registrations, registrations);

    // "恢复默认 Ctrl+1" registers and stores the default.
    inDialog = [](QMessageBox&) { return int(ShortcutDialog::restoreDefault); };
    delegate->configureShortcut();
    EXPECT_EQ(delegate->shortcut(), CaptureShortcut{});
    EXPECT_EQ(*fake.hotKeys->active, std::pair(18u, 4096u));
    EXPECT_EQ(QSettings().value(QStringLiteral("captureShortcutLabel")).toString(),
              QStringLiteral("Ctrl+1"));
    EXPECT_EQ(alerts.size(), 3u);
}

// Cancelled, closed by the window manager or taken: the old combination stays.
TEST_F(Delegate, CancelOrATakenCombinationKeepsTheOldOne) {
    launch();
    QString label;
    inDialog = [&](QMessageBox& box) {
        press(box, Qt::Key_A, 'a', Qt::NoModifier);
        // Escape goes to the alert, whatever modifiers are held.
        press(box, Qt::Key_Escape, 0xff1b, Qt::ControlModifier);
        label = shownTexts(box).value(0);
        return int(ShortcutDialog::cancel);
    };
    delegate->configureShortcut();
    EXPECT_EQ(label, QStringLiteral("Ctrl+1"));
    // Option-Command-Space, as a Shift-less press: closed, then saved but taken.
    fake.hotKeys->taken = {{49, 2304}};
    for (const int choice : {-1, int(ShortcutDialog::save)}) {
        inDialog = [&](QMessageBox& box) {
            press(box, Qt::Key_Space, ' ', Qt::AltModifier | Qt::MetaModifier);
            return choice;
        };
        delegate->configureShortcut();
        EXPECT_EQ(delegate->shortcut(), CaptureShortcut{});
    }
    ASSERT_EQ(alerts.size(), 4u);
    EXPECT_EQ(
        alerts[3],
        QStringLiteral("Korvel|无法注册 Alt+Super+Space，请换一个组合键。原快捷键保持不变。"));
    EXPECT_EQ(*fake.hotKeys->active, std::pair(18u, 4096u));
    EXPECT_FALSE(QSettings().contains(QStringLiteral("captureShortcutKeyCode")));
    EXPECT_EQ(delegate->captureMenuItem()->text(), QStringLiteral("截图  Ctrl+1"));
}
