#include "shortcutdialog.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace korvel {
namespace {

constexpr int escapeKeyCode = 53;

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Control:
    case Qt::Key_Shift:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Meta:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
        return true;
    default:
        return false;
    }
}

// Plain keys that work the alert's buttons.
bool isDialogKey(const QKeyEvent& key) {
    if (key.modifiers() & ~(Qt::KeypadModifier | Qt::GroupSwitchModifier))
        return false;
    switch (key.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
    case Qt::Key_Space:
        return true;
    default:
        return false;
    }
}

} // namespace

ShortcutDialog::ShortcutDialog(const CaptureShortcut& current,
                               std::function<std::optional<quint32>(const QKeyEvent&)> keyCodeOf,
                               KeyNames names)
    : box_(std::make_unique<QMessageBox>())
    , pending_(current)
    , keyCodeOf_(std::move(keyCodeOf))
    , names_(std::move(names)) {
    box_->setWindowTitle(QStringLiteral("Korvel"));
    box_->setText(QStringLiteral("设置截图快捷键"));
    box_->setInformativeText(QStringLiteral("请按下组合键，需包含 Super、Alt 或 Ctrl。"));
    QPushButton* save = box_->addButton(QStringLiteral("保存"), QMessageBox::AcceptRole);
    QPushButton* cancel = box_->addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box_->addButton(QStringLiteral("恢复默认 ") + CaptureShortcut{}.label, QMessageBox::ResetRole);
    box_->setDefaultButton(save);
    box_->setEscapeButton(cancel);

    label_ = new QLabel;
    label_->setAlignment(Qt::AlignCenter);
    label_->setFixedSize(300, 42);
    label_->setTextInteractionFlags(Qt::NoTextInteraction);
    show(current.label);
    problem_ = new QLabel;
    problem_->setAlignment(Qt::AlignCenter);
    problem_->setWordWrap(true);
    problem_->setStyleSheet(QStringLiteral("color: #d70015;"));
    // The message box has no accessory slot: the labels go in rows of their
    // own below the texts, across all columns, and the buttons below them.
    if (auto* grid = qobject_cast<QGridLayout*>(box_->layout())) {
        auto* buttons = box_->findChild<QDialogButtonBox*>();
        if (buttons)
            grid->removeWidget(buttons);
        for (QLabel* row : {label_, problem_})
            grid->addWidget(row, grid->rowCount(), 0, 1, grid->columnCount(), Qt::AlignCenter);
        if (buttons)
            grid->addWidget(buttons, grid->rowCount(), 0, 1, grid->columnCount());
    } else {
        label_->setParent(box_.get());
        problem_->setParent(box_.get());
    }
    qApp->installEventFilter(this);
}

ShortcutDialog::~ShortcutDialog() {
    if (qApp)
        qApp->removeEventFilter(this);
}

void ShortcutDialog::show(const QString& label) {
    // 24 points unless a long combination needs less to fit.
    QFont font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setWeight(QFont::Medium);
    for (int size = 24; size >= 12; size -= 2) {
        font.setPointSize(size);
        if (QFontMetrics(font).horizontalAdvance(label) <= label_->width() - 8)
            break;
    }
    label_->setFont(font);
    label_->setText(label);
}

bool ShortcutDialog::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    if (static_cast<QWidget*>(watched)->window() != box_.get())
        return false;
    const auto& key = static_cast<const QKeyEvent&>(*event);
    // Modifiers on their own are half a combination, not a mistake.
    if (isModifierKey(key.key()) || isDialogKey(key))
        return false;
    const std::optional<quint32> keyCode = keyCodeOf_ ? keyCodeOf_(key) : std::nullopt;
    if (keyCode == quint32(escapeKeyCode))
        return false;
    const std::optional<CaptureShortcut> shortcut =
        CaptureShortcut::from(keyCode, key.modifiers(), names_);
    if (!shortcut) {
        const quint32 mask = CaptureShortcut::modifierMask(key.modifiers());
        const QString pressed =
            keyCode ? CaptureShortcut::labelFor(*keyCode, mask, names_) : QString();
        problem_->setText(pressed.isEmpty()
                              ? QStringLiteral("这个键不能用作快捷键。")
                              : pressed +
                                    QStringLiteral(" 不能用作快捷键，需包含 Super、Alt 或 Ctrl。"));
        return false;
    }
    pending_ = *shortcut;
    show(pending_.label);
    problem_->clear();
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
