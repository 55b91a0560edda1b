#include "ocr/textrecognition.h"
#include "platform/error.h"
#include "platform/fake/faketextrecognizer.h"
#include "textscenes.h"

#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

using namespace korvel;

namespace {

using Band = TextRecognition::Band;

QImage blank(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

RecognizedLine lineAt(const QString& text, int centre, int height = 20, int left = 10) {
    return {text, QRect(left, centre - height / 2, 300, height)};
}

// Each band (known by its height) sees the lines wholly in its rows, `jitter`
// added to their top as two readings disagree; in parallel the first is slowest.
struct Page {
    std::vector<RecognizedLine> lines;
    std::vector<int> jitter;
    bool parallel;
    std::set<std::thread::id> threads;
    std::mutex lock;

    explicit Page(bool inParallel, std::vector<int> readings = {0})
        : jitter(std::move(readings))
        , parallel(inParallel) {}
    QString read(int width, int height) {
        const std::vector<Band> bands = TextRecognition::bands(height);
        auto r = std::make_unique<fake::TextRecognizer>();
        r->company = parallel;
        r->read = [this, bands](const QImage& image, int) {
            const auto band = std::find_if(bands.begin(), bands.end(), [&](const Band& b) {
                return b.bottom - b.top == image.height();
            });
            EXPECT_NE(band, bands.end());
            const auto index = std::size_t(band - bands.begin());
            {
                const std::lock_guard hold(lock);
                threads.insert(std::this_thread::get_id());
            }
            if (parallel && index == 0)
                std::this_thread::sleep_for(std::chrono::milliseconds(300));
            std::vector<RecognizedLine> seen;
            for (const RecognizedLine& line : lines) {
                if (line.box.top() >= band->top && line.box.bottom() < band->bottom)
                    seen.push_back({line.text, line.box.translated(
                                                   0, jitter[index % jitter.size()] - band->top)});
            }
            return seen;
        };
        return TextRecognition(std::move(r)).recognize(blank(width, height));
    }
};

// Serial and, where the engine offers company, parallel reading.
class Bands : public testing::TestWithParam<bool> {};
INSTANTIATE_TEST_SUITE_P(TextRecognition, Bands, testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Parallel" : "Serial"; });

} // namespace

TEST_P(Bands, LinesNearBordersAreReportedOnceInOrder) {
    Page page(GetParam());
    page.lines = {lineAt(QStringLiteral("first"), 100), lineAt(QStringLiteral("border"), 1810),
                  lineAt(QStringLiteral("exactly"), 3600, 24, 400),
                  lineAt(QStringLiteral("last"), 3990, 12)};
    EXPECT_EQ(page.read(500, 4000), QStringLiteral("first\nborder\nexactly\nlast"));
    // In parallel a second reader took the later bands meanwhile.
    EXPECT_EQ(page.threads.size(), GetParam() ? std::size_t(TextRecognition::readerCount(3)) : 1u);
    // The two bands place a straddling line's centre either side of 1800: on a
    // strict rule both would keep it, or neither.
    for (const std::vector<int>& jitter : {std::vector<int>{-2, 1}, std::vector<int>{1, -2}}) {
        Page straddling(GetParam(), jitter);
        straddling.lines = {lineAt(QStringLiteral("above"), 1770),
                            lineAt(QStringLiteral("on"), 1800),
                            lineAt(QStringLiteral("below"), 1830)};
        EXPECT_EQ(straddling.read(400, 3000), QStringLiteral("above\non\nbelow"));
    }
    // Two different lines side by side at the border are both kept.
    Page sideBySide(GetParam(), {-1, 1});
    sideBySide.lines = {lineAt(QStringLiteral("left"), 1800, 20, 0),
                        lineAt(QStringLiteral("right"), 1801, 20, 600)};
    const QString text = sideBySide.read(1000, 3000);
    EXPECT_TRUE(text == QStringLiteral("left\nright") || text == QStringLiteral("right\nleft"))
        << qPrintable(text);
}

// Equal centres keep the engine's order; languages go in the preferred order.
TEST(TextRecognition, EngineOrderAndLanguages) {
    auto fake = std::make_unique<fake::TextRecognizer>();
    fake::TextRecognizer* f = fake.get();
    f->languages = {QStringLiteral("en-US"), QStringLiteral("fr"), QStringLiteral("zh-Hans")};
    fake->read = [](const QImage&, int) {
        return std::vector<RecognizedLine>{
            lineAt(QStringLiteral("b"), 50), lineAt(QStringLiteral("a"), 50),
            lineAt(QStringLiteral("top"), 10), lineAt(QStringLiteral(""), 30)};
    };
    TextRecognition recognition(std::move(fake));
    EXPECT_EQ(recognition.recognize(blank(100, 100)), QStringLiteral("top\nb\na"));
    EXPECT_EQ(recognition.recognize(QImage()), QString());
    ASSERT_EQ(f->requests.size(), 1u);
    EXPECT_EQ(f->requests[0].languages,
              (QStringList{QStringLiteral("zh-Hans"), QStringLiteral("en-US")}));

    // The engine's own message for missing data: the window's failure case.
    f->languages = {QStringLiteral("fr")};
    EXPECT_THROW(recognition.recognize(blank(10, 10)), Error);
}

TEST_P(Bands, CancellationStopsBeforeTheNextBandAndAFailingBandFailsTheReading) {
    std::atomic<bool> cancelled{false};
    std::atomic<int> reads{0};
    auto fake = std::make_unique<fake::TextRecognizer>();
    fake->company = GetParam();
    fake->read = [&](const QImage& image, int) {
        if (image.height() == 464) // the last band of 4000 rows
            throw Error(QStringLiteral("TextRecognition"), 1, QStringLiteral("引擎出错"));
        ++reads;
        cancelled = true;
        return std::vector<RecognizedLine>{lineAt(QStringLiteral("x"), 10)};
    };
    TextRecognition recognition(std::move(fake));
    // Only bands already begun when the flag turned are read: one per reader.
    EXPECT_THROW(recognition.recognize(blank(50, 9000), cancelled), RecognitionCancelled);
    EXPECT_GE(reads, 1);
    EXPECT_LE(reads, GetParam() ? TextRecognition::readerCount(5) : 1);
    const int before = reads;
    EXPECT_THROW(recognition.recognize(blank(50, 9000), cancelled), RecognitionCancelled);
    EXPECT_EQ(reads, before);
    EXPECT_THROW(recognition.recognize(blank(50, 4000)), Error);
}

TEST(TextRecognition, BandsOverlapAndSmallTextIsEnlargedByWholeFactors) {
    EXPECT_TRUE(TextRecognition::bands(0).empty());
    EXPECT_EQ(TextRecognition::bands(1), (std::vector<Band>{{0, 1, 0, 1}}));
    EXPECT_EQ(TextRecognition::bands(1800), (std::vector<Band>{{0, 1800, 0, 1800}}));
    EXPECT_EQ(TextRecognition::bands(1801),
              (std::vector<Band>{{0, 1800, 0, 1801}, {1800, 1801, 1736, 1801}}));
    EXPECT_EQ(TextRecognition::bands(4000),
              (std::vector<Band>{
                  {0, 1800, 0, 1864}, {1800, 3600, 1736, 3664}, {3600, 4000, 3536, 4000}}));
    // However tall, no band is read with more than 1928 rows.
    for (const Band& b : TextRecognition::bands(30000))
        EXPECT_LE(b.bottom - b.top, 1928);

    const auto rows = [](int pixels) {
        QImage image = blank(600, 300);
        QPainter p(&image); // stripes of stems, like glyphs
        for (int top = 10; top + pixels < 300; top += pixels * 2)
            for (int x = 0; x < 600; x += 6)
                p.fillRect(x, top, 2, pixels, Qt::black);
        p.end();
        return image;
    };
    EXPECT_EQ(TextRecognition::typicalTextHeight(rows(14)), 14);
    EXPECT_EQ(TextRecognition::scaleFor(rows(14)), 2.0);
    EXPECT_EQ(TextRecognition::scaleFor(rows(8)), 3.0);
    EXPECT_EQ(TextRecognition::scaleFor(rows(30)), 1.0);
    EXPECT_EQ(TextRecognition::typicalTextHeight(blank(600, 300)), std::nullopt);
    EXPECT_EQ(TextRecognition::scaleFor(blank(600, 300)), 1.0);
    // A very wide band is enlarged less, so it stays within the pixel budget.
    const double wide = TextRecognition::scaleFor(rows(14).scaled(40000, 300));
    EXPECT_LT(wide, 2.0);
    EXPECT_GE(wide, 1.0);
}
