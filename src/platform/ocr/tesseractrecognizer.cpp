#include "tesseractrecognizer.h"

#include "platform/error.h"

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
    QImage grey;
    if (image.hasAlphaChannel()) {
        // Over white: a premultiplied channel plus the uncovered share of 255.
        // Done by hand, as the command line runs without a GUI application.
        QImage flat = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
        for (int y = 0; y < flat.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(flat.scanLine(y));
            for (int x = 0; x < flat.width(); ++x) {
                const int uncovered = 255 - qAlpha(row[x]);
                row[x] = qRgb(qRed(row[x]) + uncovered, qGreen(row[x]) + uncovered,
                              qBlue(row[x]) + uncovered);
            }
        }
        grey = flat.convertToFormat(QImage::Format_Grayscale8);
    } else {
        grey = image.convertToFormat(QImage::Format_Grayscale8);
    }
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

bool isWide(QChar c) {
    const char16_t u = c.unicode();
    return (u >= 0x2E80 && u <= 0x9FFF) || (u >= 0xF900 && u <= 0xFAFF) ||
           (u >= 0xFF00 && u <= 0xFFEF) || c.isSurrogate();
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
    api->SetPageSegMode(qEnvironmentVariableIsSet("KORVEL_OCR_PSM") ? tesseract::PageSegMode(qEnvironmentVariableIntValue("KORVEL_OCR_PSM")) : tesseract::PSM_SINGLE_BLOCK);
    loaded = models;
}

// A word as the engine read it, in pixels of the enlarged image.
struct Word {
    QString text;
    QRect box;
    bool latin = false;
    float confidence = 0;
};

struct Row {
    QRect box;
    std::vector<Word> words;
};

namespace {

int knob(const char* name, int fallback) {
    return qEnvironmentVariableIsSet(name) ? qEnvironmentVariableIntValue(name) : fallback;
}

std::vector<Row> readRows(tesseract::TessBaseAPI& api) {
    std::vector<Row> rows;
    std::unique_ptr<tesseract::ResultIterator> it(api.GetIterator());
    if (!it)
        return rows;
    do {
        if (it->Empty(tesseract::RIL_WORD))
            continue;
        int left = 0, top = 0, right = 0, bottom = 0;
        if (it->IsAtBeginningOf(tesseract::RIL_TEXTLINE) || rows.empty()) {
            if (!it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                continue;
            rows.push_back({QRect(QPoint(left, top), QPoint(right - 1, bottom - 1)), {}});
        }
        std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_WORD));
        if (!text || !it->BoundingBox(tesseract::RIL_WORD, &left, &top, &right, &bottom))
            continue;
        Word word{QString::fromUtf8(text.get()).simplified(),
                  QRect(QPoint(left, top), QPoint(right - 1, bottom - 1))};
        word.latin = !word.text.isEmpty() && std::none_of(word.text.begin(), word.text.end(), isWide);
        word.confidence = it->Confidence(tesseract::RIL_WORD);
        if (qEnvironmentVariableIsSet("KORVEL_OCR_DEBUG"))
            if (0) fprintf(stderr, "row %d,%d %dx%d word %d,%d %dx%d '%s' %s\n", rows.back().box.x(), rows.back().box.y(), rows.back().box.width(), rows.back().box.height(), word.box.x(), word.box.y(), word.box.width(), word.box.height(), text.get(), it->WordRecognitionLanguage());
        if (!word.text.isEmpty())
            rows.back().words.push_back(std::move(word));
    } while (it->Next(tesseract::RIL_WORD));
    std::erase_if(rows, [](const Row& r) { return r.words.empty(); });
    return rows;
}

// The row's text. The Chinese models end a word after every glyph, so
// Chinese has no spaces; next to Latin text a space stays where the Latin
// side is a letter or digit ("共 3 个", "Esc 键"), not punctuation
// ("说明.md", "(O)").
QString rowText(const Row& row) {
    QString text;
    for (const Word& word : row.words) {
        if (!text.isEmpty()) {
            const QChar before = text.back(), after = word.text.front();
            const bool space = isWide(before) && isWide(after)  ? false
                               : isWide(before) || isWide(after) ? (isWide(before) ? after : before).isLetterOrNumber()
                                                                 : true;
            if (space)
                text += QLatin1Char(' ');
        }
        text += word.text;
    }
    return text;
}

// Edits between two texts, spaces left out.
int editDistance(QString a, QString b) {
    a.remove(QLatin1Char(' '));
    b.remove(QLatin1Char(' '));
    std::vector<int> previous(std::size_t(b.size()) + 1), current(previous.size());
    for (std::size_t j = 0; j < previous.size(); ++j)
        previous[j] = int(j);
    for (qsizetype i = 1; i <= a.size(); ++i) {
        current[0] = int(i);
        for (qsizetype j = 1; j <= b.size(); ++j)
            current[std::size_t(j)] = std::min({previous[std::size_t(j)] + 1, current[std::size_t(j - 1)] + 1,
                                                previous[std::size_t(j - 1)] + (a[i - 1] == b[j - 1] ? 0 : 1)});
        std::swap(previous, current);
    }
    return previous.back();
}

} // namespace

// With Chinese first, Tesseract reads Latin text poorly ("0" as "9") and,
// with English added, reads small Chinese as Latin letters. Chinese models
// read the page; each stretch of Latin words is read again with English.
void TesseractRecognizer::rereadLatin(std::vector<Row>& rows, Pix* pix,
                                      const std::atomic<bool>& cancelled) {
    bool set = false;
    for (Row& row : rows) {
        std::vector<Word> words;
        for (std::size_t i = 0; i < row.words.size();) {
            if (cancelled.load())
                return;
            std::size_t j = i;
            QRect box;
            QString first;
            float confidence = 100;
            while (j < row.words.size() && row.words[j].latin) {
                first += row.words[j].text;
                confidence = std::min(confidence, row.words[j].confidence);
                box |= row.words[j++].box;
            }
            if (j == i) {
                words.push_back(std::move(row.words[i++]));
                continue;
            }
            // The engine's word boxes can reach over their neighbours.
            if (i > 0)
                box.setLeft(std::max(box.left(), words.back().box.x() + words.back().box.width()));
            if (j < row.words.size())
                box.setRight(std::min(box.right(), row.words[j].box.left() - 1));
            if (!set) {
                load(latin_, latinLoaded_, QStringLiteral("eng"));
                latin_->SetImage(pix);
                latin_->SetSourceResolution(300);
                latin_->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
                set = true;
            }
            const int pad = std::max(2, row.box.height() / 5);
            const QRect area = box.adjusted(-pad, -pad, pad, pad)
                                   .intersected(QRect(0, 0, int(pixGetWidth(pix)), int(pixGetHeight(pix))));
            latin_->SetRectangle(area.x(), area.y(), area.width(), area.height());
            std::unique_ptr<char[]> text(latin_->GetUTF8Text());
            const QString again = text ? QString::fromUtf8(text.get()).simplified() : QString();
            int* confs = latin_->AllWordConfidences();
            int engConfidence = 100;
            for (int* c = confs; c && *c >= 0; ++c)
                engConfidence = std::min(engConfidence, *c);
            delete[] confs;
            if (qEnvironmentVariableIsSet("KORVEL_OCR_DEBUG"))
                fprintf(stderr, "stretch '%s' %.0f -> '%s' %d\n", qPrintable(first), confidence, qPrintable(again), engConfidence);
            if (!again.isEmpty() && std::none_of(again.begin(), again.end(), isWide) &&
                editDistance(again, first) <= knob("KORVEL_OCR_SIM", 3) * std::max(qsizetype(1), first.size()) / 10 + 1 && engConfidence >= confidence + knob("KORVEL_OCR_MARGIN", 0)) {
                words.push_back({again, box, true});
            } else {
                for (std::size_t k = i; k < j; ++k)
                    words.push_back(std::move(row.words[k]));
            }
            i = j;
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
    const bool latinApart = knob("KORVEL_OCR_APART", 1) && names.size() > 1 && names.removeAll(QStringLiteral("eng")) > 0;
    if (qEnvironmentVariableIsSet("KORVEL_OCR_LANGS"))
        names = qEnvironmentVariable("KORVEL_OCR_LANGS").split(QLatin1Char('+'));
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
    api_->Clear();
    if (latinApart)
        rereadLatin(rows, pix.get(), cancelled);

    std::vector<RecognizedLine> lines;
    for (const Row& row : rows) {
        RecognizedLine line;
        line.text = rowText(row);
        const QRect& b = row.box;
        line.box = QRect(QPoint(int(std::floor(b.x() / scale)), int(std::floor(b.y() / scale))),
                         QPoint(int(std::ceil((b.x() + b.width()) / scale)) - 1,
                                int(std::ceil((b.y() + b.height()) / scale)) - 1));
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
