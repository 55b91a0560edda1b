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

// The Chinese models put a space between every two glyphs; Chinese text has
// none. Spaces next to Latin text stay.
QString withoutWideSpaces(const QString& text) {
    QString result;
    result.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text[i] == QLatin1Char(' ') && !result.isEmpty() && isWide(result.back())) {
            qsizetype next = i;
            while (next < text.size() && text[next] == QLatin1Char(' '))
                ++next;
            if (next < text.size() && isWide(text[next])) {
                i = next - 1;
                continue;
            }
        }
        result += text[i];
    }
    return result;
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
    api->SetPageSegMode(tesseract::PSM_AUTO);
    loaded = models;
}

// With Chinese first, Tesseract often joins English words ("Secondimage").
// Lines without Chinese are read again with English alone; the new reading
// replaces the old only where it differs in spacing alone, so no character
// is ever changed by this.
void TesseractRecognizer::respaceLatinLines(std::vector<RecognizedLine>& lines, Pix* pix,
                                            double scale, const std::atomic<bool>& cancelled) {
    const auto compact = [](QString text) {
        text.remove(QLatin1Char(' '));
        return text;
    };
    bool set = false;
    for (RecognizedLine& line : lines) {
        if (cancelled.load())
            break;
        if (std::any_of(line.text.begin(), line.text.end(), isWide))
            continue;
        if (!set) {
            load(latin_, latinLoaded_, QStringLiteral("eng"));
            latin_->SetImage(pix);
            latin_->SetSourceResolution(300);
            latin_->SetPageSegMode(tesseract::PSM_SINGLE_LINE);
            set = true;
        }
        // The line's box in the enlarged image, with a little room around.
        const int pad = int(4 * scale);
        const int left = std::max(0, int(line.box.x() * scale) - pad);
        const int top = std::max(0, int(line.box.y() * scale) - pad);
        const int right =
            std::min(int(pixGetWidth(pix)), int((line.box.x() + line.box.width()) * scale) + pad);
        const int bottom =
            std::min(int(pixGetHeight(pix)), int((line.box.y() + line.box.height()) * scale) + pad);
        latin_->SetRectangle(left, top, right - left, bottom - top);
        std::unique_ptr<char[]> text(latin_->GetUTF8Text());
        const QString again = text ? QString::fromUtf8(text.get()).trimmed() : QString();
        if (!again.contains(QLatin1Char('\n')) && again != line.text &&
            compact(again) == compact(line.text))
            line.text = again;
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

    std::vector<RecognizedLine> lines;
    std::unique_ptr<tesseract::ResultIterator> it(api_->GetIterator());
    if (it) {
        do {
            if (it->Empty(tesseract::RIL_TEXTLINE))
                continue;
            std::unique_ptr<char[]> text(it->GetUTF8Text(tesseract::RIL_TEXTLINE));
            int left = 0, top = 0, right = 0, bottom = 0;
            if (!text || !it->BoundingBox(tesseract::RIL_TEXTLINE, &left, &top, &right, &bottom))
                continue;
            RecognizedLine line;
            line.text = withoutWideSpaces(QString::fromUtf8(text.get()).trimmed());
            line.box = QRect(
                QPoint(int(std::floor(left / scale)), int(std::floor(top / scale))),
                QPoint(int(std::ceil(right / scale)) - 1, int(std::ceil(bottom / scale)) - 1));
            if (!line.text.isEmpty())
                lines.push_back(std::move(line));
        } while (it->Next(tesseract::RIL_TEXTLINE));
    }
    api_->Clear();
    if (names.size() > 1 && names.contains(QStringLiteral("eng")) &&
        names.first() != QStringLiteral("eng"))
        respaceLatinLines(lines, pix.get(), scale, cancelled);
    return lines;
}

} // namespace ocr

std::unique_ptr<TextRecognizer> createTextRecognizer(const QString& dataPath) {
    return std::make_unique<ocr::TesseractRecognizer>(dataPath);
}

} // namespace korvel
