#pragma once

// A long document drawn in code for the stitcher's tests, its benchmark and
// the long-capture self-checks: lines of "text" (word-shaped ink of random
// widths and heights), photo-like blocks, stretches of white space with a
// lone line, and the frames a scrolled viewport would show of it, with an
// optional sticky header and footer painted over every frame.

#include <QImage>
#include <QPainter>

#include <random>

namespace korvel::scenes {

inline void drawTextLine(QImage& page, int y, std::mt19937& rng, int margin = 12) {
    std::uniform_int_distribution<int> wordWidth(8, 70);
    std::uniform_int_distribution<int> gap(4, 12);
    std::uniform_int_distribution<int> ink(0, 90);
    std::uniform_int_distribution<int> stroke(3, 12);
    int x = margin + gap(rng);
    const int end =
        page.width() - margin - std::uniform_int_distribution<int>(0, page.width() / 3)(rng);
    while (x < end) {
        const int w = std::min(wordWidth(rng), end - x);
        for (int sx = x; sx < x + w; sx += 2) {
            const int h = stroke(rng);
            const int level = ink(rng);
            const QRgb colour = qRgb(level, level, level + 40);
            for (int sy = y + 12 - h; sy < y + 12; ++sy) {
                if (sy >= 0 && sy < page.height())
                    page.setPixel(sx, sy, colour);
            }
        }
        x += w + gap(rng);
    }
}

inline void drawPhoto(QImage& page, int y, int height, std::mt19937& rng) {
    const int base = std::uniform_int_distribution<int>(0, 255)(rng);
    // A cheap generator for the grain: photos are most of the drawing work.
    quint32 state = rng();
    auto noise = [&state] {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        return int(state % 51) - 25;
    };
    const int x0 = 16;
    const int x1 = page.width() - 16;
    for (int yy = y; yy < std::min(y + height, page.height()); ++yy) {
        auto* line = reinterpret_cast<QRgb*>(page.scanLine(yy));
        for (int x = x0; x < x1; ++x) {
            const int r = std::clamp((x * 255) / page.width() + noise(), 0, 255);
            const int g = std::clamp(((yy - y) * 255) / height + noise(), 0, 255);
            line[x] = qRgb(r, g, std::clamp(base + noise(), 0, 255));
        }
    }
}

// Sections repeat text, photo, text, white space with a lone line, so every
// viewport position is unique but some are sparse.
inline QImage longDocument(int width, int height, unsigned seed = 7) {
    QImage page(width, height, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    std::mt19937 rng(seed);
    int y = 8;
    int section = 0;
    while (y < height) {
        switch (section++ % 4) {
        case 0:
        case 2:
            for (int i = 0; i < 12 && y < height; ++i, y += 22)
                drawTextLine(page, y, rng);
            y += 10;
            break;
        case 1:
            drawPhoto(page, y, 140, rng);
            y += 156;
            break;
        default:
            y += 60;
            drawTextLine(page, y, rng);
            y += 70;
            break;
        }
    }
    return page;
}

inline QImage bandImage(int width, int height, unsigned seed, QRgb background) {
    QImage band(width, height, QImage::Format_ARGB32_Premultiplied);
    band.fill(background);
    std::mt19937 rng(seed);
    for (int y = 2; y + 12 < height; y += 14)
        drawTextLine(band, y, rng, 20);
    return band;
}

// The viewport at `offset` rows into the page, with the sticky bands on top.
inline QImage frameAt(const QImage& page, int offset, int viewport, const QImage& header = {},
                      const QImage& footer = {}) {
    QImage frame = page.copy(0, offset, page.width(), viewport);
    QPainter painter(&frame);
    if (!header.isNull())
        painter.drawImage(0, 0, header);
    if (!footer.isNull())
        painter.drawImage(0, viewport - footer.height(), footer);
    return frame;
}

// What a perfect stitch of frames from `first` to `last` (offsets, the
// page scrolled forwards) shows: the header, the page between, the footer.
inline QImage expectedStitch(const QImage& page, int first, int last, int viewport,
                             const QImage& header = {}, const QImage& footer = {}) {
    QImage whole = page.copy(0, first, page.width(), last - first + viewport);
    QPainter painter(&whole);
    if (!header.isNull())
        painter.drawImage(0, 0, header);
    if (!footer.isNull())
        painter.drawImage(0, whole.height() - footer.height(), footer);
    return whole;
}

} // namespace korvel::scenes
