#include "longshot/longcaptureaxis.h"
#include "longshot/longdocument.h"
#include "longshot/scrollstitcher.h"

#include <gtest/gtest.h>

#include <QPainter>

#include <cstring>
#include <ostream>
#include <vector>

namespace korvel {

void PrintTo(const ScrollAppendResult& result, std::ostream* out) {
    *out << result.toString().toStdString();
}

namespace {

using Result = ScrollAppendResult;
using scenes::expectedStitch;
using scenes::frameAt;

constexpr int viewport = 300;

// Pixels compared in premultiplied form, the stitcher's own format.
::testing::AssertionResult samePixels(const std::optional<QImage>& actual, const QImage& expected) {
    if (!actual)
        return ::testing::AssertionFailure() << "no image";
    const QImage a = actual->convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QImage e = expected.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    if (a.size() != e.size())
        return ::testing::AssertionFailure() << "size " << a.width() << "x" << a.height()
                                             << " instead of " << e.width() << "x" << e.height();
    for (int y = 0; y < a.height(); ++y) {
        for (int x = 0; x < a.width(); ++x) {
            if (a.pixel(x, y) != e.pixel(x, y))
                return ::testing::AssertionFailure() << "first difference at " << x << "," << y;
        }
    }
    return ::testing::AssertionSuccess();
}

std::vector<Result> feed(ScrollStitcher& stitcher, const std::vector<QImage>& frames,
                         bool automaticCrop = false) {
    std::vector<Result> results;
    for (const QImage& frame : frames)
        results.push_back(stitcher.append(frame, automaticCrop));
    return results;
}

struct Document : ::testing::Test {
    QImage page = scenes::longDocument(420, 4000);
    QImage header = scenes::bandImage(420, 30, 11, qRgb(235, 238, 245));
    QImage footer = scenes::bandImage(420, 26, 12, qRgb(40, 44, 52));
    QImage at(int offset) const { return frameAt(page, offset, viewport, header, footer); }
};

TEST_F(Document, ScrollingOnAppendsEachNewStretchOnce) {
    ScrollStitcher stitcher(at(100), 24'000'000);
    const auto results = feed(stitcher, {at(160), at(160), at(230), at(231), at(350), at(900),
                                         at(460), at(640), at(820), at(1000), at(1200)});
    const std::vector<Result> expected = {
        Result::appended(60),  Result::unchanged(),   Result::appended(70),
        Result::appended(1),   Result::appended(119), Result::unmatched(), // skipped too far
        Result::appended(110), Result::appended(180), Result::appended(180),
        Result::appended(180), Result::appended(200)};
    EXPECT_EQ(results, expected);
    EXPECT_EQ(stitcher.height(), viewport + 1100);
    EXPECT_FALSE(stitcher.reverseDirection());
    // Header once at the top, footer of the latest frame once at the bottom.
    EXPECT_TRUE(
        samePixels(stitcher.image(), expectedStitch(page, 100, 1200, viewport, header, footer)));
}

TEST_F(Document, DuplicateSecondFrameIsUnchanged) {
    ScrollStitcher stitcher(at(0), 24'000'000);
    EXPECT_EQ(stitcher.append(at(0), false), Result::unchanged());
    EXPECT_EQ(stitcher.height(), viewport);
    EXPECT_TRUE(samePixels(stitcher.image(), at(0)));
}

TEST_F(Document, ScrollingBackFirstGivesNaturalOrder) {
    ScrollStitcher stitcher(at(1500), 24'000'000);
    const auto results = feed(stitcher, {at(1440), at(1300), at(1300), at(1150), at(1000)});
    const std::vector<Result> expected = {Result::appended(60), Result::appended(140),
                                          Result::unchanged(), Result::appended(150),
                                          Result::appended(150)};
    EXPECT_EQ(results, expected);
    EXPECT_TRUE(stitcher.reverseDirection());
    EXPECT_TRUE(
        samePixels(stitcher.image(), expectedStitch(page, 1000, 1500, viewport, header, footer)));
}

TEST_F(Document, AutomaticCropCutsBackToWhereTheUserScrolled) {
    ScrollStitcher stitcher(at(300), 24'000'000);
    EXPECT_EQ(feed(stitcher, {at(400), at(500)}, true),
              (std::vector<Result>{Result::appended(100), Result::appended(100)}));
    // Without automatic crop, scrolling back is not a candidate at all.
    EXPECT_EQ(stitcher.append(at(450), false), Result::unmatched());
    EXPECT_EQ(stitcher.append(at(450), true), Result::cropped(50));
    EXPECT_TRUE(
        samePixels(stitcher.image(), expectedStitch(page, 300, 450, viewport, header, footer)));
    EXPECT_EQ(stitcher.append(at(480), true), Result::appended(30));
    // Exactly back to the first frame is allowed; nothing further.
    EXPECT_EQ(stitcher.append(at(300), true), Result::cropped(180));
    EXPECT_EQ(stitcher.height(), viewport);
    EXPECT_TRUE(
        samePixels(stitcher.image(), expectedStitch(page, 300, 300, viewport, header, footer)));
    EXPECT_EQ(stitcher.append(at(250), true), Result::unmatched());
    EXPECT_EQ(stitcher.append(at(380), true), Result::appended(80));
}

TEST_F(Document, AutomaticCropAfterScrollingBackFirst) {
    ScrollStitcher stitcher(at(2000), 24'000'000);
    EXPECT_EQ(
        feed(stitcher, {at(1900), at(1750), at(1800)}, true),
        (std::vector<Result>{Result::appended(100), Result::appended(150), Result::cropped(50)}));
    EXPECT_TRUE(stitcher.reverseDirection());
    EXPECT_TRUE(
        samePixels(stitcher.image(), expectedStitch(page, 1800, 2000, viewport, header, footer)));
}

TEST_F(Document, FramesWithAlphaStitchInPremultipliedForm) {
    QImage translucent = page.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < translucent.height(); y += 3) {
        auto* line = reinterpret_cast<QRgb*>(translucent.scanLine(y));
        for (int x = 0; x < translucent.width(); ++x)
            line[x] = qRgba(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), 128 + (x % 100));
    }
    ScrollStitcher stitcher(translucent.copy(0, 0, 420, viewport), 24'000'000);
    EXPECT_EQ(stitcher.append(translucent.copy(0, 90, 420, viewport), false), Result::appended(90));
    EXPECT_TRUE(samePixels(stitcher.image(), translucent.copy(0, 0, 420, viewport + 90)));
}

TEST(Stitcher, HorizontalCaptureRestoresAWideImage) {
    // The tall page turned a quarter counter-clockwise is a wide page whose
    // new columns enter on the right.
    const auto wide = restore(LongCaptureAxis::horizontal, scenes::longDocument(260, 3000, 3));
    ASSERT_TRUE(wide);
    const int viewWidth = 500;
    auto frame = [&](int offset) {
        return *normalize(LongCaptureAxis::horizontal, wide->copy(offset, 0, viewWidth, 260));
    };
    ScrollStitcher stitcher(frame(200), 24'000'000);
    EXPECT_EQ(stitcher.width(), 260);
    EXPECT_EQ(stitcher.viewportHeight(), viewWidth);
    EXPECT_EQ(
        feed(stitcher, {frame(320), frame(500), frame(700)}),
        (std::vector<Result>{Result::appended(120), Result::appended(180), Result::appended(200)}));
    const auto composed = stitcher.image();
    ASSERT_TRUE(composed);
    EXPECT_TRUE(samePixels(restore(LongCaptureAxis::horizontal, *composed),
                           wide->copy(200, 0, 500 + viewWidth, 260)));
}

TEST(Stitcher, RepetitiveContentNeverGivesAWrongSeam) {
    // A striped table: every 24 rows the same rows again.
    QImage row = scenes::longDocument(400, 24, 5);
    QImage table(400, 2000, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < table.height(); ++y)
        std::memcpy(table.scanLine(y), row.constScanLine(y % 24), size_t(table.bytesPerLine()));
    auto at = [&](int offset) { return table.copy(0, offset, 400, viewport); };
    ScrollStitcher stitcher(at(0), 24'000'000);
    EXPECT_EQ(stitcher.append(at(10), false), Result::unmatched());
    EXPECT_EQ(stitcher.append(at(24), false), Result::unchanged());
    EXPECT_EQ(stitcher.append(at(59), false), Result::unmatched());
    EXPECT_EQ(stitcher.height(), viewport);
    EXPECT_TRUE(samePixels(stitcher.image(), at(0)));
}

// Section headings that pin to the top as their section scrolls under them
// (CSS "position: sticky"), pushed off by the next one: the viewport at
// `offset` of `page` with headings drawn every `every` rows.
QImage stickyFrameAt(const QImage& page, int offset, int every,
                     const std::vector<QImage>& headings) {
    QImage frame = page.copy(0, offset, page.width(), viewport);
    QPainter painter(&frame);
    for (int i = 0; i < int(headings.size()); ++i) {
        const int natural = i * every - offset;
        const int pushed = (i + 1) * every - offset - headings[size_t(i)].height();
        painter.drawImage(0, natural < 0 ? std::min(0, pushed) : natural, headings[size_t(i)]);
    }
    return frame;
}

TEST(Stitcher, HeadingsThatBecomeStickyAreNeverStitchedTwice) {
    const int every = 420;
    std::vector<QImage> headings;
    for (unsigned i = 0; i < 8; ++i)
        headings.push_back(scenes::bandImage(420, 34, 40 + i, qRgb(220, 230, 250 - 10 * i)));
    const QImage page = scenes::longDocument(420, 3400);
    QImage truth = page.copy();
    {
        QPainter painter(&truth);
        for (int i = 0; i < int(headings.size()); ++i)
            painter.drawImage(0, i * every, headings[size_t(i)]);
    }
    // Steps that end with a heading pinned, half pushed off, or just
    // arriving at the top, forwards at several speeds.
    for (const int step : {37, 90, 143, 211}) {
        ScrollStitcher stitcher(stickyFrameAt(page, 0, every, headings), 24'000'000);
        int offset = 0;
        while (offset + step + viewport <= 3000) {
            offset += step;
            ASSERT_EQ(stitcher.append(stickyFrameAt(page, offset, every, headings), false),
                      Result::appended(step))
                << "step " << step << " at " << offset;
        }
        EXPECT_TRUE(samePixels(stitcher.image(), truth.copy(0, 0, 420, offset + viewport)))
            << "step " << step;
    }
}

// Lines that differ only in their numbers: the signature blurs them into
// one repeating pattern, the pixels do not.
TEST(Stitcher, NumberedLinesStitchAtTheirTrueShiftEvenOneLineApart) {
    QImage page(420, 2400, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        QFont font = painter.font();
        font.setPixelSize(14);
        painter.setFont(font);
        painter.setPen(Qt::black);
        for (int n = 1, y = 18; y < page.height(); ++n, y += 20)
            painter.drawText(8, y, QStringLiteral("Line %1: 第%1行 scrolling content …").arg(n));
    }
    auto at = [&](int offset) { return page.copy(0, offset, 420, viewport); };
    ScrollStitcher stitcher(at(0), 24'000'000);
    const std::vector<int> offsets = {20, 40, 100, 167, 187, 207, 320, 340};
    for (const int offset : offsets)
        EXPECT_NE(stitcher.append(at(offset), false).kind, ScrollAppendResult::Kind::unmatched)
            << offset;
    EXPECT_TRUE(samePixels(stitcher.image(), page.copy(0, 0, 420, 340 + viewport)));
    // Scrolling back and on again after a frame too far ahead finds the
    // place again: no dead end.
    EXPECT_EQ(stitcher.append(at(1200), false), Result::unmatched());
    EXPECT_EQ(stitcher.append(at(400), false), Result::appended(60));
    EXPECT_TRUE(samePixels(stitcher.image(), page.copy(0, 0, 420, 400 + viewport)));
}

// A frame that agrees with the last one only roughly (a repaint half done,
// another window's pixels) is not stitched on a guess.
TEST_F(Document, DoubtfulFramesAreSkipped) {
    ScrollStitcher stitcher(at(100), 24'000'000);
    QImage smeared = at(180);
    {
        QPainter painter(&smeared);
        painter.setOpacity(0.2);
        painter.drawImage(0, 0, at(100));
    }
    EXPECT_EQ(stitcher.append(smeared, false), Result::unmatched());
    EXPECT_EQ(stitcher.append(at(180), false), Result::appended(80));
    EXPECT_TRUE(
        samePixels(stitcher.image(), expectedStitch(page, 100, 180, viewport, header, footer)));
}

TEST(Stitcher, BlankFramesNeverAppend) {
    QImage blank(400, viewport, QImage::Format_RGB32);
    blank.fill(Qt::white);
    const QImage page = scenes::longDocument(400, 2000);
    ScrollStitcher fromBlank(blank, 24'000'000);
    QImage almost = blank;
    almost.setPixel(200, 100, qRgb(250, 250, 250));
    EXPECT_EQ(fromBlank.append(almost, false), Result::unchanged());
    EXPECT_EQ(fromBlank.append(page.copy(0, 0, 400, viewport), false), Result::unmatched());

    ScrollStitcher fromText(page.copy(0, 0, 400, viewport), 24'000'000);
    EXPECT_EQ(fromText.append(blank, false), Result::unmatched());
    EXPECT_EQ(fromText.height(), viewport);
}

TEST(Stitcher, LimitsLeaveTheImageUnchanged) {
    const QImage page = scenes::longDocument(100, 30600, 9);
    auto at = [&](int offset) { return page.copy(0, offset, 100, 400); };
    ScrollStitcher tall(at(0), 1'000'000'000);
    int offset = 0;
    Result last = Result::unchanged();
    while (tall.height() + 250 <= 30000) {
        offset += 250;
        last = tall.append(at(offset), false);
        ASSERT_EQ(last, Result::appended(250)) << "at " << offset;
    }
    const int before = tall.height();
    const auto image = tall.image();
    // 29,900 rows now: 250 more would pass 30,000, 100 just reach it.
    EXPECT_EQ(before, 29900);
    EXPECT_EQ(tall.append(at(offset + 250), false), Result::limit());
    EXPECT_EQ(tall.height(), before);
    EXPECT_TRUE(samePixels(tall.image(), *image));
    EXPECT_EQ(tall.append(at(offset + 100), false), Result::appended(100));
    EXPECT_EQ(tall.height(), 30000);
    EXPECT_EQ(tall.append(at(offset + 101), false), Result::limit());

    // The pixel budget: 100 × 600 pixels allowed.
    ScrollStitcher budget(at(0), 100 * 600);
    EXPECT_EQ(budget.append(at(100), false), Result::appended(100));
    EXPECT_EQ(budget.append(at(201), false), Result::limit());
    EXPECT_EQ(budget.append(at(200), false), Result::appended(100));
    EXPECT_EQ(budget.height(), 600);
    // The budget is never below the first frame.
    ScrollStitcher tiny(at(0), 1);
    EXPECT_EQ(tiny.append(at(1), false), Result::limit());
}

TEST(Stitcher, BadFramesAreUnmatchedWithoutHarm) {
    const QImage page = scenes::longDocument(200, 1200);
    ScrollStitcher stitcher(page.copy(0, 0, 200, viewport), 24'000'000);
    EXPECT_EQ(stitcher.append(page.copy(0, 50, 199, viewport), false), Result::unmatched());
    EXPECT_EQ(stitcher.append(page.copy(0, 50, 200, viewport + 1), false), Result::unmatched());
    EXPECT_EQ(stitcher.append(QImage(), false), Result::unmatched());
    EXPECT_EQ(stitcher.append(
                  page.copy(0, 50, 200, viewport).convertToFormat(QImage::Format_RGB888), false),
              Result::appended(50));

    // One-row frames can never overlap enough.
    ScrollStitcher line(page.copy(0, 15, 200, 1), 24'000'000);
    EXPECT_EQ(line.append(page.copy(0, 15, 200, 1), false), Result::unchanged());
    EXPECT_EQ(line.append(page.copy(0, 0, 200, 1), false), Result::unmatched());
    EXPECT_EQ(line.height(), 1);
    EXPECT_TRUE(line.image());

    // An empty first frame gives a stitcher that accepts and shows nothing.
    ScrollStitcher empty{QImage(), 24'000'000};
    EXPECT_EQ(empty.append(QImage(), false), Result::unmatched());
    EXPECT_FALSE(empty.image());

    // A very long run of identical small frames stays one viewport.
    const QImage small = page.copy(0, 10, 72, 8);
    ScrollStitcher same(small, 24'000'000);
    int unchanged = 0;
    for (int i = 0; i < 100000; ++i)
        unchanged += same.append(small, true) == Result::unchanged() ? 1 : 0;
    EXPECT_EQ(unchanged, 100000);
    EXPECT_EQ(same.height(), 8);
}

TEST(Stitcher, PreviewFitsWidthAndHeight) {
    QImage tall(1000, 10000, QImage::Format_RGB32);
    tall.fill(Qt::gray);
    ScrollStitcher stitcher(tall, 24'000'000);
    const auto preview = stitcher.image(true, 205);
    ASSERT_TRUE(preview);
    EXPECT_EQ(preview->size(), QSize(20, 205));
    // Width-bound: 230 / 1000 is the smaller factor for a short image.
    ScrollStitcher wide(QImage(1000, 100, QImage::Format_RGB32), 24'000'000);
    EXPECT_EQ(wide.image(true, 500)->size(), QSize(230, 23));
    // Degenerate fitting heights still give at least one pixel.
    EXPECT_EQ(stitcher.image(true, 0)->size(), QSize(1, 1));
}

TEST(LongCapture, AxisCropAndRotationHelpers) {
    QImage image(3, 2, QImage::Format_ARGB32_Premultiplied);
    const QRgb a = qRgb(1, 0, 0), b = qRgb(2, 0, 0), c = qRgb(3, 0, 0);
    const QRgb d = qRgb(4, 0, 0), e = qRgb(5, 0, 0), f = qRgb(6, 0, 0);
    image.setPixel(0, 0, a), image.setPixel(1, 0, b), image.setPixel(2, 0, c);
    image.setPixel(0, 1, d), image.setPixel(1, 1, e), image.setPixel(2, 1, f);

    const auto turned = normalize(LongCaptureAxis::horizontal, image);
    ASSERT_TRUE(turned);
    ASSERT_EQ(turned->size(), QSize(2, 3));
    // Clockwise: bottom-left is the new top-left, the left column the top row.
    EXPECT_EQ(turned->pixel(0, 0), d);
    EXPECT_EQ(turned->pixel(1, 0), a);
    EXPECT_EQ(turned->pixel(0, 2), f);
    EXPECT_TRUE(samePixels(restore(LongCaptureAxis::horizontal, *turned), image));
    EXPECT_TRUE(samePixels(normalize(LongCaptureAxis::vertical, image), image));

    const auto reversed = reversedScrollImage(image);
    ASSERT_TRUE(reversed);
    EXPECT_EQ(reversed->pixel(0, 0), f);
    EXPECT_EQ(reversed->pixel(2, 1), a);
    EXPECT_FALSE(reversedScrollImage(QImage()));

    QImage column(1, 10, QImage::Format_RGB32);
    for (int y = 0; y < 10; ++y)
        column.setPixel(0, y, qRgb(y, 0, 0));
    const auto cut = LongCaptureCrop{2, 3}.apply(column);
    ASSERT_TRUE(cut);
    EXPECT_EQ(cut->height(), 5);
    EXPECT_EQ(qRed(cut->pixel(0, 0)), 2);
    EXPECT_TRUE((LongCaptureCrop{9, 0}.apply(column)));
    EXPECT_FALSE((LongCaptureCrop{10, 0}.apply(column)));
    EXPECT_FALSE((LongCaptureCrop{4, 6}.apply(column)));
    EXPECT_FALSE((LongCaptureCrop{-1, 0}.apply(column)));
    EXPECT_FALSE((LongCaptureCrop{0, -1}.apply(column)));

    EXPECT_FALSE(copiedCrop(column, QRect(0, 8, 1, 3)));
    EXPECT_FALSE(copiedCrop(column, QRect(0, 3, 1, 0)));
    EXPECT_EQ(copiedCrop(column, QRect(0, 3, 1, 2))->format(), longCaptureFormat);
}

TEST(LongCapture, AppendResultsCompareByCaseAndPayload) {
    EXPECT_EQ(Result::appended(3), Result::appended(3));
    EXPECT_NE(Result::appended(3), Result::appended(4));
    EXPECT_NE(Result::appended(3), Result::cropped(3));
    EXPECT_EQ(Result::appended(137).toString(), QStringLiteral("appended 137"));
    EXPECT_EQ(Result::cropped(5).toString(), QStringLiteral("cropped 5"));
    EXPECT_EQ(Result::limit().toString(), QStringLiteral("limit"));
}

} // namespace
} // namespace korvel
