#pragma once

// Images with known text for the recognition tests and benchmark, drawn with
// Noto Sans CJK so that they look like screen text.

#include <QByteArray>
#include <QFont>
#include <QImage>
#include <QPainter>
#include <QString>
#include <QStringList>

#include <algorithm>
#include <array>
#include <ostream>
#include <vector>

// Readable strings in GoogleTest's failure messages.
inline void PrintTo(const QString& text, std::ostream* os) {
    *os << '"' << text.toStdString() << '"';
}
inline void PrintTo(const QStringList& list, std::ostream* os) {
    *os << '"' << list.join(QLatin1Char('|')).toStdString() << '"';
}

namespace korvel::scenes {

struct Item {
    QString text;
    bool chinese = false;
};

inline QFont screenFont(int pixels) {
    QFont font(QStringLiteral("Noto Sans CJK SC"));
    font.setPixelSize(pixels);
    font.setHintingPreference(QFont::PreferFullHinting);
    return font;
}

inline const std::vector<Item>& menuItems() {
    static const std::vector<Item> items = {
        {QStringLiteral("文件"), true}, {QStringLiteral("编辑"), true},
        {QStringLiteral("视图"), true}, {QStringLiteral("插入"), true},
        {QStringLiteral("格式"), true}, {QStringLiteral("工具"), true},
        {QStringLiteral("窗口"), true}, {QStringLiteral("帮助"), true},
    };
    return items;
}

inline const std::vector<Item>& sidebarItems() {
    static const std::vector<Item> items = {
        {QStringLiteral("收藏夹"), true},     {QStringLiteral("最近使用"), true},
        {QStringLiteral("下载"), true},       {QStringLiteral("我的文档"), true},
        {QStringLiteral("图片和视频"), true}, {QStringLiteral("回收站"), true},
    };
    return items;
}

inline const std::vector<Item>& contentItems() {
    static const std::vector<Item> items = {
        {QStringLiteral("The quick brown fox jumps over the lazy dog.")},
        {QStringLiteral("正在下载更新，请稍候。"), true},
        {QStringLiteral("Version 2.4.1 (build 3057), released 12:45 PM")},
        {QStringLiteral("保存成功，已复制到剪贴板！"), true},
        {QStringLiteral("Total: $1,234.56 - 98% complete; 7 files left")},
        {QStringLiteral("网络连接失败，请检查设置后重试"), true},
        {QStringLiteral("Email support@example.com or call 555-0199")},
        {QStringLiteral("共有十二个项目等待处理"), true},
        {QStringLiteral("Search results: 42 matches in 8 folders")},
        {QStringLiteral("点击这里打开偏好设置"), true},
    };
    return items;
}

// Every item of the UI-like screenshot, in no particular order.
inline std::vector<Item> allItems() {
    std::vector<Item> all = menuItems();
    all.insert(all.end(), sidebarItems().begin(), sidebarItems().end());
    all.insert(all.end(), contentItems().begin(), contentItems().end());
    return all;
}

// A window-like screenshot 760 × 420 points: a menu bar, a grey sidebar and
// a content pane, text of 13 to 16 pixels at scale 1, drawn at `scale`.
inline QImage uiScreenshot(int scale) {
    QImage image(760 * scale, 420 * scale, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(scale);
    image.fill(QColor(255, 255, 255));
    QPainter p(&image);
    p.setRenderHint(QPainter::TextAntialiasing);
    p.fillRect(QRect(0, 0, 760, 28), QColor(236, 236, 236));
    p.setPen(QColor(30, 30, 30));
    p.setFont(screenFont(14));
    int x = 12;
    for (const Item& item : menuItems()) {
        p.drawText(QPoint(x, 19), item.text);
        x += 56;
    }
    p.fillRect(QRect(0, 28, 170, 392), QColor(243, 244, 246));
    p.setPen(QColor(210, 210, 210));
    p.drawLine(170, 28, 170, 420);
    p.drawLine(0, 28, 760, 28);
    p.setFont(screenFont(13));
    p.setPen(QColor(50, 50, 60));
    int y = 60;
    for (const Item& item : sidebarItems()) {
        p.drawText(QPoint(20, y), item.text);
        y += 30;
    }
    const int sizes[] = {16, 15, 14, 13};
    y = 64;
    int i = 0;
    for (const Item& item : contentItems()) {
        p.setFont(screenFont(sizes[i++ % 4]));
        p.setPen(i % 3 ? QColor(20, 20, 20) : QColor(70, 80, 100));
        p.drawText(QPoint(190, y), item.text);
        y += 34;
    }
    return image;
}

// Lines of text, each `text` followed by its number, with their baselines
// `spacing` apart starting at `first`.
inline QImage textColumn(int width, int height, int first, int spacing, int pixels,
                         const QString& text) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter p(&image);
    p.setPen(Qt::black);
    p.setFont(screenFont(pixels));
    for (int y = first, n = 1; y < height; y += spacing, ++n)
        p.drawText(QPoint(16, y), QStringLiteral("%1 %2").arg(text).arg(n));
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

inline QString withoutSpaces(QString text) {
    text.remove(QLatin1Char(' '));
    text.remove(QLatin1Char('\n'));
    text.remove(QLatin1Char('\t'));
    return text;
}

// Character accuracy of the items of one kind found in `recognised`:
// 1 − (edit distance to the best matching stretch) / length, summed over the
// items. Spaces are left out; their placement is not what is measured.
inline double accuracy(const std::vector<Item>& items, bool chinese, const QString& recognised) {
    const QString hay = withoutSpaces(recognised);
    int errors = 0, total = 0;
    for (const Item& item : items) {
        if (item.chinese != chinese)
            continue;
        const QString needle = withoutSpaces(item.text);
        total += int(needle.size());
        errors += std::min(int(needle.size()), substringDistance(needle, hay));
    }
    return total ? 1.0 - double(errors) / total : 1.0;
}

// The signature and IHDR chunk of a PNG claiming `size`, and the start of an
// IDAT chunk that never comes: enough for a reader to learn the size,
// nothing to decode.
inline QByteArray pngHeader(QSize size) {
    std::array<quint32, 256> table{};
    for (quint32 n = 0; n < 256; ++n) {
        quint32 c = n;
        for (int k = 0; k < 8; ++k)
            c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
        table[n] = c;
    }
    const auto bigEndian = [](QByteArray& out, quint32 v) {
        for (int shift = 24; shift >= 0; shift -= 8)
            out.append(char((v >> shift) & 0xFF));
    };
    QByteArray ihdr("IHDR");
    bigEndian(ihdr, quint32(size.width()));
    bigEndian(ihdr, quint32(size.height()));
    ihdr.append("\x08\x06\x00\x00\x00", 5); // 8-bit RGBA, no interlace
    quint32 crc = 0xFFFFFFFFu;
    for (char b : ihdr)
        crc = table[(crc ^ quint8(b)) & 0xFF] ^ (crc >> 8);
    QByteArray png("\x89PNG\r\n\x1a\n", 8);
    bigEndian(png, 13);
    png += ihdr;
    bigEndian(png, crc ^ 0xFFFFFFFFu);
    bigEndian(png, 4096);
    png += "IDAT";
    png += QByteArray(16, '\0');
    return png;
}

} // namespace korvel::scenes
