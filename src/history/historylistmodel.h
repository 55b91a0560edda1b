#pragma once

#include <QAbstractListModel>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QStringList>

#include <functional>

namespace korvel {

class ThumbnailLoader;

// The date an entry's name stands for: its leading microseconds since 1970,
// local time, "MM-dd HH:mm:ss". A name without that number gives 1970.
QString historyEntryDate(const QString& fileName);

// One row per history entry, newest first. A row's thumbnail is decoded in
// the background the first time the view asks for it; until it arrives the
// row shows an empty tile, and an unreadable file shows the "photo" symbol.
class HistoryListModel final : public QAbstractListModel {
    Q_OBJECT

public:
    enum Role { PathRole = Qt::UserRole + 1, ThumbnailStateRole };
    enum class ThumbnailState { loading, ready, unreadable };

    static constexpr int thumbnailPixels = 96;
    static constexpr int tileSide = 48;
    static constexpr int rowHeight = 60;

    HistoryListModel(ThumbnailLoader& loader, QObject* parent = nullptr);
    ~HistoryListModel() override;

    // Replaces the rows. Thumbnails of files that are still there unchanged
    // (same name, size and time) are kept: entry names carry their digest.
    void setEntries(const QStringList& paths);
    const QStringList& entries() const { return paths_; }
    int indexOf(const QString& path) const { return int(paths_.indexOf(path)); }

    int rowCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Called after each thumbnail arrived; benchmarks and tests watch it.
    std::function<void(int row)> onThumbnail;

private:
    struct Thumbnail {
        QString key;
        ThumbnailState state = ThumbnailState::loading;
        QImage tile;
    };
    static QString fileKey(const QString& path);
    void load(int row) const;

    ThumbnailLoader& loader_;
    QStringList paths_;
    QStringList keys_;
    // Mutable: rows are decoded when the view first asks for them.
    mutable QHash<QString, Thumbnail> thumbnails_;
    QImage placeholder_;
    QImage empty_;
};

} // namespace korvel
