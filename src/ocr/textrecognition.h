#pragma once

#include "platform/ocr/textrecognizer.h"

#include <QImage>
#include <QString>

#include <atomic>
#include <exception>
#include <memory>
#include <optional>
#include <vector>

namespace korvel {

// Thrown by TextRecognition::recognize when its caller cancelled it.
class RecognitionCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "text recognition cancelled"; }
};

// Reads the text of an image of any height. Tall images are read in
// horizontal bands, so the engine never sees more than 1928 rows at once and
// memory stays bounded by one band per reader. Where the engine offers more
// engines, bands are read in parallel, one reader per core, and merged in
// band order as if read one after another.
class TextRecognition {
public:
    static constexpr int bandHeight = 1800;
    static constexpr int bandOverlap = 64;

    // A band owns the lines whose centre lies in [start, end) and is read
    // from the rows [top, bottom), which add the overlap on both sides.
    struct Band {
        int start = 0;
        int end = 0;
        int top = 0;
        int bottom = 0;
        friend bool operator==(const Band&, const Band&) = default;
    };
    static std::vector<Band> bands(int height);

    // The languages asked for, in this order, where the engine has them.
    static QStringList preferredLanguages();

    // The enlargement that brings the image's text to a size the engine
    // reads well: 1 for text of normal size, up to 3 for small screen text.
    static double scaleFor(const QImage& image);
    static double scaleFor(QSize size, std::optional<int> textHeight);
    // The typical height in pixels of the text rows of the image, if it
    // seems to hold any.
    static std::optional<int> typicalTextHeight(const QImage& image);

    explicit TextRecognition(std::unique_ptr<TextRecognizer> recognizer);

    // Blocking. The text with lines separated by "\n", top to bottom;
    // empty when there is none. Throws Error when the engine fails or has
    // no language data, RecognitionCancelled once `cancelled` is set.
    QString recognize(const QImage& image, const std::atomic<bool>& cancelled);
    QString recognize(const QImage& image);

    // Bands read at once: one per core the process may use, as each band
    // has an engine of its own (with its own models, some 100 MB).
    static constexpr int maximumReaders = 4;
    static int readerCount(std::size_t bands);

private:
    static std::vector<RecognizedLine> readBand(TextRecognizer& engine, const QImage& image,
                                                const Band& band, RecognitionRequest request,
                                                const std::atomic<bool>& cancelled);
    std::vector<std::vector<RecognizedLine>> readBands(const QImage& image,
                                                       const std::vector<Band>& all,
                                                       const RecognitionRequest& request,
                                                       const std::atomic<bool>& cancelled);

    std::unique_ptr<TextRecognizer> recognizer_;
    // The engines of the further readers, kept loaded between calls.
    std::vector<std::unique_ptr<TextRecognizer>> helpers_;
};

} // namespace korvel
