#pragma once

#include <QImage>

namespace korvel {

// How well two frames agree, at full resolution, when the content moved up
// by `shift` rows between them: row y of `next` against row y + shift of
// `previous` (a negative shift compares the other way round), between
// `top` rows at the start and `bottom` rows at the end. The signature picks
// candidates cheaply but blurs a line of text to a smudge; this tells
// "Line 12" from "Line 13" before anything is stitched.
struct OverlapCheck {
    // Share of the compared pixels with an edge in either frame that
    // differ: 0 for a perfect fit. Meaningless when `edges` is small.
    double mismatch = 1;
    int edges = 0;
    // Rows at the start and end of the overlap that differed and were set
    // aside as a band that appeared or changed (a heading that became
    // sticky, a bar that slid in): at most a quarter of the frame each.
    int changedTop = 0;
    int changedBottom = 0;

    static OverlapCheck of(const QImage& previous, const QImage& next, int shift, int top,
                           int bottom);
};

} // namespace korvel
