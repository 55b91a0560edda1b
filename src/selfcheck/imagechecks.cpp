#include "imagechecks.h"

#include "annotate/privacyeffects.h"
#include "capture/childregionresolver.h"
#include "capture/regionscenes.h"
#include "capture/visualchildregions.h"
#include "export/pngencoder.h"
#include "longshot/longdocument.h"
#include "longshot/scrollstitcher.h"

#include <QPainter>

#include <algorithm>
#include <tuple>

namespace korvel::selfcheck {
namespace {

QString describe(const QRectF& r) {
    return QStringLiteral("%1,%2 %3x%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
}

std::vector<QRectF> sorted(std::vector<QRectF> v) {
    std::sort(v.begin(), v.end(), [](const QRectF& a, const QRectF& b) {
        return std::tuple(a.x(), a.y(), a.width(), a.height()) <
               std::tuple(b.x(), b.y(), b.width(), b.height());
    });
    return v;
}

// Draws the image, then the mark over it, the way a canvas exports.
QImage renderPrivacy(const QImage& image, const Mark& mark) {
    const PrivacySurface surface{image, QSizeF(image.size()), image.size(), QPointF(0, 0)};
    PrivacyTileCache cache;
    QImage out(image.size(), QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&out);
    painter.drawImage(QPoint(0, 0), image);
    // Annotation space runs up from the lower-left corner.
    painter.translate(0, image.height());
    painter.scale(1, -1);
    drawPrivacyMark(painter, mark, surface, cache);
    return out;
}

Mark privacyMark(Tool tool, const QRectF& area) {
    Mark mark;
    mark.tool = tool;
    mark.points = {area.topLeft(), area.bottomRight()};
    mark.width = 3; // 24-pixel blocks, a blur of 24 pixels at 1×
    return mark;
}

} // namespace

Failure checkStitcher() {
    constexpr int width = 360;
    constexpr int viewport = 300;
    constexpr int step = 110;
    const QImage page = scenes::longDocument(width, 2400);
    const QImage header = scenes::bandImage(width, 30, 11, qRgb(235, 238, 245));
    const QImage footer = scenes::bandImage(width, 26, 12, qRgb(40, 44, 52));
    ScrollStitcher stitcher(scenes::frameAt(page, 0, viewport, header, footer), 40'000'000);
    int last = 0;
    for (int offset = step; offset + viewport <= page.height(); offset += step) {
        QImage frame = scenes::frameAt(page, offset, viewport, header, footer);
        if (broken("stitcher") && offset >= 10 * step)
            frame.fill(Qt::magenta);
        const ScrollAppendResult result = stitcher.append(frame, false);
        if (result != ScrollAppendResult::appended(step)) {
            return QStringLiteral("frame at row %1 gave \"%2\" instead of \"appended %3\"")
                .arg(offset)
                .arg(result.toString())
                .arg(step);
        }
        last = offset;
    }
    const std::optional<QImage> stitched = stitcher.image();
    if (!stitched)
        return QStringLiteral("no long image");
    return comparePixels(*stitched,
                         scenes::expectedStitch(page, 0, last, viewport, header, footer));
}

Failure checkRegions() {
    const QSizeF screen(1200, 800);
    const QRectF window(100, 50, 1000, 700);
    std::vector<QRectF> panels;
    const QImage image = scenes::display(screen, 1, window, [&](QPainter& p) {
        panels = scenes::appWindow(p);
        if (broken("regions"))
            p.fillRect(panels.back(), QColor(240, 240, 240));
    });
    // The toolbar and sidebar are found with their edge, a point wider all
    // round (clipped to the window); the cards as drawn, outline included.
    std::vector<QRectF> expected;
    for (size_t i = 0; i < panels.size(); ++i) {
        const QRectF r = i < 2 ? panels[i].adjusted(-1, -1, 1, 1) : panels[i];
        expected.push_back(scenes::local(window, r).intersected(window));
    }
    const std::vector<QRectF> found = sorted(visualChildRegions(image, screen, window));
    expected = sorted(expected);
    for (const QRectF& r : expected) {
        if (std::find(found.begin(), found.end(), r) == found.end())
            return QStringLiteral("panel %1 not found").arg(describe(r));
    }
    for (const QRectF& r : found) {
        if (std::find(expected.begin(), expected.end(), r) == expected.end())
            return QStringLiteral("found %1, which is no panel").arg(describe(r));
    }

    // The resolver without accessibility answers from the same pixels.
    ChildAccessibilityWorker worker;
    auto resolver = std::make_shared<ChildRegionResolver>(
        image, std::vector<ChildRegionTarget>{{window, 0}}, QRectF(QPointF(0, 0), screen), worker,
        AccessibilityQuery{});
    const QRectF card = scenes::local(window, panels[4]);
    const QPointF inside = card.center();
    const std::vector<QRectF> candidates =
        childRegionCandidates(resolver->regions(0, inside), inside, window);
    if (candidates.size() < 2 || candidates.front() != card || candidates.back() != window)
        return QStringLiteral("the resolver does not offer the card under %1,%2 first")
            .arg(inside.x())
            .arg(inside.y());
    return std::nullopt;
}

Failure checkEffects() {
    const QImage original = checkerboard(QSize(240, 160));
    QImage input = original;
    if (broken("effects"))
        QPainter(&input).fillRect(QRect(48, 48, 24, 24), Qt::white);
    // Annotation space is y up: the areas are the pixel rows 40 to 136.
    const QRect mosaicPixels(24, 40, 96, 96);
    const QRect blurPixels(136, 40, 80, 96);
    const QImage mosaic = renderPrivacy(input, privacyMark(Tool::mosaic, QRectF(24, 24, 96, 96)));
    const QImage blur = renderPrivacy(input, privacyMark(Tool::blur, QRectF(136, 24, 80, 96)));
    for (int y = 0; y < original.height(); ++y) {
        for (int x = 0; x < original.width(); ++x) {
            const QPoint p(x, y);
            const QRgb before = original.pixel(p);
            const QRgb m = mosaic.pixel(p);
            const QRgb b = blur.pixel(p);
            if (mosaicPixels.contains(p) ? m != qRgb(128, 128, 128) : m != before)
                return QStringLiteral("mosaic pixel %1,%2 is #%3").arg(x).arg(y).arg(m, 8, 16);
            // A wide blur of the squares is grey within a few levels.
            const bool grey = std::abs(qRed(b) - 128) <= 6 && qRed(b) == qGreen(b) &&
                              qGreen(b) == qBlue(b) && qAlpha(b) == 255;
            if (blurPixels.contains(p) ? !grey : b != before)
                return QStringLiteral("blur pixel %1,%2 is #%3").arg(x).arg(y).arg(b, 8, 16);
        }
    }
    return std::nullopt;
}

Failure checkExport() {
    // Every neighbourhood differs; the translucent one has straight alpha
    // from 20 to 255 that must come back unchanged.
    QImage opaque(301, 157, QImage::Format_RGB32);
    QImage translucent(173, 89, QImage::Format_ARGB32);
    for (QImage* image : {&opaque, &translucent}) {
        for (int y = 0; y < image->height(); ++y) {
            for (int x = 0; x < image->width(); ++x) {
                image->setPixel(x, y,
                                qRgba((x * 7) % 256, (y * 5) % 256, (x * y) % 256,
                                      image == &opaque ? 255 : 20 + (x + 3 * y) % 236));
            }
        }
    }
    for (const QImage& image : {opaque, translucent}) {
        std::optional<QByteArray> png = encodePng(image);
        if (!png)
            return QStringLiteral("the PNG encoder failed");
        if (broken("export"))
            (*png)[png->size() / 2] = char(~(*png)[png->size() / 2]);
        const QImage decoded = QImage::fromData(*png, "PNG");
        if (decoded.isNull())
            return QStringLiteral("the PNG does not decode");
        if (decoded.size() != image.size() || decoded.hasAlphaChannel() != image.hasAlphaChannel())
            return QStringLiteral("the PNG decodes to another size or kind of image");
        const QImage::Format format =
            image.hasAlphaChannel() ? QImage::Format_ARGB32 : QImage::Format_RGB32;
        if (decoded.convertToFormat(format) != image)
            return QStringLiteral("the PNG decodes to other pixels");
    }
    return std::nullopt;
}

} // namespace korvel::selfcheck
