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

// Images larger than this are refused before decoding: 64 million pixels
// decode to 256 MiB.
inline constexpr qint64 maximumImagePixels = 64'000'000;

// Decodes one image file, or standard input for "-": the image, or the
// reason it cannot be read (Chinese, for the user).
std::variant<QImage, QString> loadImage(const QString& path, QIODevice& standardInput);

// "korvel --recognize FILE...": prints the text of each image that can be
// read, images separated by an empty line, and a line naming each one that
// cannot on `err`. Returns 0, 2 when an image could not be read, 1 when the
// recognizer fails.
int recognizeFiles(const QStringList& paths, QIODevice& standardInput, QTextStream& out,
                   QTextStream& err,
                   const std::function<std::unique_ptr<TextRecognizer>()>& engine = {});

} // namespace korvel
