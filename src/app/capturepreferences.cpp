#include "capturepreferences.h"

#include "history/screenshothistory.h"
#include "settingsvalues.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QSettings>
#include <QVBoxLayout>

#include <algorithm>

namespace korvel {
namespace {

const int limits[] = {10, 20, 50, 100};

QWidget* labelled(const QString& text, QWidget* control) {
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(new QLabel(text));
    layout->addWidget(control);
    layout->addStretch();
    return row;
}

} // namespace

bool CapturePreferences::copyCloses() {
    return readBool(QSettings(), QStringLiteral("copyCloses"), true);
}

int CapturePreferences::defaultTool() {
    bool ok = false;
    const qint64 v = QSettings().value(QStringLiteral("defaultTool")).toLongLong(&ok);
    return ok ? int(std::clamp<qint64>(v, 0, 10)) : 0;
}

CapturePreferencesWindow::CapturePreferencesWindow(ScreenshotHistory& history, QWidget* parent)
    : QWidget(parent, Qt::Window)
    , store_(history) {
    setWindowTitle(QStringLiteral("Korvel · 截图偏好"));
    setFixedSize(440, 260);
    setWindowFlag(Qt::WindowMaximizeButtonHint, false);

    copyCloses_ = new QCheckBox(QStringLiteral("复制后退出截图"));
    history_ = new QCheckBox(QStringLiteral("保留截图历史"));
    tool_ = new QComboBox;
    for (const char* name : {"移动选区", "选择标注", "矩形", "箭头", "手绘", "文字", "圆形",
                             "马赛克", "模糊", "编号", "高亮"})
        tool_->addItem(QString::fromUtf8(name));
    limit_ = new QComboBox;
    for (int limit : limits)
        limit_->addItem(QStringLiteral("%1 张").arg(limit));
    auto* note = new QLabel(QStringLiteral("历史仅存本机，容量上限 200 MB；关闭后停止记录。"));
    note->setWordWrap(true);

    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);
    stack->addWidget(copyCloses_);
    stack->addWidget(labelled(QStringLiteral("截图后默认工具"), tool_));
    stack->addWidget(history_);
    stack->addWidget(labelled(QStringLiteral("历史数量上限"), limit_));
    stack->addWidget(note);
    stack->addStretch();

    connect(copyCloses_, &QCheckBox::toggled, this, &CapturePreferencesWindow::changed);
    connect(history_, &QCheckBox::toggled, this, &CapturePreferencesWindow::changed);
    connect(tool_, &QComboBox::activated, this, &CapturePreferencesWindow::changed);
    connect(limit_, &QComboBox::activated, this, &CapturePreferencesWindow::changed);
}

void CapturePreferencesWindow::refresh() {
    refreshing_ = true;
    copyCloses_->setChecked(CapturePreferences::copyCloses());
    history_->setChecked(readBool(QSettings(), QStringLiteral("historyEnabled"), false));
    tool_->setCurrentIndex(CapturePreferences::defaultTool());
    const int limit = store_.limit();
    const auto* it = std::find(std::begin(limits), std::end(limits), limit);
    limit_->setCurrentIndex(it == std::end(limits) ? 1 : int(it - std::begin(limits)));
    refreshing_ = false;
}

void CapturePreferencesWindow::showWindow() {
    refresh();
    show();
    raise();
    activateWindow();
}

void CapturePreferencesWindow::changed() {
    if (refreshing_)
        return;
    QSettings settings;
    settings.setValue(QStringLiteral("copyCloses"), copyCloses_->isChecked());
    settings.setValue(QStringLiteral("defaultTool"), std::clamp(tool_->currentIndex(), 0, 10));
    settings.setValue(QStringLiteral("historyEnabled"), history_->isChecked());
    settings.sync();
    store_.setLimit(limits[std::clamp(limit_->currentIndex(), 0, 3)]);
    // A lower limit takes effect now, not at the next recording.
    if (auto error = store_.pruneNow()) {
        if (showError)
            showError(*error);
        else
            QMessageBox::warning(this, QStringLiteral("Korvel"), *error);
    }
}

} // namespace korvel
