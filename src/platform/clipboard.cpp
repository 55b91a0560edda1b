#include "clipboard.h"

#include "pngcheck.h"

#include <QClipboard>
#include <QGuiApplication>
#include <QImage>
#include <QMimeData>

namespace korvel::Clipboard {

bool copyPng(const QByteArray& png) {
    QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard || png.isEmpty())
        return false;
    const QImage image = decodedPng(png);
    if (image.isNull())
        return false;
    auto* mime = new QMimeData;
    mime->setImageData(image);
    // Set after the image, so that a PNG request gets exactly these bytes
    // rather than a fresh encoding of the image.
    mime->setData(QStringLiteral("image/png"), png);
    clipboard->clear();
    clipboard->setMimeData(mime);
    return clipboard->mimeData() != nullptr;
}

bool copyText(const QString& text) {
    QClipboard* clipboard = qGuiApp ? QGuiApplication::clipboard() : nullptr;
    if (!clipboard)
        return false;
    clipboard->setText(text);
    return true;
}

} // namespace korvel::Clipboard
