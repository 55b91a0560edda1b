#pragma once

#include <QImage>
#include <QWidget>

#include <functional>
#include <optional>

class QDialog;
class QFileSystemWatcher;
class QLabel;
class QListView;
class QPushButton;
class QTimer;

namespace korvel {

class HistoryListModel;
class ScreenshotHistory;
class ThumbnailLoader;

// The large picture of the selected entry, scaled to fit either way.
class HistoryPreview final : public QWidget {
public:
    using QWidget::QWidget;
    void setImage(const QImage& image);
    const QImage& image() const { return image_; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage image_;
};

// "Korvel · 截图历史": the store's entries newest first with thumbnails and
// times, a preview of the selected one, and copy, save, continue annotating,
// pin, delete and clear. Thumbnails and the preview are decoded in the
// background; the list follows the folder while the window is shown.
class ScreenshotHistoryWindow final : public QWidget {
    Q_OBJECT

public:
    static constexpr int previewPixels = 700;

    explicit ScreenshotHistoryWindow(ScreenshotHistory& store, QWidget* parent = nullptr);
    ~ScreenshotHistoryWindow() override;

    // Continue annotating, and pinning: the entry's PNG bytes.
    std::function<void(const QByteArray& png)> onEdit;
    std::function<void(const QByteArray& png)> onPin;
    // Runs the save panel and alerts modally and returns the result code;
    // tests replace it.
    std::function<int(QDialog&)> runModal;

    void reload();
    void showWindow();

    void copyImage();
    void saveImage();
    void editImage();
    void pinImage();
    void deleteImage();
    void clearHistory();

    QListView* table() const { return table_; }
    HistoryListModel* model() const { return model_; }
    HistoryPreview* preview() const { return preview_; }
    QLabel* status() const { return status_; }
    const QList<QPushButton*>& selectionActions() const { return selectionActions_; }
    QPushButton* clearButton() const { return clearButton_; }
    std::optional<QString> selectedEntry() const;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutContent();
    void updateSelection();
    void updateStatus();
    void watchFolder();
    std::optional<QByteArray> selectedBytes() const;
    int runDialog(QDialog& dialog);
    void showError(const QString& text);

    ScreenshotHistory& store_;
    ThumbnailLoader* loader_;
    // Previews decode whole screenshots; on their own thread they never hold
    // up the list's thumbnails.
    ThumbnailLoader* previewLoader_;
    HistoryListModel* model_;
    QListView* table_;
    HistoryPreview* preview_;
    QLabel* status_;
    QList<QPushButton*> selectionActions_;
    QPushButton* clearButton_ = nullptr;
    QFileSystemWatcher* watcher_;
    QTimer* refresh_;
    quint64 previewGeneration_ = 0;
    QString previewEntry_; // shown or being decoded
};

} // namespace korvel
