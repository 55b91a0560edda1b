#include "longshot/longcapturerules.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace korvel;

namespace {

TEST(LongCaptureFeedback, CountsResultsIntoMessagesAndPausesOnlyAtTheLimit) {
    using R = ScrollAppendResult;
    // The fourth still frame suggests the end; one after a broken match says it is back.
    const std::pair<R, const char*> steps[] = {
        {R::appended(40), "已拼接。继续滚动，或直接复制、保存。"},
        {R::unchanged(), nullptr},
        {R::unchanged(), nullptr},
        {R::unchanged(), nullptr},
        {R::unchanged(), "画面未变化；若已到底，可直接复制或保存。"},
        {R::unmatched(),
         "尚未匹配，已有内容已保留。请沿刚才滚动的反方向稍作回滚；预览红框表示匹配中断。"},
        {R::unchanged(), "已回到匹配位置，可继续滚动。"},
        {R::unchanged(), nullptr},
        {R::cropped(10), "已按回滚位置裁剪，可继续滚动。"},
        {R::limit(), "已达到长度上限，已有内容保留，可复制或保存。"}};
    LongCaptureFeedback f;
    for (const auto& [result, message] : steps) {
        const auto outcome = f.record(result);
        EXPECT_EQ(outcome.message,
                  message ? std::optional(QString::fromUtf8(message)) : std::nullopt);
        EXPECT_EQ(outcome.pause, result.kind == R::Kind::limit);
    }
    EXPECT_EQ(f.segments, 2);
}

// Bar and preview move to the region's other side at the screen's edges, or inside it.
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

    const auto fields = [](const char* leading, const char* trailing) {
        return cropFromFields(QString::fromLatin1(leading), QString::fromLatin1(trailing), 100);
    };
    EXPECT_EQ(fields("10", " 20 "), (LongCaptureCrop{10, 20}));
    EXPECT_EQ(fields("99", "0"), (LongCaptureCrop{99, 0}));
    EXPECT_EQ(fields("10", "89"), (LongCaptureCrop{10, 89}));
    const std::pair<const char*, const char*> refused[] = {
        {"100", "0"}, {"10", "90"}, {"-1", "0"},  {"0", "-1"},
        {"1.5", "0"}, {"", "0"},    {"abc", "0"}, {"99999999999999999999", "0"}};
    for (const auto& [lead, trail] : refused)
        EXPECT_FALSE(fields(lead, trail)) << lead << " " << trail;
    EXPECT_FALSE(cropFromFields(QStringLiteral("0"), QStringLiteral("0"), 0));

    // A line dragged past the other stops a row before it, past an end at the end.
    EXPECT_EQ(draggedCrop({0, 30}, true, 90, 100), (LongCaptureCrop{69, 30}));
    EXPECT_EQ(draggedCrop({20, 0}, false, 10, 100), (LongCaptureCrop{20, 79}));
    EXPECT_EQ(draggedCrop({20, 30}, true, -40, 100), (LongCaptureCrop{0, 30}));
    EXPECT_EQ(draggedCrop({20, 30}, false, 140, 100), (LongCaptureCrop{20, 0}));
    EXPECT_EQ(draggedCrop({0, 0}, false, 60, 100), (LongCaptureCrop{0, 40}));
}

} // namespace
