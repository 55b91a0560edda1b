#include "visualchildregions.h"

#include "screensnapshot.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdlib>

namespace korvel {
namespace {

constexpr double maxSamples = 1536;
constexpr int colorTolerance = 10;
constexpr int edgeContrast = 13;
constexpr int probes = 40;
constexpr size_t maxRegions = 256;

// One working sample per point at most; R, G and B sit in the same three
// bytes for every 32-bit format used below, and alpha is never compared.
struct Bitmap {
    QImage source; // keeps the pixels a view points into alive
    QImage image;
    int w = 0, h = 0;
    const quint32* at(int y) const {
        return reinterpret_cast<const quint32*>(image.constScanLine(y));
    }
};

int channelDistance(quint32 a, quint32 b) {
    const int d0 = std::abs(int(a & 0xff) - int(b & 0xff));
    const int d1 = std::abs(int((a >> 8) & 0xff) - int((b >> 8) & 0xff));
    const int d2 = std::abs(int((a >> 16) & 0xff) - int((b >> 16) & 0xff));
    return std::max({d0, d1, d2});
}

Bitmap workingBitmap(const QImage& image, const QRect& crop, int w, int h) {
    Bitmap b;
    b.w = w;
    b.h = h;
    const QImage::Format f = image.format();
    if (f == QImage::Format_RGB32 || f == QImage::Format_ARGB32 ||
        f == QImage::Format_ARGB32_Premultiplied) {
        // A view onto the crop: a snapshot is never copied or converted whole.
        b.source = image;
        b.image = QImage(image.constScanLine(crop.y()) + size_t(crop.x()) * 4, crop.width(),
                         crop.height(), image.bytesPerLine(), f);
    } else {
        b.image = image.copy(crop).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    }
    if (crop.size() != QSize(w, h))
        b.image = b.image.scaled(w, h, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    if (b.image.size() != QSize(w, h) || b.image.depth() != 32)
        return {};
    return b;
}

struct Area {
    int label = 0;
    qint64 count = 0;
    int x0 = 0, x1 = 0, y0 = 0, y1 = 0;
    int width() const { return x1 - x0 + 1; }
    int height() const { return y1 - y0 + 1; }
};

class Labeller {
public:
    explicit Labeller(const Bitmap& bitmap)
        : b_(bitmap)
        , labels_(size_t(bitmap.w) * size_t(bitmap.h), 0) {}

    int label(int x, int y) const { return labels_[size_t(y) * size_t(b_.w) + size_t(x)]; }

    // Span filling: every sample is labelled once and its row neighbours
    // are scanned once per span, with the tolerance against the seed.
    Area grow(int sx, int sy, int label) {
        const quint32 seed = b_.at(sy)[sx];
        Area a{label, 0, sx, sx, sy, sy};
        auto joins = [&](int x, int y) {
            return labels_[size_t(y) * size_t(b_.w) + size_t(x)] == 0 &&
                   channelDistance(b_.at(y)[x], seed) <= colorTolerance;
        };
        stack_.clear();
        stack_.push_back({sx, sy});
        while (!stack_.empty()) {
            const auto [x, y] = stack_.back();
            stack_.pop_back();
            if (!joins(x, y))
                continue;
            int l = x, r = x;
            while (l > 0 && joins(l - 1, y))
                --l;
            while (r + 1 < b_.w && joins(r + 1, y))
                ++r;
            int* row = &labels_[size_t(y) * size_t(b_.w)];
            std::fill(row + l, row + r + 1, label);
            a.count += r - l + 1;
            a.x0 = std::min(a.x0, l);
            a.x1 = std::max(a.x1, r);
            a.y0 = std::min(a.y0, y);
            a.y1 = std::max(a.y1, y);
            for (int ny : {y - 1, y + 1}) {
                if (ny < 0 || ny >= b_.h)
                    continue;
                bool inRun = false;
                for (int nx = l; nx <= r; ++nx) {
                    const bool j = joins(nx, ny);
                    if (j && !inRun)
                        stack_.push_back({nx, ny});
                    inRun = j;
                }
            }
        }
        return a;
    }

private:
    const Bitmap& b_;
    std::vector<int> labels_;
    std::vector<std::array<int, 2>> stack_;
};

// The 40 positions along the rows and columns of an area's box at which the
// frame and edge tests look, and the frame test's inset.
struct Probes {
    int inset = 0;
    std::array<int, probes> xs{}, ys{};

    explicit Probes(const Area& a)
        : inset(std::min({3, a.width() / 8, a.height() / 8})) {
        for (int i = 0; i < probes; ++i) {
            xs[size_t(i)] = along(a.x0, a.x1 - a.x0, i);
            ys[size_t(i)] = along(a.y0, a.y1 - a.y0, i);
        }
    }
    int along(int start, int span, int i) const {
        return start + inset + ((span - 2 * inset) * i) / (probes - 1);
    }
};

bool passesSize(const Area& a, double k) {
    const double bw = a.width(), bh = a.height();
    return std::min(bw, bh) / k >= 58 && std::max(bw, bh) / k >= 98 && bw * bh / (k * k) >= 7600 &&
           double(a.count) / (bw * bh) >= 0.55;
}

// The area encloses its own box: its label shows on all four inset lines.
bool passesFrame(const Area& a, const Probes& p, const Labeller& labels) {
    const int m = p.inset;
    const auto& xs = p.xs;
    const auto& ys = p.ys;
    int top = 0, bottom = 0, left = 0, right = 0;
    for (int i = 0; i < probes; ++i) {
        top += labels.label(xs[size_t(i)], a.y0 + m) == a.label;
        bottom += labels.label(xs[size_t(i)], a.y1 - m) == a.label;
        left += labels.label(a.x0 + m, ys[size_t(i)]) == a.label;
        right += labels.label(a.x1 - m, ys[size_t(i)]) == a.label;
    }
    return std::min({top, bottom, left, right}) >= 30;
}

// The area is visibly set off: along each outer line its samples contrast
// with what lies one or two steps outside, or the side is the bitmap border.
bool passesEdge(const Area& a, const Probes& p, const Labeller& labels, const Bitmap& b) {
    const auto& xs = p.xs;
    const auto& ys = p.ys;
    auto setOff = [&](int x, int y, int dx, int dy) {
        if (labels.label(x, y) != a.label)
            return false;
        const quint32 here = b.at(y)[x];
        for (int step : {1, 2}) {
            const int ox = std::clamp(x + dx * step, 0, b.w - 1);
            const int oy = std::clamp(y + dy * step, 0, b.h - 1);
            if (channelDistance(here, b.at(oy)[ox]) > edgeContrast)
                return true;
        }
        return false;
    };
    auto side = [&](bool onBorder, auto&& sample) {
        if (onBorder)
            return true;
        int count = 0;
        for (int i = 0; i < probes; ++i)
            count += sample(i);
        return count >= 24;
    };
    return side(a.y0 == 0, [&](int i) { return setOff(xs[size_t(i)], a.y0, 0, -1); }) &&
           side(a.y1 == b.h - 1, [&](int i) { return setOff(xs[size_t(i)], a.y1, 0, 1); }) &&
           side(a.x0 == 0, [&](int i) { return setOff(a.x0, ys[size_t(i)], -1, 0); }) &&
           side(a.x1 == b.w - 1, [&](int i) { return setOff(a.x1, ys[size_t(i)], 1, 0); });
}

} // namespace

std::vector<QRectF> visualChildRegions(const QImage& image, const QSizeF& screenSize,
                                       const QRectF& window) {
    const QRect crop = pixelCrop(window, screenSize, image.size());
    if (crop.isEmpty())
        return {};
    const double sx = screenSize.width() / image.width();
    const double sy = screenSize.height() / image.height();
    // The window in points, aligned to the whole pixels that were cut out.
    const QRectF wpt(crop.x() * sx, screenSize.height() - (crop.y() + crop.height()) * sy,
                     crop.width() * sx, crop.height() * sy);
    const double k = std::min(maxSamples / std::max(wpt.width(), wpt.height()), 1.0);
    const int w = std::max(1, int(wpt.width() * k));
    const int h = std::max(1, int(wpt.height() * k));
    const Bitmap bitmap = workingBitmap(image, crop, w, h);
    if (bitmap.image.isNull())
        return {};

    Labeller labels(bitmap);
    std::vector<QRectF> regions;
    int next = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            if (labels.label(x, y) != 0)
                continue;
            const Area a = labels.grow(x, y, ++next);
            if (!passesSize(a, k))
                continue;
            const Probes probed(a);
            if (!passesFrame(a, probed, labels) || !passesEdge(a, probed, labels, bitmap))
                continue;
            // Bitmap rows grow downward, display-local y grows upward.
            QRectF r(wpt.x() + double(a.x0) / w * wpt.width(),
                     wpt.y() + wpt.height() - double(a.y1 + 1) / h * wpt.height(),
                     double(a.width()) / w * wpt.width(), double(a.height()) / h * wpt.height());
            r = r.adjusted(-1, -1, 1, 1).intersected(window);
            if (r.isEmpty() || r == window ||
                std::find(regions.begin(), regions.end(), r) != regions.end())
                continue;
            regions.push_back(r);
        }
    }
    std::stable_sort(regions.begin(), regions.end(), [](const QRectF& a, const QRectF& b) {
        return a.width() * a.height() < b.width() * b.height();
    });
    if (regions.size() > maxRegions)
        regions.resize(maxRegions);
    return regions;
}

} // namespace korvel
