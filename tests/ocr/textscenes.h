#pragma once

// Text drawn as screens show it, and how much of it a reading got right.

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
