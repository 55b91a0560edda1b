// Any bytes as a history entry, decoded the way the history window's
// thumbnails and preview are: a scaled image within the bound asked for, or
// a null image, never a crash nor an allocation of what a damaged chunk
// claims. Only PNG decodes, and never beyond the pixel guard.
#include "fuzzrequire.h"
#include "history/screenshothistory.h"

#include <QBuffer>
#include <QImageReader>

#include <algorithm>
#include <cstdint>

using namespace korvel;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Decoders report damaged files on standard error; that is no finding.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1)
        return 0;
    // The first byte picks the bound: list thumbnails, the preview, or odd ones.
    const int maxima[] = {96, 700, 1, 33};
    const int maximum = maxima[data[0] % 4];
    QByteArray bytes(reinterpret_cast<const char*>(data + 1), qsizetype(size - 1));
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    const QImage image = ScreenshotHistory::thumbnail(&buffer, maximum);
    if (image.isNull())
        return 0;
    require(image.width() <= maximum && image.height() <= maximum);
    require(bytes.startsWith("\x89PNG\r\n\x1a\n"));

    QBuffer again(&bytes);
    again.open(QIODevice::ReadOnly);
    const QSize source = QImageReader(&again).size();
    require(source.isValid() && qint64(source.width()) * source.height() <=
                                    ScreenshotHistory::maximumThumbnailSourcePixels);
    return 0;
}
