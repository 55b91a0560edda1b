#pragma once

// Straightforward filters to check the fast ones against and to measure them
// by: every output pixel is computed from its whole kernel.
#include <QImage>

#include <algorithm>
#include <cmath>
#include <vector>

namespace korvel::reference {

inline QImage pixellate(const QImage& image, const QRect& area, int block) {
    QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < area.height(); ++y) {
        for (int x = 0; x < area.width(); ++x) {
            const int bx = (area.x() + x) / block * block, by = (area.y() + y) / block * block;
            unsigned long long sum[4] = {0, 0, 0, 0}, n = 0;
            for (int yy = by; yy < std::min(by + block, image.height()); ++yy) {
                for (int xx = bx; xx < std::min(bx + block, image.width()); ++xx) {
                    const QRgb p = image.pixel(xx, yy);
                    sum[0] += qBlue(p), sum[1] += qGreen(p), sum[2] += qRed(p), sum[3] += qAlpha(p);
                    ++n;
                }
            }
            auto mean = [&](int c) { return int((sum[c] + n / 2) / n); };
            out.setPixel(x, y, qRgba(mean(2), mean(1), mean(0), mean(3)));
        }
    }
    return out;
}

// A true Gaussian, separable, with clamped edges, in floating point.
inline QImage gaussianBlur(const QImage& image, const QRect& area, double sigma) {
    const int radius = int(std::ceil(3 * sigma));
    std::vector<double> kernel(size_t(2 * radius + 1));
    double total = 0;
    for (int i = -radius; i <= radius; ++i)
        total += kernel[size_t(i + radius)] = std::exp(-i * i / (2 * sigma * sigma));
    for (double& k : kernel)
        k /= total;
    const int w = image.width(), h = image.height();
    auto channel = [](QRgb p, int c) {
        return c == 0 ? qBlue(p) : c == 1 ? qGreen(p) : c == 2 ? qRed(p) : qAlpha(p);
    };
    // Horizontal pass over all rows, then vertical over the area.
    std::vector<double> mid(size_t(w) * size_t(h) * 4);
    for (int y = 0; y < h; ++y)
        for (int x = area.x(); x < area.x() + area.width(); ++x)
            for (int c = 0; c < 4; ++c) {
                double s = 0;
                for (int i = -radius; i <= radius; ++i)
                    s += kernel[size_t(i + radius)] *
                         channel(image.pixel(std::clamp(x + i, 0, w - 1), y), c);
                mid[(size_t(y) * size_t(w) + size_t(x)) * 4 + size_t(c)] = s;
            }
    QImage out(area.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < area.height(); ++y)
        for (int x = 0; x < area.width(); ++x) {
            int v[4];
            for (int c = 0; c < 4; ++c) {
                double s = 0;
                for (int i = -radius; i <= radius; ++i) {
                    const int yy = std::clamp(area.y() + y + i, 0, h - 1);
                    s += kernel[size_t(i + radius)] *
                         mid[(size_t(yy) * size_t(w) + size_t(area.x() + x)) * 4 + size_t(c)];
                }
                v[c] = int(std::lround(s));
            }
            out.setPixel(x, y, qRgba(v[2], v[1], v[0], v[3]));
        }
    return out;
}

} // namespace korvel::reference
