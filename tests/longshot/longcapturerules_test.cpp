#include "longshot/longcapturerules.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvel;

namespace {

TEST(LongCaptureFeedback, CountsResultsIntoMessagesAndPausesOnlyAtTheLimit) {
    LongCaptureFeedback f;
    EXPECT_EQ(f.record(ScrollAppendResult::appended(40)).message,
              QStringLiteral("已拼接。继续滚动，或直接复制、保存。"));
    EXPECT_EQ(f.segments, 2);
    // Three still frames say nothing, the fourth suggests the end.
    for (int i = 0; i < 3; ++i)
        EXPECT_FALSE(f.record(ScrollAppendResult::unchanged()).message);
    EXPECT_EQ(f.record(ScrollAppendResult::unchanged()).message,
              QStringLiteral("画面未变化；若已到底，可直接复制或保存。"));
    // A still frame after a broken match says the match is back, once.
    EXPECT_TRUE(f.record(ScrollAppendResult::unmatched())
                    .message->startsWith(QStringLiteral("尚未匹配，已有内容已保留。")));
    EXPECT_EQ(f.unchanged, 0);
    EXPECT_EQ(f.record(ScrollAppendResult::unchanged()).message,
              QStringLiteral("已回到匹配位置，可继续滚动。"));
    EXPECT_FALSE(f.record(ScrollAppendResult::unchanged()).message);
    const auto cropped = f.record(ScrollAppendResult::cropped(10));
    EXPECT_EQ(cropped.message, QStringLiteral("已按回滚位置裁剪，可继续滚动。"));
    EXPECT_EQ(f.segments, 2);
    EXPECT_FALSE(cropped.pause);
    const auto limit = f.record(ScrollAppendResult::limit());
    EXPECT_TRUE(limit.pause);
    EXPECT_EQ(limit.message, QStringLiteral("已达到长度上限，已有内容保留，可复制或保存。"));
}

// The bar below, right-aligned, the preview right, top-aligned; at the
// screen's bottom the bar goes above, at its right edge the preview left;
// a region filling the screen keeps both inside its inset frame.
TEST(LongCaptureLayout, KeepsTheBarBelowOrAboveAndThePreviewBesideOnScreen) {
    const QRectF screen(0, 0, 1920, 1080);
    const std::tuple<QRectF, QRectF, QRectF> cases[] = {
        {QRectF(400, 300, 600, 500), QRectF(300, 192, 700, 100), QRectF(1012, 500, 184, 300)},
        {QRectF(400, 20, 600, 500), QRectF(300, 528, 700, 100), QRectF(1012, 220, 184, 300)},
        {QRectF(1500, 300, 420, 500), QRectF(1212, 192, 700, 100), QRectF(1304, 500, 184, 300)},
        {screen, QRectF(1212, 8, 700, 100), QRectF(1728, 772, 184, 300)}};
    for (const auto& [region, toolbar, preview] : cases) {
        const auto l = longCaptureLayout(region, screen, QSizeF(700, 100), QSizeF(184, 300));
        EXPECT_EQ(l.toolbar, toolbar) << region.x() << " " << region.y();
        EXPECT_EQ(l.preview, preview) << region.x() << " " << region.y();
    }
}

TEST(AutoScroll, StepsAreAShareOfTheRegionWithinLimits) {
    // Speeds past either end count as the nearest one.
    const std::tuple<double, int, int> steps[] = {{300, 1, 30},        {100, 0, 8},  {1000, 2, 96},
                                                  {333, 1, 33},        {300, 7, 48}, {300, -1, 18},
                                                  {std::nan(""), 1, 0}};
    for (const auto& [length, speed, step] : steps)
        EXPECT_EQ(autoScrollStep(length, speed), step) << length << " " << speed;
    // Down, up and right are e2e.Long's, on the real program.
    EXPECT_EQ(autoScrollStatus(true, true),
              QStringLiteral("自动向左滚动中；空格停止，Enter 复制。"));
}

TEST(LongCaptureCrop, ClampedFieldsAndDraggedLinesAlwaysLeaveARow) {
    int leading = 50, trailing = 80;
    clampCrop(leading, trailing, 100);
    EXPECT_EQ(std::pair(leading, trailing), std::pair(50, 49));
    clampCrop(leading, trailing, 10);
    EXPECT_EQ(std::pair(leading, trailing), std::pair(9, 0));

    const std::tuple<const char*, const char*, std::optional<LongCaptureCrop>> fields[] = {
        {"10", " 20 ", LongCaptureCrop{10, 20}},
        {"99", "0", LongCaptureCrop{99, 0}},
        {"10", "89", LongCaptureCrop{10, 89}},
        {"100", "0", std::nullopt},
        {"10", "90", std::nullopt},
        {"-1", "0", std::nullopt},
        {"0", "-1", std::nullopt},
        {"1.5", "0", std::nullopt},
        {"", "0", std::nullopt},
        {"abc", "0", std::nullopt},
        {"99999999999999999999", "0", std::nullopt}};
    for (const auto& [lead, trail, crop] : fields)
        EXPECT_EQ(cropFromFields(QString::fromLatin1(lead), QString::fromLatin1(trail), 100), crop)
            << lead << " " << trail;
    EXPECT_FALSE(cropFromFields(QStringLiteral("0"), QStringLiteral("0"), 0));

    // A line dragged past the other stops a row before it; past the ends it
    // stops at the end.
    EXPECT_EQ(draggedCrop({0, 30}, true, 90, 100), (LongCaptureCrop{69, 30}));
    EXPECT_EQ(draggedCrop({20, 0}, false, 10, 100), (LongCaptureCrop{20, 79}));
    EXPECT_EQ(draggedCrop({20, 30}, true, -40, 100), (LongCaptureCrop{0, 30}));
    EXPECT_EQ(draggedCrop({20, 30}, false, 140, 100), (LongCaptureCrop{20, 0}));
    EXPECT_EQ(draggedCrop({0, 0}, false, 60, 100), (LongCaptureCrop{0, 40}));
}

} // namespace
