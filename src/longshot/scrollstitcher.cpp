#include "scrollstitcher.h"

#include "longcaptureaxis.h"
#include "overlapcheck.h"

#include <QPainter>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace korvel {
namespace {

// Below this many grey levels a shift is a match at all.
constexpr double goodScore = 7.0;
// Two scores this close cannot be told apart.
constexpr double scoreTolerance = 0.35;
// Candidates closer than this are one match, not two rival ones.
constexpr int ambiguityRows = 8;
constexpr int coarseRows = 24;
constexpr int refinedRows = 110;
constexpr int refinedCount = 24;
constexpr double duplicateDifference = 0.3;
// Fixed band detection: a row is unchanged up to this mean grey difference
// and carries texture above this sum of neighbour differences.
constexpr double bandRowDifference = 1.0;
constexpr int bandRowTexture = 80;
constexpr int bandTexturedRows = 3;
constexpr double previewWidth = 230;
// The full-resolution check: a fit leaves at most this share of the edges
// differing (a scroll bar's thumb, a caret), and needs this many edges to
// say anything; scores this much above the best are no rivals.
constexpr double fitMismatch = 0.03;
constexpr int fitEdges = 64;
constexpr double rivalScore = 2.0;
constexpr int checkedCandidates = 8;

int minimumOverlap(int viewportHeight) {
    return viewportHeight >= 288 ? viewportHeight / 12 : 24;
}

// Columns 3..68 of two signature rows: mean difference and the texture of
// the first.
double rowDifference(const std::uint8_t* a, const std::uint8_t* b) {
    int sum = 0;
    for (int x = 3; x <= 68; ++x)
        sum += std::abs(a[x] - b[x]);
    return sum / 66.0;
}
bool bandTextured(const std::uint8_t* a) {
    int sum = 0;
    for (int x = 3; x <= 68; ++x)
        sum += std::abs(a[x] - a[x - 1]);
    return sum > bandRowTexture;
}

} // namespace

QString ScrollAppendResult::toString() const {
    switch (kind) {
    case Kind::appended:
        return QStringLiteral("appended %1").arg(rows);
    case Kind::cropped:
        return QStringLiteral("cropped %1").arg(rows);
    case Kind::unchanged:
        return QStringLiteral("unchanged");
    case Kind::unmatched:
        return QStringLiteral("unmatched");
    case Kind::limit:
        return QStringLiteral("limit");
    }
    return {};
}

ScrollStitcher::ScrollStitcher(const QImage& image, qint64 maximumPixels)
    : width_(image.width())
    , viewportHeight_(image.height())
    , height_(image.height())
    , previous_(ScrollSignature::of(image))
    , previousFrame_(image.convertToFormat(longCaptureFormat))
    , pieces_{image}
    , maximumPixels_(std::max(qint64(image.width()) * image.height(), maximumPixels)) {}

ScrollAppendResult ScrollStitcher::append(const QImage& image, bool automaticCrop) {
    return appendFrame(image, automaticCrop, true);
}

ScrollAppendResult ScrollStitcher::appendFrame(const QImage& image, bool automaticCrop,
                                               bool mayReverse) {
    const int h = viewportHeight_;
    if (image.isNull() || image.width() != width_ || image.height() != h)
        return ScrollAppendResult::unmatched();
    QImage frame = image;
    if (reverseDirection_) {
        auto turned = reversedScrollImage(image);
        if (!turned)
            return ScrollAppendResult::unmatched();
        frame = *turned;
    }

    frame = frame.convertToFormat(longCaptureFormat);

    ScrollSignature next = ScrollSignature::of(frame);
    int top = top_;
    int bottom = bottom_;
    if (!hasAppended_)
        detectBands(next, top, bottom);
    if (next.difference(previous_) < duplicateDifference) {
        // The signature blurs a changed digit away: only what also agrees at
        // full resolution (or cannot be told apart there) is unchanged.
        const OverlapCheck same = OverlapCheck::of(previousFrame_, frame, 0, top, bottom);
        if (same.edges < fitEdges || same.mismatch <= fitMismatch)
            return ScrollAppendResult::unchanged();
    }
    const int maximumShift = h - top - bottom - minimumOverlap(h);
    if (maximumShift < 2)
        return ScrollAppendResult::unmatched();

    const std::vector<Candidate> ranked =
        rankedCandidates(next, top, bottom, maximumShift, automaticCrop);
    const double still = previous_.score(next, 0, top, bottom, refinedRows);
    std::optional<Candidate> best;
    const Decision decision = verified(frame, ranked, still, top, bottom);
    switch (decision.kind) {
    case Decision::Kind::still:
        return ScrollAppendResult::unchanged();
    case Decision::Kind::none:
        return ScrollAppendResult::unmatched();
    case Decision::Kind::move:
        best = Candidate{decision.shift, 0};
        break;
    case Decision::Kind::unverifiable: {
        // Too little drawn to check: sparse content, judged by the
        // signature alone, less what the pixels ruled out.
        std::vector<Candidate> open = ranked;
        std::erase_if(open, [&](const Candidate& c) {
            return std::find(decision.misfits.begin(), decision.misfits.end(), c.shift) !=
                   decision.misfits.end();
        });
        const bool stillRuledOut = std::find(decision.misfits.begin(), decision.misfits.end(), 0) !=
                                   decision.misfits.end();
        if (const ScrollAppendResult r = bySignature(
                open, stillRuledOut ? std::numeric_limits<double>::infinity() : still, best);
            r.kind != ScrollAppendResult::Kind::appended)
            return r;
        break;
    }
    }

    if (best->shift > 0)
        return extend(frame, std::move(next), best->shift, top, bottom);
    if (!hasAppended_)
        return mayReverse ? reverse(image, automaticCrop) : ScrollAppendResult::unmatched();
    return cutBack(frame, std::move(next), -best->shift);
}

// The signature's own verdict: a clear best shift below the match score,
// with no rival further away that scores as well.
ScrollAppendResult ScrollStitcher::bySignature(const std::vector<Candidate>& ranked, double still,
                                               std::optional<Candidate>& chosen) const {
    if (still < goodScore && (ranked.empty() || still <= ranked.front().score + scoreTolerance))
        return ScrollAppendResult::unchanged();
    if (ranked.empty() || !(ranked.front().score < goodScore))
        return ScrollAppendResult::unmatched();
    const Candidate best = ranked.front();
    for (const Candidate& c : ranked) {
        if (std::abs(c.shift - best.shift) > ambiguityRows &&
            c.score <= best.score + scoreTolerance)
            return ScrollAppendResult::unmatched();
    }
    chosen = best;
    return ScrollAppendResult::appended(best.shift);
}

// The best candidates checked at full resolution, the still position
// first. Fits more than a few rows apart are rivals; among rivals the one
// that continues the recent scrolling wins, or none does: a doubtful frame
// is skipped, never stitched on a guess.
ScrollStitcher::Decision ScrollStitcher::verified(const QImage& frame,
                                                  const std::vector<Candidate>& ranked,
                                                  double still, int top, int bottom) const {
    std::vector<Candidate> checked;
    const double bestScore = ranked.empty() ? still : std::min(still, ranked.front().score);
    if (still < goodScore || still <= bestScore + rivalScore)
        checked.push_back({0, still});
    for (const Candidate& c : ranked) {
        if (int(checked.size()) >= checkedCandidates)
            break;
        checked.push_back(c);
    }
    bool unknown = false;
    std::vector<int> misfits;
    std::vector<Candidate> fits; // score holds the mismatch here
    for (const Candidate& c : checked) {
        // Past the rivals' window only while nothing fits yet.
        if (!fits.empty() && c.score > bestScore + rivalScore)
            break;
        const OverlapCheck check = OverlapCheck::of(previousFrame_, frame, c.shift, top, bottom);
        if (check.edges < fitEdges)
            unknown = true;
        else if (check.mismatch <= fitMismatch)
            fits.push_back({c.shift, check.mismatch});
        else
            misfits.push_back(c.shift);
    }
    if (fits.empty())
        return {unknown ? Decision::Kind::unverifiable : Decision::Kind::none, 0, misfits};
    if (std::any_of(fits.begin(), fits.end(), [](const Candidate& f) { return f.shift == 0; }))
        return {Decision::Kind::still, 0, {}};
    // The best fit of each group of neighbouring shifts.
    std::vector<Candidate> groups;
    for (const Candidate& f : fits) {
        auto near = std::find_if(groups.begin(), groups.end(), [&](const Candidate& g) {
            return std::abs(g.shift - f.shift) <= ambiguityRows;
        });
        if (near == groups.end())
            groups.push_back(f);
        else if (f.score < near->score)
            *near = f;
    }
    if (groups.size() == 1)
        return {Decision::Kind::move, groups.front().shift, {}};
    // Repetitive content: the fit that goes on as the last append did, when
    // exactly one does.
    if (lastShift_ > 0) {
        const auto continues = [this](const Candidate& g) {
            return g.shift > 0 &&
                   std::abs(g.shift - lastShift_) <= std::max(ambiguityRows, lastShift_ / 4);
        };
        if (std::count_if(groups.begin(), groups.end(), continues) == 1)
            return {Decision::Kind::move,
                    std::find_if(groups.begin(), groups.end(), continues)->shift,
                    {}};
    }
    return {Decision::Kind::none, 0, {}};
}

// Rows at the top and bottom that stayed identical between the first two
// frames and carry content: a sticky header or footer. Matching ignores
// them, and the footer is drawn once, below everything.
void ScrollStitcher::detectBands(const ScrollSignature& next, int& top, int& bottom) const {
    top = 0;
    bottom = 0;
    const int h = viewportHeight_;
    if (h < 4)
        return;
    const int limit = h / 4;
    auto measure = [&](auto rowAt) {
        int rows = 0;
        int textured = 0;
        while (rows < limit) {
            const int y = rowAt(rows);
            if (rowDifference(previous_.row(y), next.row(y)) > bandRowDifference)
                break;
            textured += bandTextured(previous_.row(y)) ? 1 : 0;
            ++rows;
        }
        return textured >= bandTexturedRows ? rows : 0;
    };
    top = measure([](int r) { return r; });
    bottom = measure([h](int r) { return h - 1 - r; });
}

// The better of two readings: the whole overlap, and the overlap without
// its leading stretch, where a heading that just became sticky covers what
// scrolled under it.
double ScrollStitcher::candidateScore(const ScrollSignature& next, int shift, int top, int bottom,
                                      int rows) const {
    const auto score = [&](int from) {
        return shift >= 0 ? previous_.score(next, shift, from, bottom, rows)
                          : next.score(previous_, -shift, from, bottom, rows);
    };
    const int overlap = viewportHeight_ - top - bottom - std::abs(shift);
    const int band = std::min(viewportHeight_ / 4, overlap / 2);
    return std::min(score(top), band > 0 ? score(top + band) : score(top));
}

// Every shift scored on a few rows, the best two dozen again on many; stable
// sorts keep the smaller, forward shift first among equal scores.
std::vector<ScrollStitcher::Candidate> ScrollStitcher::rankedCandidates(const ScrollSignature& next,
                                                                        int top, int bottom,
                                                                        int maximumShift,
                                                                        bool automaticCrop) const {
    const int h = viewportHeight_;
    std::vector<Candidate> coarse;
    coarse.reserve(size_t(maximumShift) * 2);
    for (int s = 1; s <= maximumShift; ++s) {
        coarse.push_back({s, candidateScore(next, s, top, bottom, coarseRows)});
        const bool backward = !hasAppended_ || (automaticCrop && height_ > h && s <= height_ - h);
        if (backward)
            coarse.push_back({-s, candidateScore(next, -s, top, bottom, coarseRows)});
    }
    auto byScore = [](const Candidate& a, const Candidate& b) { return a.score < b.score; };
    std::stable_sort(coarse.begin(), coarse.end(), byScore);
    coarse.resize(std::min<size_t>(coarse.size(), refinedCount));
    for (Candidate& c : coarse)
        c.score = candidateScore(next, c.shift, top, bottom, refinedRows);
    std::stable_sort(coarse.begin(), coarse.end(), byScore);
    return coarse;
}

std::optional<QImage> ScrollStitcher::footerOf(const QImage& frame) const {
    return copiedCrop(frame, QRect(0, viewportHeight_ - bottom_, width_, bottom_));
}

ScrollAppendResult ScrollStitcher::extend(const QImage& frame, ScrollSignature next, int shift,
                                          int top, int bottom) {
    const int h = viewportHeight_;
    const int newHeight = height_ + shift;
    if (newHeight > maximumHeight || qint64(width_) * newHeight > maximumPixels_)
        return ScrollAppendResult::limit();
    auto slice = arena_.copy(frame, QRect(0, h - bottom - shift, width_, shift));
    if (!slice)
        return ScrollAppendResult::unmatched();
    std::vector<QImage> pieces = pieces_;
    if (!hasAppended_ && bottom >= 1) {
        // The first frame's footer would otherwise be kept twice.
        auto first = copiedCrop(pieces.front(), QRect(0, 0, width_, h - bottom));
        if (!first)
            return ScrollAppendResult::unmatched();
        pieces = {*first};
    }
    std::optional<QImage> footer;
    if (bottom >= 1) {
        footer = copiedCrop(frame, QRect(0, h - bottom, width_, bottom));
        if (!footer)
            return ScrollAppendResult::unmatched();
    }
    pieces.push_back(std::move(*slice));
    pieces_ = std::move(pieces);
    footer_ = std::move(footer);
    top_ = top;
    bottom_ = bottom;
    hasAppended_ = true;
    height_ = newHeight;
    previous_ = std::move(next);
    previousFrame_ = frame;
    lastShift_ = shift;
    return ScrollAppendResult::appended(shift);
}

ScrollAppendResult ScrollStitcher::cutBack(const QImage& frame, ScrollSignature next, int rows) {
    const int newHeight = height_ - rows;
    if (newHeight < viewportHeight_)
        return ScrollAppendResult::unmatched();
    std::vector<QImage> pieces = pieces_;
    int k = rows;
    while (k > 0) {
        if (pieces.empty())
            return ScrollAppendResult::unmatched();
        const QImage last = pieces.back();
        if (k < last.height()) {
            auto kept = copiedCrop(last, QRect(0, 0, width_, last.height() - k));
            if (!kept)
                return ScrollAppendResult::unmatched();
            pieces.back() = std::move(*kept);
            break;
        }
        k -= last.height();
        pieces.pop_back();
    }
    std::optional<QImage> footer;
    if (bottom_ >= 1) {
        footer = footerOf(frame);
        if (!footer)
            return ScrollAppendResult::unmatched();
    }
    pieces_ = std::move(pieces);
    footer_ = std::move(footer);
    height_ = newHeight;
    previous_ = std::move(next);
    previousFrame_ = frame;
    lastShift_ = 0;
    return ScrollAppendResult::cropped(rows);
}

// The user scrolled the other way before anything was appended: from now on
// every frame is turned 180 degrees, so the motion reads as scrolling on.
// Anything but an append leaves the stitcher as it was, and the rerun may
// not switch back, so a frame can never bounce between orientations.
ScrollAppendResult ScrollStitcher::reverse(const QImage& image, bool automaticCrop) {
    auto turned = reversedScrollImage(pieces_.front());
    if (!turned)
        return ScrollAppendResult::unmatched();
    const ScrollSignature savedPrevious = previous_;
    const QImage savedFrame = previousFrame_;
    const std::vector<QImage> savedPieces = pieces_;
    reverseDirection_ = true;
    previous_ = ScrollSignature::of(*turned);
    previousFrame_ = turned->convertToFormat(longCaptureFormat);
    pieces_ = {*turned};
    const ScrollAppendResult result = appendFrame(image, automaticCrop, false);
    if (result.kind != ScrollAppendResult::Kind::appended) {
        reverseDirection_ = false;
        previous_ = savedPrevious;
        previousFrame_ = savedFrame;
        pieces_ = savedPieces;
    }
    return result;
}

std::optional<QImage> ScrollStitcher::image(bool preview, double fittingHeight) const {
    if (width_ < 1 || height_ < 1)
        return std::nullopt; // started from an empty image
    double scale = 1;
    if (preview) {
        scale = std::min({1.0, previewWidth / width_, std::max(fittingHeight, 1.0) / height_});
    }
    // A hair of slack so that 205 / 10000 × 10000 is 205 rows, not 204.
    const int outWidth = std::max(int(std::floor(scale * width_ + 1e-9)), 1);
    const int outHeight = std::max(int(std::floor(scale * height_ + 1e-9)), 1);
    QImage out(outWidth, outHeight, longCaptureFormat);
    if (out.isNull())
        return std::nullopt;

    std::vector<const QImage*> parts;
    for (const QImage& piece : pieces_)
        parts.push_back(&piece);
    if (footer_)
        parts.push_back(&*footer_);

    if (scale == 1) {
        // Every part is our own bitmap in the common format, except perhaps
        // the first frame: convert that one row by row.
        int y = 0;
        for (const QImage* part : parts) {
            const QImage rows = part->format() == longCaptureFormat
                                    ? *part
                                    : part->convertToFormat(longCaptureFormat);
            if (rows.isNull())
                return std::nullopt;
            for (int r = 0; r < rows.height() && y < outHeight; ++r, ++y)
                std::memcpy(out.scanLine(y), rows.constScanLine(r), size_t(outWidth) * 4);
        }
    } else {
        out.fill(Qt::transparent);
        QPainter painter(&out);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.setCompositionMode(QPainter::CompositionMode_Source);
        painter.scale(scale, scale);
        int y = 0;
        for (const QImage* part : parts) {
            painter.drawImage(QPoint(0, y), *part);
            y += part->height();
        }
    }
    if (reverseDirection_)
        return reversedScrollImage(out);
    return out;
}

} // namespace korvel
