#include "textrecognition.h"

#include "platform/error.h"
#include "readableimage.h"

#include <QRectF>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <system_error>
#include <thread>

namespace korvel {
namespace {

// The engine reads glyphs of about 30 pixels best; smaller text is enlarged
// two or three times. Whole factors: fractional ones blur strokes unevenly
// and measurably lose Chinese glyphs.
constexpr int smallText = 18;
constexpr int tinyText = 11;
// Enlarged bands stay below this many pixels (a 1920-pixel-wide band at
// three times is about 33 million).
constexpr double pixelBudget = 40e6;

struct Found {
    QString text;
    QRectF box;
    std::size_t band = 0;
    bool dropped = false;
    double y() const { return box.center().y(); }
};

// Two readings of the same line from neighbouring bands: they cover most of
// each other's height and width.
bool sameLine(const QRectF& a, const QRectF& b) {
    const QRectF both = a.intersected(b);
    if (both.isEmpty())
        return false;
    return both.height() >= 0.5 * std::min(a.height(), b.height()) &&
           both.width() >= 0.5 * std::min(a.width(), b.width());
}

} // namespace

std::vector<TextRecognition::Band> TextRecognition::bands(int height) {
    std::vector<Band> result;
    for (int s = 0; s < height; s += bandHeight) {
        result.push_back({s, std::min(s + bandHeight, height), std::max(0, s - bandOverlap),
                          std::min(height, s + bandHeight + bandOverlap)});
    }
    return result;
}

QStringList TextRecognition::preferredLanguages() {
    return {QStringLiteral("zh-Hans"), QStringLiteral("zh-Hant"), QStringLiteral("en-US")};
}

std::optional<int> TextRecognition::typicalTextHeight(const QImage& image) {
    if (image.isNull())
        return std::nullopt;
    const QImage grey = image.convertToFormat(QImage::Format_Grayscale8);
    // Rows with several sharp steps in brightness hold glyphs. Counted in
    // vertical strips, so that a frame or a separator crossing every row
    // does not join the whole image into one run.
    constexpr int strip = 240;
    constexpr int step = 48;
    constexpr int stepsPerRow = 4;
    std::vector<int> runs;
    for (int x0 = 0; x0 < grey.width(); x0 += strip) {
        const int x1 = std::min(grey.width(), x0 + strip);
        int run = 0;
        for (int y = 0; y <= grey.height(); ++y) {
            int steps = 0;
            if (y < grey.height()) {
                const uchar* row = grey.constScanLine(y);
                for (int x = x0 + 1; x < x1; ++x)
                    steps += std::abs(int(row[x]) - int(row[x - 1])) > step;
            }
            if (steps >= stepsPerRow) {
                ++run;
                continue;
            }
            // Runs outside this range are rules, icons or pictures.
            if (run >= 5 && run <= 160)
                runs.push_back(run);
            run = 0;
        }
    }
    if (runs.empty())
        return std::nullopt;
    auto middle = runs.begin() + std::ptrdiff_t(runs.size() / 2);
    std::nth_element(runs.begin(), middle, runs.end());
    return *middle;
}

double TextRecognition::scaleFor(const QImage& image) {
    return scaleFor(image.size(), typicalTextHeight(image));
}

double TextRecognition::scaleFor(QSize size, std::optional<int> height) {
    if (!height || *height >= smallText)
        return 1.0;
    double scale = *height < tinyText ? 3.0 : 2.0;
    const double pixels = double(size.width()) * size.height();
    if (pixels * scale * scale > pixelBudget)
        scale = std::sqrt(pixelBudget / pixels);
    return std::max(1.0, scale);
}

TextRecognition::TextRecognition(std::unique_ptr<TextRecognizer> recognizer)
    : recognizer_(std::move(recognizer)) {}

QString TextRecognition::recognize(const QImage& image) {
    const std::atomic<bool> never{false};
    return recognize(image, never);
}

std::vector<RecognizedLine> TextRecognition::readBand(TextRecognizer& engine, const QImage& image,
                                                      const Band& band, RecognitionRequest request,
                                                      const std::atomic<bool>& cancelled) {
    const QImage crop = image.copy(0, band.top, image.width(), band.bottom - band.top);
    if (crop.isNull())
        return {};
    const std::optional<int> typical = typicalTextHeight(crop);
    request.scale = scaleFor(crop.size(), typical);
    const QImage readable = readableImage(crop, typical.value_or(16));
    request.blocks = textBlocks(readable, typical.value_or(16));
    return engine.recognize(readable, request, cancelled);
}

int TextRecognition::readerCount(std::size_t bands) {
    return int(std::min<std::size_t>(
        {bands, std::size_t(std::max(1, QThread::idealThreadCount())), maximumReaders}));
}

std::vector<std::vector<RecognizedLine>>
TextRecognition::readBands(const QImage& image, const std::vector<Band>& all,
                           const RecognitionRequest& request, const std::atomic<bool>& cancelled) {
    std::vector<std::vector<RecognizedLine>> lines(all.size());
    std::atomic<std::size_t> next{0};
    std::atomic<bool> failed{false};
    std::exception_ptr failure;
    std::mutex failureLock;
    const auto work = [&](TextRecognizer& engine) {
        try {
            for (std::size_t i = 0;
                 !failed.load() && !cancelled.load() && (i = next++) < all.size();)
                lines[i] = readBand(engine, image, all[i], request, cancelled);
        } catch (...) {
            const std::lock_guard lock(failureLock);
            if (!failure)
                failure = std::current_exception();
            failed = true;
        }
    };
    // Further readers, each with an engine of its own, take bands as they
    // free up; the calling thread reads too.
    const int wanted = readerCount(all.size());
    while (int(helpers_.size()) + 1 < wanted) {
        std::unique_ptr<TextRecognizer> engine = recognizer_->another();
        if (!engine)
            break;
        helpers_.push_back(std::move(engine));
    }
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i + 1 < std::size_t(wanted) && i < helpers_.size(); ++i) {
        try {
            threads.emplace_back(work, std::ref(*helpers_[i]));
        } catch (const std::system_error&) {
            break;
        }
    }
    work(*recognizer_);
    for (std::thread& thread : threads)
        thread.join();
    if (failure)
        std::rethrow_exception(failure);
    if (cancelled.load())
        throw RecognitionCancelled();
    return lines;
}

QString TextRecognition::recognize(const QImage& image, const std::atomic<bool>& cancelled) {
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return {};
    if (cancelled.load())
        throw RecognitionCancelled();
    const QStringList supported = recognizer_->supportedLanguages();
    RecognitionRequest request;
    for (const QString& tag : preferredLanguages()) {
        if (supported.contains(tag))
            request.languages << tag;
    }
    if (request.languages.isEmpty())
        throw Error(QStringLiteral("TextRecognition"), 1, QStringLiteral("没有可用的识别语言"));

    // A line near a border is seen whole by both bands, but the two readings
    // place its centre a pixel or two apart. Each band therefore keeps lines
    // up to half the overlap beyond what it owns, and the pairs that then
    // turn up twice are resolved below.
    constexpr double margin = bandOverlap / 2.0;
    const std::vector<Band> all = bands(image.height());
    std::vector<std::vector<RecognizedLine>> read = readBands(image, all, request, cancelled);
    std::vector<Found> found;
    for (std::size_t i = 0; i < all.size(); ++i) {
        const Band& band = all[i];
        const double from = i > 0 ? band.start - margin : band.start;
        const double to = i + 1 < all.size() ? band.end + margin : band.end;
        for (RecognizedLine& line : read[i]) {
            Found f{std::move(line.text), QRectF(line.box).translated(0, band.top), i};
            if (f.y() >= from && f.y() < to && !f.text.isEmpty())
                found.push_back(std::move(f));
        }
    }

    for (std::size_t i = 1; i < all.size(); ++i) {
        const double border = all[i].start;
        for (Found& a : found) {
            if (a.band != i - 1 || a.y() < border - margin)
                continue;
            for (Found& b : found) {
                if (a.dropped || b.dropped || b.band != i || b.y() >= border + margin ||
                    !sameLine(a.box, b.box))
                    continue;
                // The band that owns the middle of the two readings keeps it.
                ((a.y() + b.y()) / 2 >= border ? a : b).dropped = true;
            }
        }
    }
    std::erase_if(found, [](const Found& f) { return f.dropped; });
    std::stable_sort(found.begin(), found.end(),
                     [](const Found& a, const Found& b) { return a.y() < b.y(); });
    QStringList texts;
    for (const Found& f : found)
        texts << f.text;
    return texts.join(QLatin1Char('\n'));
}

} // namespace korvel
