#include "readableimage.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace korvel {
namespace {

int knob(const char* name, int fallback) {
    const QByteArray v = qgetenv(name);
    return v.isEmpty() ? fallback : v.toInt();
}

// Grey, with transparent parts over white.
QImage greyOverWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_Grayscale8);
    QImage flat = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < flat.height(); ++y) {
        auto* row = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < flat.width(); ++x) {
            const int uncovered = 255 - qAlpha(row[x]);
            row[x] = qRgb(qRed(row[x]) + uncovered, qGreen(row[x]) + uncovered,
                          qBlue(row[x]) + uncovered);
        }
    }
    return flat.convertToFormat(QImage::Format_Grayscale8);
}

// The maximum of each window of 2r+1 values along a line (van Herk and
// Gil-Werman: three comparisons per value whatever r is).
void windowMax(std::vector<uchar>& line, int radius) {
    const std::size_t n = line.size(), r = std::size_t(std::max(0, radius)), k = 2 * r + 1;
    if (n == 0 || r == 0)
        return;
    std::vector<uchar> ahead(n), behind(n);
    for (std::size_t i = 0; i < n; ++i)
        ahead[i] = i % k == 0 ? line[i] : std::max(ahead[i - 1], line[i]);
    for (std::size_t i = n; i-- > 0;)
        behind[i] = (i + 1) % k == 0 || i + 1 == n ? line[i] : std::max(behind[i + 1], line[i]);
    for (std::size_t i = 0; i < n; ++i)
        line[i] = std::max(behind[i > r ? i - r : 0], ahead[std::min(n - 1, i + r)]);
}

} // namespace

QImage readableImage(const QImage& image, int textHeight) {
    QImage grey = greyOverWhite(image);
    if (grey.isNull() || knob("KORVEL_OCR_PREP", 1) == 0)
        return grey;
    const int w = grey.width(), h = grey.height();
    const int minRun = std::max(knob("KORVEL_OCR_RUNMIN", 24), knob("KORVEL_OCR_RUNK", 3) * textHeight);
    const int reach = std::max(48, 4 * textHeight);
    constexpr int step = 3;
    constexpr int drift = 8;

    // Background seeds: long flat runs along a row. Glyph strokes are shorter
    // than this, ground between and around text lines is not.
    std::vector<std::int16_t> seed(std::size_t(w) * std::size_t(h), -1);
    for (int y = 0; y < h; ++y) {
        const uchar* row = grey.constScanLine(y);
        std::int16_t* out = seed.data() + std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w;) {
            const int start = x;
            ++x;
            while (x < w && std::abs(int(row[x]) - int(row[x - 1])) <= step &&
                   std::abs(int(row[x]) - int(row[start])) <= drift)
                ++x;
            if (x - start >= minRun) {
                for (int i = start; i < x; ++i)
                    out[i] = row[i];
            }
        }
    }

    if (knob("KORVEL_OCR_VSEED", 1)) {
        std::vector<int> start(static_cast<std::size_t>(w), 0);
        for (int y = 1; y <= h; ++y) {
            const uchar* row = y < h ? grey.constScanLine(y) : nullptr;
            const uchar* above = grey.constScanLine(y - 1);
            for (int x = 0; x < w; ++x) {
                int& s = start[std::size_t(x)];
                if (row && std::abs(int(row[x]) - int(above[x])) <= step &&
                    std::abs(int(row[x]) - int(grey.constScanLine(s)[x])) <= drift)
                    continue;
                if (y - s >= minRun) {
                    for (int i = s; i < y; ++i)
                        seed[std::size_t(i) * std::size_t(w) + std::size_t(x)] = grey.constScanLine(i)[x];
                }
                s = y;
            }
        }
    }

    // Each pixel's background: the nearest seed above or below it.
    std::vector<std::int16_t> upValue(seed.size());
    std::vector<std::uint16_t> upDistance(seed.size());
    std::vector<std::int16_t> value(static_cast<std::size_t>(w), -1);
    std::vector<int> distance(static_cast<std::size_t>(w), 0);
    for (int y = 0; y < h; ++y) {
        const std::size_t base = std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            if (seed[base + std::size_t(x)] >= 0) {
                value[std::size_t(x)] = seed[base + std::size_t(x)];
                distance[std::size_t(x)] = 0;
            } else if (value[std::size_t(x)] >= 0 && ++distance[std::size_t(x)] > reach) {
                value[std::size_t(x)] = -1;
            }
            upValue[base + std::size_t(x)] = value[std::size_t(x)];
            upDistance[base + std::size_t(x)] = std::uint16_t(distance[std::size_t(x)]);
        }
    }
    std::vector<uchar> contrast(seed.size());
    std::fill(value.begin(), value.end(), -1);
    for (int y = h - 1; y >= 0; --y) {
        const uchar* row = grey.constScanLine(y);
        const std::size_t base = std::size_t(y) * std::size_t(w);
        for (int x = 0; x < w; ++x) {
            const std::size_t i = base + std::size_t(x);
            if (seed[i] >= 0) {
                value[std::size_t(x)] = seed[i];
                distance[std::size_t(x)] = 0;
            } else if (value[std::size_t(x)] >= 0 && ++distance[std::size_t(x)] > reach) {
                value[std::size_t(x)] = -1;
            }
            int ground = 255;
            const int up = upValue[i], down = value[std::size_t(x)];
            if (up >= 0 && down >= 0) {
                const int du = upDistance[i], dd = distance[std::size_t(x)];
                if (du != dd)
                    ground = du < dd ? up : down;
                else
                    ground = std::abs(row[x] - up) > std::abs(row[x] - down) ? up : down;
            } else if (up >= 0) {
                ground = up;
            } else if (down >= 0) {
                ground = down;
            }
            contrast[i] = uchar(std::abs(int(row[x]) - ground));
        }
    }

    // Faint text is stretched to full contrast, relative to the strongest
    // contrast near it.
    const int floor = knob("KORVEL_OCR_FLOOR", 140);
    std::vector<uchar> strongest = contrast;
    if (floor < 255) {
        const int r = std::max(8, knob("KORVEL_OCR_GAINR", 2) * textHeight);
        std::vector<uchar> line(static_cast<std::size_t>(w));
        for (int y = 0; y < h; ++y) {
            std::copy_n(strongest.begin() + std::ptrdiff_t(y) * w, w, line.begin());
            windowMax(line, r);
            std::copy(line.begin(), line.end(), strongest.begin() + std::ptrdiff_t(y) * w);
        }
        line.resize(std::size_t(h));
        for (int x = 0; x < w; ++x) {
            for (int y = 0; y < h; ++y)
                line[std::size_t(y)] = strongest[std::size_t(y) * std::size_t(w) + std::size_t(x)];
            windowMax(line, r);
            for (int y = 0; y < h; ++y)
                strongest[std::size_t(y) * std::size_t(w) + std::size_t(x)] = line[std::size_t(y)];
        }
    }
    QImage result(w, h, QImage::Format_Grayscale8);
    for (int y = 0; y < h; ++y) {
        uchar* out = result.scanLine(y);
        for (int x = 0; x < w; ++x) {
            const std::size_t i = std::size_t(y) * std::size_t(w) + std::size_t(x);
            const int scale = std::max(int(strongest[i]), floor);
            out[x] = uchar(255 - std::min(255, contrast[i] * 255 / scale));
        }
    }
    if (qEnvironmentVariableIsSet("KORVEL_OCR_DUMP"))
        result.save(QString::fromLocal8Bit(qgetenv("KORVEL_OCR_DUMP")));
    return result;
}

} // namespace korvel
