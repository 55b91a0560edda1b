#include "shortcutdialog.h"

#include <QApplication>
#include <QFontDatabase>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace korvel {
namespace {

constexpr int escapeKeyCode = 53;

} // namespace

ShortcutDialog::ShortcutDialog(const CaptureShortcut& current,
                               std::function<std::optional<quint32>(const QKeyEvent&)> keyCodeOf)
    : box_(std::make_unique<QMessageBox>())
    , pending_(current)
    , keyCodeOf_(std::move(keyCodeOf)) {
    box_->setWindowTitle(QStringLiteral("Korvel"));
    box_->setText(QStringLiteral("设置截图快捷键"));
    box_->setInformativeText(QStringLiteral("请按下组合键，需包含 ⌘、⌥ 或 ⌃。"));
    QPushButton* save = box_->addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton* cancel = box_->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box_->addButton(QStringLiteral("恢复默认 ⌃1"), QMessageBox::ResetRole);
    box_->setDefaultButton(save);
    box_->setEscapeButton(cancel);

    label_ = new QLabel(current.label);
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSize(24);
    font.setWeight(QFont::Medium);
    label_->setFont(font);
    label_->setAlignment(Qt::AlignCenter);
    label_->setFixedSize(300, 42);
    label_->setTextInteractionFlags(Qt::NoTextInteraction);
    // The message box has no accessory slot: the label goes in a row of its
    // own below the texts, across all columns.
    if (auto* grid = qobject_cast<QGridLayout*>(box_->layout())) {
        grid->addWidget(label_, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignCenter);
    } else {
        label_->setParent(box_.get());
    }
    qApp->installEventFilter(this);
}

ShortcutDialog::~ShortcutDialog() {
    if (qApp)
        qApp->removeEventFilter(this);
}

bool ShortcutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    if (static_cast<QWidget*>(watched)->window() != box_.get())
        return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    const std::optional<quint32> keyCode = keyCodeOf_ ? keyCodeOf_(key) : std::nullopt;
    if (!keyCode || *keyCode == escapeKeyCode)
        return false;
    const std::optional<CaptureShortcut> shortcut = CaptureShortcut::from(keyCode, key.modifiers());
    if (!shortcut)
        return false;
    pending_ = *shortcut;
    label_->setText(pending_.label);
    return true;
}

std::optional<CaptureShortcut> ShortcutDialog::result(int choice) const {
    switch (choice) {
    case save:
        return pending_;
    case restoreDefault:
        return CaptureShortcut{};
    default:
        return std::nullopt;
    }
}

} // namespace korvel
