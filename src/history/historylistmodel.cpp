#include "historylistmodel.h"

#include "export/toolbarbuttons.h"
#include "thumbnailloader.h"

#include <QFileInfo>
#include <QPainter>
#include <QPainterPath>
#include <QSize>

#include <algorithm>
#include <cmath>

namespace korvel {
namespace {

constexpr double tileScale = 2; // thumbnails are 96 pixels for a 48-point tile

// A rounded tile on a faint background with the image fitted inside.
QImage tileImage(const QImage& image, bool unreadable) {
    const int side = HistoryListModel::tileSide;
    QImage tile(QSize(side, side) * tileScale, QImage::Format_ARGB32_Premultiplied);
    tile.fill(Qt::transparent);
    tile.setDevicePixelRatio(tileScale);
    QPainter p(&tile);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(0, 0, side, side), 5, 5);
    p.setClipPath(clip);
    p.fillRect(QRectF(0, 0, side, side), QColor(0, 0, 0, 26));
    if (unreadable) {
        const QPixmap symbol = toolbarIcon(QStringLiteral("photo"), QColor(120, 120, 120))
                                   .pixmap(QSize(20, 20), tileScale);
        p.drawPixmap(QPointF(14, 14), symbol);
    } else if (!image.isNull()) {
        const QSizeF fitted = QSizeF(image.size()).scaled(QSizeF(side, side), Qt::KeepAspectRatio);
        p.drawImage(
            QRectF(QPointF((side - fitted.width()) / 2, (side - fitted.height()) / 2), fitted),
            image);
    }
    p.end();
    return tile;
}

} // namespace

QString historyEntryDate(const QString& fileName) {
    bool ok = false;
    const double microseconds = fileName.section(QLatin1Char('-'), 0, 0).toDouble(&ok);
    double seconds = ok && std::isfinite(microseconds) ? std::floor(microseconds / 1e6) : 0;
    // QDateTime's range ends well before the largest 20-digit number.
    seconds = std::clamp(seconds, -1e11, 1e11);
    return QDateTime::fromSecsSinceEpoch(qint64(seconds))
        .toLocalTime()
        .toString(QStringLiteral("MM-dd HH:mm:ss"));
}

HistoryListModel::HistoryListModel(ThumbnailLoader& loader, QObject* parent)
    : QAbstractListModel(parent)
    , loader_(loader)
    , placeholder_(tileImage({}, true))
    , empty_(tileImage({}, false)) {}

HistoryListModel::~HistoryListModel() {
    // No answer may reach a model that is gone.
    loader_.cancelAll();
}

QString HistoryListModel::fileKey(const QString& path) {
    const QFileInfo info(path);
    return QStringLiteral("%1|%2|%3")
        .arg(path)
        .arg(info.size())
        .arg(info.lastModified().toMSecsSinceEpoch());
}

void HistoryListModel::setEntries(const QStringList& paths) {
    beginResetModel();
    loader_.cancelAll();
    paths_ = paths;
    keys_.clear();
    QHash<QString, Thumbnail> kept;
    for (const QString& path : paths_) {
        const QString key = fileKey(path);
        keys_ << key;
        // Only finished thumbnails survive: pending decodes were cancelled.
        auto it = thumbnails_.constFind(key);
        if (it != thumbnails_.constEnd() && it->state != ThumbnailState::loading)
            kept.insert(key, *it);
    }
    thumbnails_ = std::move(kept);
    endResetModel();
}

int HistoryListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(paths_.size());
}

void HistoryListModel::load(int row) const {
    const QString key = keys_[row];
    thumbnails_.insert(key, Thumbnail{key, ThumbnailState::loading, {}});
    auto* self = const_cast<HistoryListModel*>(this);
    // Newer rows first: they sit at the top of the list.
    loader_.request(paths_[row], thumbnailPixels, -row, [self, key](const QImage& image) {
        auto it = self->thumbnails_.find(key);
        if (it == self->thumbnails_.end())
            return;
        it->state = image.isNull() ? ThumbnailState::unreadable : ThumbnailState::ready;
        it->tile = image.isNull() ? QImage() : tileImage(image, false);
        const int row = int(self->keys_.indexOf(key));
        if (row < 0)
            return;
        const QModelIndex index = self->index(row);
        Q_EMIT self->dataChanged(index, index);
        if (self->onThumbnail)
            self->onThumbnail(row);
    });
}

QVariant HistoryListModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= paths_.size())
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return historyEntryDate(QFileInfo(paths_[row]).fileName());
    case PathRole:
        return paths_[row];
    case Qt::SizeHintRole:
        return QSize(220, rowHeight);
    case Qt::DecorationRole:
    case ThumbnailStateRole:
    case Qt::AccessibleDescriptionRole: {
        auto it = thumbnails_.constFind(keys_[row]);
        if (it == thumbnails_.constEnd()) {
            load(row);
            it = thumbnails_.constFind(keys_[row]);
        }
        if (role == ThumbnailStateRole)
            return int(it->state);
        if (role == Qt::AccessibleDescriptionRole)
            return it->state == ThumbnailState::unreadable ? QStringLiteral("图片无法预览")
                                                           : QStringLiteral("截图预览");
        if (it->state == ThumbnailState::unreadable)
            return placeholder_;
        return it->state == ThumbnailState::ready ? it->tile : empty_;
    }
    default:
        return {};
    }
}

} // namespace korvel
