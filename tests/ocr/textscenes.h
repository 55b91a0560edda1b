#pragma once

// Images with known text for the recognition tests and benchmark.

#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <ostream>
#include <vector>

// Readable strings in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}

namespace korvel::scenes {

inline QFont screenFont(int pixels) {
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixels);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

// The texts of the window-like screenshot.
inline const QStringList menuItems =
    QStringLiteral("文件 编辑 视图 插入 格式 工具 窗口 帮助").split(u' ');
inline const QStringList sidebarItems =
    QStringLiteral("收藏夹 最近使用 下载 我的文档 图片和视频 回收站").split(u' ');
inline const QStringList contentItems = {
    QStringLiteral("The quick brown fox jumps over the lazy dog."),
    QStringLiteral("正在下载更新，请稍候。"),
    QStringLiteral("Version 2.4.1 (build 3057), released 12:45 PM"),
    QStringLiteral("保存成功，已复制到剪贴板！"),
    QStringLiteral("Total: $1,234.56 - 98% complete; 7 files left"),
    QStringLiteral("网络连接失败，请检查设置后重试"),
    QStringLiteral("Email support@example.com or call 555-0199"),
    QStringLiteral("共有十二个项目等待处理"),
    QStringLiteral("Search results: 42 matches in 8 folders"),
    QStringLiteral("点击这里打开偏好设置"),
};

// A window-like screenshot of 760 × 420 points, text of 13 to 16 points.
inline QImage uiScreenshot(int scale) {
    QImage image(760 * scale, 420 * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(255, 255, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(QRect(0, 0, 760, 28), QColor(236, 236, 236));
    p.setPen(QColor(30, 30, 30));
    p.setFont(screenFont(14));
    for (int i = 0; i < menuItems.size(); ++i)
        p.drawText(QPoint(12 + 56 * i, 19), menuItems[i]);
    p.fillRect(QRect(0, 28, 170, 392), QColor(243, 244, 246));
    p.setPen(QColor(210, 210, 210));
    p.drawLine(170, 28, 170, 420);
    p.drawLine(0, 28, 760, 28);
    p.setFont(screenFont(13));
    p.setPen(QColor(50, 50, 60));
    for (int i = 0; i < sidebarItems.size(); ++i)
        p.drawText(QPoint(20, 60 + 30 * i), sidebarItems[i]);
    const int sizes[] = {16, 15, 14, 13};
    for (int i = 0; i < contentItems.size(); ++i) {
        p.setFont(screenFont(sizes[i % 4]));
        p.setPen((i + 1) % 3 ? QColor(20, 20, 20) : QColor(70, 80, 100));
        p.drawText(QPoint(190, 64 + 34 * i), contentItems[i]);
    }
    return image;
}

// Levenshtein distance of `needle` to the closest substring of `hay`.
inline int substringDistance(const QString& needle, const QString& hay) {
    std::vector<int> previous(hay.size() + 1, 0), current(hay.size() + 1);
    for (qsizetype i = 1; i <= needle.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= hay.size(); ++j) {
            const int substitute = previous[j - 1] + (needle[i - 1] == hay[j - 1] ? 0 : 1);
            current[j] = std::min({substitute, previous[j] + 1, current[j - 1] + 1});
        }
        std::swap(previous, current);
    }
    return *std::min_element(previous.begin(), previous.end());
}

// Character accuracy of `items` in `recognised`, spaces left out.
inline double accuracy(const QStringList& items, const QString& recognised) {
    const auto bare = [](QString s) { return s.remove(u' ').remove(u'\n').remove(u'\t'); };
    const QString hay = bare(recognised);
    int errors = 0, total = 0;
    for (const QString& item : items) {
        const QString needle = bare(item);
        total += int(needle.size());
        errors += std::min(int(needle.size()), substringDistance(needle, hay));
    }
    return total ? 1.0 - double(errors) / total : 1.0;
}

} // namespace korvel::scenes
