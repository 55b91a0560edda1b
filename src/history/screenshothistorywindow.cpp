#include "screenshothistorywindow.h"

#include "export/screenshotexport.h"
#include "historylistmodel.h"
#include "platform/clipboard.h"
#include "screenshothistory.h"
#include "thumbnailloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QGuiApplication>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QTimer>

#include <algorithm>

namespace korvel {
namespace {

constexpr int margin = 16;
constexpr int buttonWidth = 104;
constexpr int buttonHeight = 32;
constexpr int buttonStep = 112;
constexpr int listWidth = 240;
constexpr int contentTop = 56;    // below the status line
constexpr int contentBottom = 64; // above the buttons

} // namespace

void HistoryPreview::setImage(const QImage& image) {
    image_ = image;
    update();
}

void HistoryPreview::paintEvent(QPaintEvent*) {
    if (image_.isNull())
        return;
    QPainter p(this);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    const QSizeF fitted = QSizeF(image_.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio);
    p.drawImage(
        QRectF(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted),
        image_);
}

ScreenshotHistoryWindow::ScreenshotHistoryWindow(ScreenshotHistory& store, QWidget* parent)
    : QWidget(parent)
    , store_(store)
    , loader_(new ThumbnailLoader(this))
    , previewLoader_(new ThumbnailLoader(this, 1))
    , model_(new HistoryListModel(*loader_, this))
    , table_(new QListView(this))
    , preview_(new HistoryPreview(this))
    , status_(new QLabel(this))
    , watcher_(new QFileSystemWatcher(this))
    , refresh_(new QTimer(this)) {
    setWindowTitle(QStringLiteral("Korvel · 截图历史"));
    setMinimumSize(700, 380);
    resize(800, 500);
    setAutoFillBackground(true);

    table_->setModel(model_);
    table_->setObjectName(QStringLiteral("date"));
    table_->setAccessibleName(QStringLiteral("截图时间"));
    table_->setIconSize(QSize(HistoryListModel::tileSide, HistoryListModel::tileSide));
    table_->setUniformItemSizes(true);
    table_->setSelectionMode(QAbstractItemView::SingleSelection);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    table_->setSpacing(0);
    QFont digits = table_->font();
    digits.setPointSizeF(12);
    digits.setStyleHint(QFont::Monospace);
    table_->setFont(digits);
    connect(table_->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this] { updateSelection(); });

    preview_->setAccessibleName(QStringLiteral("截图预览"));

    const struct {
        const char* title;
        void (ScreenshotHistoryWindow::*action)();
    } buttons[] = {
        {"复制", &ScreenshotHistoryWindow::copyImage},
        {"保存…", &ScreenshotHistoryWindow::saveImage},
        {"继续标注", &ScreenshotHistoryWindow::editImage},
        {"贴图", &ScreenshotHistoryWindow::pinImage},
        {"删除", &ScreenshotHistoryWindow::deleteImage},
        {"清空历史", &ScreenshotHistoryWindow::clearHistory},
    };
    for (const auto& b : buttons) {
        auto* button = new QPushButton(QString::fromUtf8(b.title), this);
        connect(button, &QPushButton::clicked, this, b.action);
        if (b.action == &ScreenshotHistoryWindow::clearHistory)
            clearButton_ = button;
        else
            selectionActions_ << button;
    }

    // Recordings, deletions and pruning change the folder; a short delay
    // folds the temporary file and the rename of one write into one reload.
    refresh_->setSingleShot(true);
    refresh_->setInterval(150);
    connect(refresh_, &QTimer::timeout, this, [this] {
        if (isVisible())
            reload();
    });
    connect(watcher_, &QFileSystemWatcher::directoryChanged, this, [this] { refresh_->start(); });

    layoutContent();
    updateSelection();
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame = geometry();
        frame.moveCenter(screen->availableGeometry().center());
        move(frame.topLeft());
    }
}

ScreenshotHistoryWindow::~ScreenshotHistoryWindow() {
    // The model asks the loader to stop; both are children, the loader first.
    table_->setModel(nullptr);
    delete model_;
    delete loader_;
    delete previewLoader_;
}

void ScreenshotHistoryWindow::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    layoutContent();
}

void ScreenshotHistoryWindow::layoutContent() {
    const int w = width(), h = height();
    status_->setGeometry(margin, margin, w - 2 * margin, 24);
    const int contentHeight = std::max(1, h - contentTop - contentBottom);
    table_->setGeometry(margin, contentTop, listWidth, contentHeight);
    const int previewX = margin + listWidth + margin;
    preview_->setGeometry(previewX, contentTop, std::max(1, w - previewX - margin), contentHeight);
    QList<QPushButton*> all = selectionActions_;
    all << clearButton_;
    for (qsizetype i = 0; i < all.size(); ++i)
        all[i]->setGeometry(margin + buttonStep * int(i), h - margin - buttonHeight, buttonWidth,
                            buttonHeight);
}

// Listing ---------------------------------------------------------------------------

void ScreenshotHistoryWindow::reload() {
    const std::optional<QString> remembered = selectedEntry();
    model_->setEntries(store_.entries());
    if (model_->rowCount() > 0) {
        const int kept = remembered ? model_->indexOf(*remembered) : -1;
        table_->setCurrentIndex(model_->index(std::max(kept, 0)));
    }
    updateSelection();
    updateStatus();
    watchFolder();
}

void ScreenshotHistoryWindow::watchFolder() {
    // Until the first recording creates the folder, its parent tells.
    QString target = store_.directory();
    if (!QFileInfo(target).isDir())
        target = QFileInfo(target).absolutePath();
    const QStringList watched = watcher_->directories();
    if (watched == QStringList{target} || !QFileInfo(target).isDir())
        return;
    if (!watched.isEmpty())
        watcher_->removePaths(watched);
    watcher_->addPath(target);
}

void ScreenshotHistoryWindow::updateStatus() {
    if (const std::optional<QString> error = store_.lastError()) {
        status_->setText(QStringLiteral("历史记录失败：") + *error);
        return;
    }
    status_->setText(QString::number(model_->rowCount()) + QStringLiteral(" 张 · ") +
                     (store_.isEnabled() ? QStringLiteral("正在记录")
                                         : QStringLiteral("未开启记录，可在截图偏好中开启")));
}

std::optional<QString> ScreenshotHistoryWindow::selectedEntry() const {
    const int row = table_->currentIndex().row();
    if (row < 0 || row >= model_->rowCount())
        return std::nullopt;
    return model_->entries()[row];
}

void ScreenshotHistoryWindow::updateSelection() {
    const std::optional<QString> entry = selectedEntry();
    for (QPushButton* b : selectionActions_)
        b->setEnabled(entry.has_value());
    // An entry's name holds its digest: the same name is the same picture.
    if (entry.value_or(QString()) == previewEntry_)
        return;
    previewEntry_ = entry.value_or(QString());
    const quint64 generation = ++previewGeneration_;
    preview_->setImage({});
    if (!entry)
        return;
    previewLoader_->cancelAll();
    previewLoader_->request(*entry, previewPixels, 0, [this, generation](const QImage& i) {
        if (generation == previewGeneration_)
            preview_->setImage(i);
    });
}

void ScreenshotHistoryWindow::showWindow() {
    reload();
    show();
    raise();
    activateWindow();
}

// Actions ---------------------------------------------------------------------------

int ScreenshotHistoryWindow::runDialog(QDialog& dialog) {
    return runModal ? runModal(dialog) : dialog.exec();
}

void ScreenshotHistoryWindow::showError(const QString& text) {
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"), text, {}, this);
    box.addButton(QStringLiteral("好"), QMessageBox::AcceptRole);
    runDialog(box);
}

// The file as it is now; nothing when it cannot be read.
std::optional<QByteArray> ScreenshotHistoryWindow::selectedBytes() const {
    const std::optional<QString> entry = selectedEntry();
    if (!entry)
        return std::nullopt;
    QFile file(*entry);
    if (file.size() > store_.maximumBytes() || !file.open(QIODevice::ReadOnly))
        return std::nullopt;
    QByteArray bytes = file.readAll();
    if (bytes.isEmpty())
        return std::nullopt;
    return bytes;
}

void ScreenshotHistoryWindow::copyImage() {
    if (const std::optional<QByteArray> bytes = selectedBytes())
        Clipboard::copyPng(*bytes);
}

void ScreenshotHistoryWindow::saveImage() {
    const std::optional<QByteArray> bytes = selectedBytes();
    if (!bytes)
        return;
    std::unique_ptr<QFileDialog> panel = ScreenshotExport::savePanel();
    if (runDialog(*panel) != QDialog::Accepted || panel->selectedFiles().isEmpty())
        return;
    if (const std::optional<QString> error =
            ScreenshotExport::writePng(*bytes, panel->selectedFiles().constFirst()))
        showError(*error);
}

void ScreenshotHistoryWindow::editImage() {
    if (const std::optional<QByteArray> bytes = selectedBytes(); bytes && onEdit)
        onEdit(*bytes);
}

void ScreenshotHistoryWindow::pinImage() {
    if (const std::optional<QByteArray> bytes = selectedBytes(); bytes && onPin)
        onPin(*bytes);
}

void ScreenshotHistoryWindow::deleteImage() {
    const std::optional<QString> entry = selectedEntry();
    if (!entry)
        return;
    if (const std::optional<QString> error = store_.remove(*entry))
        showError(*error);
    reload();
}

void ScreenshotHistoryWindow::clearHistory() {
    QMessageBox box(QMessageBox::Question, QStringLiteral("Korvel"),
                    QStringLiteral("清空截图历史？"), {}, this);
    box.setInformativeText(QStringLiteral("删除本机保存的历史记录，已另存的截图不受影响。"));
    QPushButton* clear = box.addButton(QStringLiteral("清空"), QMessageBox::AcceptRole);
    box.addButton(QStringLiteral("取消"), QMessageBox::RejectRole);
    box.setDefaultButton(clear);
    runDialog(box);
    if (box.clickedButton() == clear) {
        if (const std::optional<QString> error = store_.clear())
            showError(*error);
    }
    reload();
}

} // namespace korvel
