#include "tesseractrecognizer.h"

#include "greyimage.h"
#include "platform/error.h"
#include "recognizedrows.h"

#include <QDir>
#include <QFileInfo>

#include <allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/ocrclass.h>
#include <tesseract/resultiterator.h>

#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <iterator>

namespace korvel {
namespace ocr {
namespace {

// Language tags in the order they are offered, with the model file and the
// Debian package that installs it.
struct Model {
    const char* tag;
    const char* file;
    const char* package;
};
constexpr Model models[] = {
    {"zh-Hans", "chi_sim", "tesseract-ocr-chi-sim"},
    {"zh-Hant", "chi_tra", "tesseract-ocr-chi-tra"},
    {"en-US", "eng", "tesseract-ocr-eng"},
};

QString systemDataPath() {
    QString prefix = qEnvironmentVariable("TESSDATA_PREFIX");
    if (!prefix.isEmpty())
        return prefix;
    return QStringLiteral("/usr/share/tesseract-ocr/5/tessdata");
}

Error failure(const QString& description) {
    return Error(QStringLiteral("TextRecognition"), 1, description);
}

struct PixDeleter {
    void operator()(Pix* pix) const { pixDestroy(&pix); }
};
using PixPointer = std::unique_ptr<Pix, PixDeleter>;

// An 8-bit grey Pix of the image, transparent parts over white, enlarged by
// `scale` with Qt's smooth filter. Leptonica keeps 8-bit pixels in big-endian
// 32-bit words, hence the byte swap after copying rows.
PixPointer greyPix(const QImage& image, double scale) {
    QImage grey = greyOverWhite(image);
    if (scale > 1.0) {
        grey = grey.scaled(qRound(grey.width() * scale), qRound(grey.height() * scale),
                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    if (grey.isNull())
        return nullptr;
    PixPointer pix(pixCreate(grey.width(), grey.height(), 8));
    if (!pix)
        return nullptr;
    const int wordsPerLine = pixGetWpl(pix.get());
    l_uint32* data = pixGetData(pix.get());
    for (int y = 0; y < grey.height(); ++y)
        std::memcpy(data + std::ptrdiff_t(y) * wordsPerLine, grey.constScanLine(y),
                    std::size_t(grey.width()));
    pixEndianByteSwap(pix.get());
    return pix;
}

// Tesseract spreads each line's network over up to ten OpenMP threads. On
// desktop machines the hand-offs cost more than they gain and compete with
// the interface, so a recognition keeps to its own thread unless the user
// set OMP_THREAD_LIMIT. Called on the recognising thread: the setting is
// per thread in newer OpenMP runtimes.
void limitThreads() {
    if (qEnvironmentVariableIsEmpty("OMP_THREAD_LIMIT"))
        omp_set_max_active_levels(0);
}

bool isCancelled(void* flag, int) {
    return static_cast<const std::atomic<bool>*>(flag)->load(std::memory_order_relaxed);
}

} // namespace

TesseractRecognizer::TesseractRecognizer(QString dataPath)
    : dataPath_(dataPath.isEmpty() ? systemDataPath() : std::move(dataPath)) {}

TesseractRecognizer::~TesseractRecognizer() {
    for (Api* api : {&api_, &latin_}) {
        if (*api)
            (*api)->End();
    }
}

std::unique_ptr<TextRecognizer> TesseractRecognizer::another() const {
    return std::make_unique<TesseractRecognizer>(dataPath_);
}

QString TesseractRecognizer::modelName(const QString& tag) {
    for (const Model& m : models) {
        if (tag == QLatin1String(m.tag))
            return QLatin1String(m.file);
    }
    return {};
}

QStringList TesseractRecognizer::supportedLanguages() {
    QStringList tags;
    for (const Model& m : models) {
        const QFileInfo file(
            QDir(dataPath_).filePath(QLatin1String(m.file) + QStringLiteral(".traineddata")));
        if (file.isFile() && file.size() > 0)
            tags << QLatin1String(m.tag);
    }
    if (tags.isEmpty()) {
        // The packages of the simplified-Chinese and English models.
        throw failure(QStringLiteral("缺少文字识别语言数据，请安装 %1 和 %2")
                          .arg(QLatin1String(models[0].package), QLatin1String(models[2].package)));
    }
    return tags;
}

void TesseractRecognizer::load(Api& api, QString& loaded, const QString& models) {
    if (api && loaded == models)
        return;
    if (api)
        api->End();
    api = std::make_unique<tesseract::TessBaseAPI>();
    loaded.clear();
    // Tesseract reports on standard error unless told otherwise; the command
    // line prints recognised text on standard output and nothing else.
    api->SetVariable("debug_file", "/dev/null");
    const QByteArray path = QFile::encodeName(dataPath_);
    if (api->Init(path.constData(), models.toLatin1().constData(), tesseract::OEM_LSTM_ONLY) != 0) {
        api.reset();
        throw failure(QStringLiteral("无法加载文字识别语言数据（%1）").arg(models));
    }
    // Blocks come cut by the caller: each is read as one uniform block, as
    // Tesseract's own layout analysis splits screen text into columns at
    // every aligned gap (terminals, tables) and drops rows it takes for
    // pictures.
    api->SetPageSegMode(tesseract::PSM_SINGLE_BLOCK);
    loaded = models;
}

namespace {

// The rows of what the engine last recognised, in pixels of its image.
std::vector<Row> readRows(tesseract::TessBaseAPI& api) {
    std::vector<Row> rows;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return rows;
    const auto box = [&](tesseract::PageIteratorLevel level) {
        int left = 0, top = 0, right = 0, bottom = 0;
        it->BoundingBox(level, &left, &top, &right, &bottom);
        return QRect(QPoint(left, top), QPoint(right - 1, bottom - 1));
    };
    do {
        if (it->Empty(tesseract::RIL_WORD))
            continue;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || rows.empty())
            rows.push_back({box(tesseract::RIL_TEXTLINE), {}});
        std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        Word word;
        word.text = text ? QString::fromUtf8(text.get()).simplified() : QString();
        word.box = box(tesseract::RIL_WORD);
        word.latin = std::none_of(word.text.begin(), word.text.end(), isWide);
        word.confidence = it->Confidence(tesseract::RIL_WORD);
        if (!word.text.isEmpty())
            rows.back().words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
    return rows;
}

// `box` in the pixels of an image enlarged by `scale`, widened by `pad`
// pixels of the original and kept within `bounds`.
QRect scaled(const QRect& box, double scale, int pad, const QRect& bounds) {
    const QRectF area = QRectF(box).adjusted(-pad, -pad, pad, pad);
    return QRect(QPoint(int(std::floor(area.left() * scale)), int(std::floor(area.top() * scale))),
                 QPoint(int(std::ceil(area.right() * scale)) - 1,
                        int(std::ceil(area.bottom() * scale)) - 1))
        .intersected(bounds);
}

QRect unscaled(const QRect& box, double scale) {
    return QRect(QPoint(int(std::floor(box.x() / scale)), int(std::floor(box.y() / scale))),
                 QPoint(int(std::ceil((box.x() + box.width()) / scale)) - 1,
                        int(std::ceil((box.y() + box.height()) / scale)) - 1));
}

} // namespace

// The Chinese models read Latin text less well than the English one ("0"
// as "9", "l" as "L"), and reading with both lets the English model turn
// small Chinese into Latin letters. So the Chinese models read the page,
// and each stretch of Latin words is read again with English alone; the
// new reading replaces the old where the English model is at least as
// confident and changes no more than a few characters.
void TesseractRecognizer::rereadLatin(std::vector<Row>& rows, Pix* pix,
                                      const std::atomic<bool>& cancelled) {
    const QRect bounds(0, 0, int(pixGetWidth(pix)), int(pixGetHeight(pix)));
    bool set = false;
    for (Row& row : rows) {
        std::vector<Word> words;
        for (std::size_t i = 0; i < row.words.size() && !cancelled.load();) {
            std::size_t end = i;
            Word stretch{{}, {}, true, 100, row.words[i].apart};
            while (end < row.words.size() && row.words[end].latin &&
                   (end == i || !row.words[end].apart)) {
                stretch.text += row.words[end].text;
                stretch.box |= row.words[end].box;
                stretch.confidence = std::min(stretch.confidence, row.words[end].confidence);
                ++end;
            }
            if (end == i) {
                words.push_back(std::move(row.words[i++]));
                continue;
            }
            // The engine's word boxes can reach over their neighbours.
            if (!words.empty())
                stretch.box.setLeft(std::max(stretch.box.left(), words.back().box.right() + 1));
            if (end < row.words.size())
                stretch.box.setRight(std::min(stretch.box.right(), row.words[end].box.left() - 1));
            if (!set) {
                load(latin_, latinLoaded_, QStringLiteral("eng"));
                latin_->SetImage(pix);
                latin_->SetSourceResolution(300);
                latin_->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
                set = true;
            }
            const QRect area = stretch.box
                                   .adjusted(-row.box.height() / 5, -row.box.height() / 5,
                                             row.box.height() / 5, row.box.height() / 5)
                                   .intersected(bounds);
            latin_->SetRectangle(area.x(), area.y(), area.width(), area.height());
            std::unique_ptr<char[]> text(latin_->GetUTF8Text());
            const QString again = text ? QString::fromUtf8(text.get()).simplified() : QString();
            const int confidence = latin_->MeanTextConf();
            if (!again.isEmpty() && std::none_of(again.begin(), again.end(), isWide) &&
                confidence >= stretch.confidence &&
                editDistance(again, stretch.text) <= int(stretch.text.size()) * 3 / 10 + 1) {
                stretch.text = again;
                words.push_back(std::move(stretch));
            } else {
                std::move(row.words.begin() + std::ptrdiff_t(i),
                          row.words.begin() + std::ptrdiff_t(end), std::back_inserter(words));
            }
            i = end;
        }
        row.words = std::move(words);
    }
    if (set)
        latin_->Clear();
}

std::vector<RecognizedLine> TesseractRecognizer::recognize(const QImage& image,
                                                           const RecognitionRequest& request,
                                                           const std::atomic<bool>& cancelled) {
    if (image.isNull() || image.width() < 1 || image.height() < 1)
        return {};
    QStringList names;
    for (const QString& tag : request.languages) {
        if (const QString name = modelName(tag); !name.isEmpty())
            names << name;
    }
    if (names.isEmpty())
        throw failure(QStringLiteral("没有可用的识别语言"));
    const bool latinApart = names.size() > 1 && names.removeAll(QStringLiteral("eng")) > 0;
    load(api_, loaded_, names.join(QLatin1Char('+')));

    const double scale = std::clamp(request.scale, 1.0, 4.0);
    PixPointer pix = greyPix(image, scale);
    if (!pix)
        throw failure(QStringLiteral("内存不足，无法识别此图像"));

    limitThreads();
    api_->SetImage(pix.get());
    // Screen pixels carry no resolution; this is what the models were
    // trained at for text of this size.
    api_->SetSourceResolution(300);
    tesseract::ETEXT_DESC monitor;
    monitor.cancel = &isCancelled;
    monitor.cancel_this = const_cast<std::atomic<bool>*>(&cancelled);
    const QRect bounds(0, 0, int(pixGetWidth(pix.get())), int(pixGetHeight(pix.get())));
    const std::vector<QRect> blocks =
        request.blocks.empty() ? std::vector<QRect>{image.rect()} : request.blocks;
    std::vector<Row> pieces;
    for (const QRect& block : blocks) {
        // A little ground around the block: the models expect some.
        const QRect area = scaled(block, scale, 4, bounds);
        api_->SetRectangle(area.x(), area.y(), area.width(), area.height());
        const int status = api_->Recognize(&monitor);
        if (cancelled.load()) {
            api_->Clear();
            return {};
        }
        if (status != 0) {
            api_->Clear();
            throw failure(QStringLiteral("文字识别引擎出错"));
        }
        std::vector<Row> rows = readRows(*api_);
        std::move(rows.begin(), rows.end(), std::back_inserter(pieces));
    }
    api_->Clear();
    std::vector<Row> rows = joinedRows(std::move(pieces));
    if (latinApart)
        rereadLatin(rows, pix.get(), cancelled);

    std::vector<RecognizedLine> lines;
    for (const Row& row : rows) {
        RecognizedLine line{rowText(row), unscaled(row.box, scale)};
        if (!line.text.isEmpty())
            lines.push_back(std::move(line));
    }
    return lines;
}

} // namespace ocr

std::unique_ptr<TextRecognizer> createTextRecognizer(const QString& dataPath) {
    return std::make_unique<ocr::TesseractRecognizer>(dataPath);
}

} // namespace korvel
