#pragma once

#include <QImage>

#include <cstdint>
#include <vector>

namespace korvel {

// The matching summary of one frame: every image row reduced to 72 grey
// values (0-255), so that matching never touches full-resolution pixels.
struct ScrollSignature {
    static constexpr int columns = 72;

    std::vector<std::uint8_t> pixels; // width × height, rows top to bottom
    int width = columns;
    int height = 0;
    std::vector<std::uint8_t> texturedRows; // 1 where the row has an edge

    // The columns scoring looks at (5, 7, …, 65), packed per row with a
    // flatness flag each and padded to 32 so the comparison vectorises.
    static constexpr int scoredColumns = 32;
    std::vector<std::uint8_t> scored;
    std::vector<std::uint8_t> scoredFlat; // 1 where the pixel is flat

    static ScrollSignature of(const QImage& image);

    // Mean absolute difference over every 11th byte: the cheap duplicate test.
    double difference(const ScrollSignature& other) const;

    // Mean grey difference between row y + shift of this signature and row y
    // of `other`, over about `rows` rows between the fixed bands; pixels flat
    // in both are skipped. +infinity when the overlap is too small or too
    // few pixels carry content to judge.
    double score(const ScrollSignature& other, int shift, int top, int bottom, int rows) const;

    const std::uint8_t* row(int y) const { return pixels.data() + size_t(y) * size_t(width); }
};

} // namespace korvel
