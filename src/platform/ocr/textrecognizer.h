#pragma once

#include <QImage>
#include <QRect>
#include <QString>
#include <QStringList>

#include <atomic>
#include <memory>
#include <vector>

namespace korvel {

// One line of text as the engine read it; `box` is in pixels of the image
// handed to recognize(), top-left origin.
struct RecognizedLine {
    QString text;
    QRect box;
};

struct RecognitionRequest {
    // Language tags in priority order ("zh-Hans", "zh-Hant", "en-US").
    QStringList languages;
    // Enlargement applied before reading: the engine reads glyphs of about
    // 20-40 pixels best, so small screen text is magnified first. Boxes
    // still come back in the caller's pixels.
    double scale = 1.0;
    // The blocks of text, in the caller's pixels, each read as one block;
    // empty to read the whole image. Lines of different blocks that share a
    // row come back as one line, left to right.
    std::vector<QRect> blocks;
};

// An on-device text recognizer. One instance serves one recognition at a
// time; it may keep its loaded models between calls.
class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;

    // The language tags whose data is installed. Throws Error when the data
    // cannot be listed at all.
    virtual QStringList supportedLanguages() = 0;

    // The lines of `image`. Stops early, returning what it has, once
    // `cancelled` turns true; the caller checks the flag. Throws Error when
    // the engine fails.
    virtual std::vector<RecognizedLine> recognize(const QImage& image,
                                                  const RecognitionRequest& request,
                                                  const std::atomic<bool>& cancelled) = 0;

    // A further engine of the same kind, to read parts of a tall image on
    // another thread; null when this engine cannot have company.
    virtual std::unique_ptr<TextRecognizer> another() const { return nullptr; }
};

// The engine of this platform (Tesseract). `dataPath` is the folder of the
// language data; empty means $TESSDATA_PREFIX or the system's folder.
std::unique_ptr<TextRecognizer> createTextRecognizer(const QString& dataPath = {});

} // namespace korvel
