#pragma once

#include <QRect>
#include <QString>

#include <vector>

namespace korvel::ocr {

// Chinese, Japanese and Korean glyphs and full-width forms.
bool isWide(QChar c);

// A word as the engine read it.
struct Word {
    QString text;
    QRect box;
    // Latin letters, digits and punctuation only.
    bool latin = false;
    // The engine's confidence, 0 to 100.
    float confidence = 0;
    // The first word of a piece read apart from what precedes it on the row.
    bool apart = false;
};

// The words of one row of text, left to right.
struct Row {
    QRect box;
    std::vector<Word> words;
};

// Rows read apart (a menu item and its shortcut, read as two blocks) that
// share most of their height become one row, their pieces left to right.
// Top to bottom.
std::vector<Row> joinedRows(std::vector<Row> pieces);

// The text of a row. Chinese has no spaces between its glyphs; beside Latin
// text a space stands where the Latin side is a letter or digit ("共 3 个",
// "Esc 键") but not punctuation ("说明.md", "打开(O)"); pieces read apart stay
// apart; Latin words keep the engine's spaces.
QString rowText(const Row& row);

// Edits that turn one text into the other, spaces left out.
int editDistance(QString a, QString b);

} // namespace korvel::ocr
