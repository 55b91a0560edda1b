#pragma once

#include "longcaptureaxis.h"
#include "scrollstitcher.h"

#include <QRectF>
#include <QSizeF>
#include <QString>

#include <optional>

namespace korvel {

// The running tally behind a long capture's status line.
struct LongCaptureFeedback {
    int segments = 1;
    int unchanged = 0;
    int unmatched = 0;

    struct Outcome {
        std::optional<QString> message;
        bool pause = false;
    };
    // Counts the result and says what the status line should show.
    Outcome record(const ScrollAppendResult& result);
};

// Where the control bar and the preview go around a capture region, in
// bottom-left screen points: the bar below the region (above it when there
// is no room), right-aligned; the preview beside it, top-aligned; both kept
// 8 points inside the screen's visible frame.
struct LongCaptureLayout {
    QRectF toolbar;
    QRectF preview;
};
LongCaptureLayout longCaptureLayout(const QRectF& region, const QRectF& screen,
                                    const QSizeF& toolbar, const QSizeF& preview);

// Points one synthetic wheel step should scroll: a share of the region's
// length along the axis by speed ("慢速", "正常", "快速"), 8 to 96 points,
// whole points. Below 1 nothing is posted.
int autoScrollStep(double regionLength, int speedIndex);

// "自动向下滚动中；…" and its three siblings.
QString autoScrollStatus(bool horizontal, bool reverse);

// Clamps crop edges to an image of `length` rows: at least one row stays.
void clampCrop(int& leading, int& trailing, int length);

// The crop sheet's two fields for an image `length` rows long: whole numbers,
// neither negative, leaving at least one row. Nothing otherwise.
std::optional<LongCaptureCrop> cropFromFields(const QString& leading, const QString& trailing,
                                              int length);

// The crop after dragging the leading (or trailing) line to row `row`,
// counted from the leading end; the lines stop a row short of each other.
LongCaptureCrop draggedCrop(LongCaptureCrop crop, bool leadingLine, int row, int length);

} // namespace korvel
