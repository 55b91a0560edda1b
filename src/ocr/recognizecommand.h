#pragma once

#include "platform/ocr/textrecognizer.h"

#include <QImage>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <variant>

class QIODevice;
class QTextStream;

namespace korvel {

// Decodes one PNG file, or standard input for "-": the image, or the reason
// it cannot be read (Chinese, for the user). Images over maximumImagePixels
// are refused from their header.
std::variant<QImage, QString> loadImage(const QString& path, QIODevice& standardInput);

// "korvel --recognize FILE...": prints the text of each image that can be
// read, images separated by an empty line, and a line naming each one that
// cannot on `err`. Returns 0, 2 when an image could not be read, 1 when the
// recognizer fails.
int recognizeFiles(const QStringList& paths, QIODevice& standardInput, QTextStream& out,
                   QTextStream& err,
                   const std::function<std::unique_ptr<TextRecognizer>()>& engine = {});

} // namespace korvel
