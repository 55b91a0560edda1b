#include "recognizedrows.h"

#include <algorithm>
#include <iterator>

namespace korvel::ocr {

bool isWide(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate();
}

std::vector<Row> joinedRows(std::vector<Row> pieces) {
    std::stable_sort(pieces.begin(), pieces.end(), [](const Row& a, const Row& b) {
        return a.box.center().y() < b.box.center().y();
    });
    std::vector<std::vector<Row>> groups;
    QRect span;
    for (Row& piece : pieces) {
        if (piece.words.empty())
            continue;
        const int shared =
            std::min(span.bottom(), piece.box.bottom()) - std::max(span.top(), piece.box.top()) + 1;
        if (groups.empty() || shared * 2 < std::min(span.height(), piece.box.height())) {
            groups.emplace_back();
            span = piece.box;
        }
        span |= piece.box;
        groups.back().push_back(std::move(piece));
    }
    std::vector<Row> rows;
    for (std::vector<Row>& group : groups) {
        std::stable_sort(group.begin(), group.end(),
                         [](const Row& a, const Row& b) { return a.box.left() < b.box.left(); });
        Row row;
        for (Row& piece : group) {
            piece.words.front().apart = !row.words.empty();
            row.box |= piece.box;
            row.words.insert(row.words.end(), std::make_move_iterator(piece.words.begin()),
                             std::make_move_iterator(piece.words.end()));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

QString rowText(const Row& row) {
    QString text;
    for (const Word& word : row.words) {
        if (word.text.isEmpty())
            continue;
        if (!text.isEmpty()) {
            const QChar before = text.back(), after = word.text.front();
            bool space = true;
            if (!word.apart && isWide(before) && isWide(after))
                space = false;
            else if (!word.apart && (isWide(before) || isWide(after)))
                space = (isWide(before) ? after : before).isLetterOrNumber();
            if (space)
                text += QLatin1Char(' ');
        }
        text += word.text;
    }
    return text;
}

int editDistance(QString a, QString b) {
    a.remove(QLatin1Char(' '));
    b.remove(QLatin1Char(' '));
    std::vector<int> previous(std::size_t(b.size()) + 1), current(previous.size());
    for (std::size_t j = 0; j < previous.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j) {
            const auto k = std::size_t(j);
            current[k] = std::min({previous[k] + 1, current[k - 1] + 1,
                                   previous[k - 1] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        }
        std::swap(previous, current);
    }
    return previous.back();
}

} // namespace korvel::ocr
