#pragma once

#include "scrollsignature.h"
#include "slicearena.h"

#include <QImage>
#include <QString>

#include <optional>
#include <vector>

namespace korvel {

// What one offered frame did to the long image.
struct ScrollAppendResult {
    enum class Kind { appended, cropped, unchanged, unmatched, limit };

    Kind kind = Kind::unmatched;
    // New rows for appended, rows removed for cropped; 0 otherwise.
    int rows = 0;

    static ScrollAppendResult appended(int rows) { return {Kind::appended, rows}; }
    static ScrollAppendResult cropped(int rows) { return {Kind::cropped, rows}; }
    static ScrollAppendResult unchanged() { return {Kind::unchanged, 0}; }
    static ScrollAppendResult unmatched() { return {Kind::unmatched, 0}; }
    static ScrollAppendResult limit() { return {Kind::limit, 0}; }

    // "appended 137", "cropped 40", "unchanged", "unmatched", "limit".
    QString toString() const;

    friend bool operator==(const ScrollAppendResult&, const ScrollAppendResult&) = default;
};

// Turns frames of one fixed region, taken while the content under it
// scrolls, into one long image. Works in stitching orientation only: new
// content enters at the bottom. Horizontal captures are rotated by the
// caller; scrolling back is detected here and handled by turning frames
// 180 degrees. Not thread-safe: one caller at a time.
class ScrollStitcher {
public:
    static constexpr int maximumHeight = 30000;

    // Starts the long image with the first frame. The pixel budget is never
    // below the first frame itself.
    ScrollStitcher(const QImage& image, qint64 maximumPixels);

    // Offers the next frame (already normalised for the axis). With
    // `automaticCrop`, scrolling back after the first append cuts the image
    // back instead of being ignored.
    ScrollAppendResult append(const QImage& image, bool automaticCrop);

    // The long image at full size, or for a preview scaled to fit 230 pixels
    // wide and `fittingHeight` high. Nothing when a bitmap cannot be created.
    std::optional<QImage> image(bool preview = false, double fittingHeight = 0) const;

    int width() const { return width_; }
    int viewportHeight() const { return viewportHeight_; }
    // Rows of the composed image, fixed footer included.
    int height() const { return height_; }
    bool reverseDirection() const { return reverseDirection_; }
    bool hasAppended() const { return hasAppended_; }

private:
    struct Candidate {
        int shift; // positive: content moved up; negative: moved down
        double score;
    };
    // What the candidates say once checked at full resolution.
    struct Decision {
        enum class Kind { move, still, none, unverifiable } kind = Kind::none;
        int shift = 0;
        std::vector<int> misfits; // shifts the pixels ruled out
    };

    ScrollAppendResult appendFrame(const QImage& frame, bool automaticCrop, bool mayReverse);
    void detectBands(const ScrollSignature& next, int& top, int& bottom) const;
    std::vector<Candidate> rankedCandidates(const ScrollSignature& next, int top, int bottom,
                                            int maximumShift, bool withBackward) const;
    Decision verified(const QImage& frame, const std::vector<Candidate>& ranked, double still,
                      int top, int bottom) const;
    ScrollAppendResult bySignature(const std::vector<Candidate>& ranked, double still,
                                   std::optional<Candidate>& chosen) const;
    double candidateScore(const ScrollSignature& next, int shift, int top, int bottom,
                          int rows) const;
    ScrollAppendResult extend(const QImage& frame, ScrollSignature next, int shift, int top,
                              int bottom);
    ScrollAppendResult cutBack(const QImage& frame, ScrollSignature next, int rows);
    ScrollAppendResult reverse(const QImage& frame, bool automaticCrop);
    std::optional<QImage> footerOf(const QImage& frame) const;

    const int width_;
    const int viewportHeight_;
    int height_;
    ScrollSignature previous_;
    QImage previousFrame_;       // the last accepted frame, for the full-resolution check
    int lastShift_ = 0;          // rows of the latest append: how the user is scrolling
    std::vector<QImage> pieces_; // top to bottom, without the footer
    SliceArena arena_;
    int bottom_ = 0; // rows of the fixed footer band
    int top_ = 0;    // rows of the fixed header band
    std::optional<QImage> footer_;
    bool hasAppended_ = false; // freezes the bands and the orientation
    bool reverseDirection_ = false;
    const qint64 maximumPixels_;
};

} // namespace korvel
