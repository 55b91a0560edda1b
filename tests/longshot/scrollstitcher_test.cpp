#include "longshot/longcaptureaxis.h"
#include "longshot/longdocument.h"
#include "longshot/scrollstitcher.h"
#include "longshot/slicearena.h"

#include <gtest/gtest.h>

#include <QPainter>
#include <QProcess>
#include <QTemporaryDir>

#include <cstring>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace korvel {
namespace {

using scenes::expectedStitch;
using scenes::frameAt;

constexpr int viewport = 300;
constexpr qint64 maximumPixels = 24'000'000;

// Pixels compared in premultiplied form, the stitcher's own format.
bool samePixels(const std::optional<QImage>& actual, const QImage& expected) {
    const auto format = QImage::Format_ARGB32_Premultiplied;
    return actual && actual->convertToFormat(format) == expected.convertToFormat(format);
}

// What offering `frames` in turn did, as korvel-stitch prints it.
std::string feed(ScrollStitcher& stitcher, const std::vector<QImage>& frames,
                 bool automaticCrop = false) {
    QStringList results;
    for (const QImage& frame : frames)
        results += stitcher.append(frame, automaticCrop).toString();
    return results.join(QStringLiteral(", ")).toStdString();
}

struct Document : ::testing::Test {
    QImage page = scenes::longDocument(420, 4000);
    QImage header = scenes::bandImage(420, 30, 11, qRgb(235, 238, 245));
    QImage footer = scenes::bandImage(420, 26, 12, qRgb(40, 44, 52));
    QImage at(int offset) const { return frameAt(page, offset, viewport, header, footer); }
    QImage stitched(int first, int last) const {
        return expectedStitch(page, first, last, viewport, header, footer);
    }
};

TEST_F(Document, AutomaticCropCutsBackToWhereTheUserScrolled) {
    ScrollStitcher stitcher(at(300), maximumPixels);
    EXPECT_EQ(feed(stitcher, {at(400), at(500)}, true), "appended 100, appended 100");
    // Without automatic crop, scrolling back is not a candidate at all.
    EXPECT_EQ(feed(stitcher, {at(450)}), "unmatched");
    EXPECT_EQ(feed(stitcher, {at(450)}, true), "cropped 50");
    // Exactly back to the first frame is allowed; nothing further.
    EXPECT_EQ(feed(stitcher, {at(480), at(300)}, true), "appended 30, cropped 180");
    EXPECT_TRUE(samePixels(stitcher.image(), stitched(300, 300)));
    EXPECT_EQ(feed(stitcher, {at(250), at(380)}, true), "unmatched, appended 80");
}

// A frame that agrees only roughly (a repaint half done) is not stitched on a guess.
TEST_F(Document, DoubtfulFramesAreSkipped) {
    ScrollStitcher stitcher(at(100), maximumPixels);
    QImage smeared = at(180);
    {
        QPainter painter(&smeared);
        painter.setOpacity(0.2);
        painter.drawImage(0, 0, at(100));
    }
    EXPECT_EQ(feed(stitcher, {smeared, at(180)}), "unmatched, appended 80");
    EXPECT_TRUE(samePixels(stitcher.image(), stitched(100, 180)));
}

TEST(Stitcher, RepetitiveContentNeverGivesAWrongSeam) {
    // A striped table: every 24 rows the same rows again.
    QImage row = scenes::longDocument(400, 24, 5);
    QImage table(400, 2000, QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < table.height(); ++y)
        std::memcpy(table.scanLine(y), row.constScanLine(y % 24), size_t(table.bytesPerLine()));
    auto at = [&](int offset) { return table.copy(0, offset, 400, viewport); };
    ScrollStitcher stitcher(at(0), maximumPixels);
    EXPECT_EQ(feed(stitcher, {at(10), at(24), at(59)}), "unmatched, unchanged, unmatched");
    EXPECT_TRUE(samePixels(stitcher.image(), at(0)));
}

// `rows` of `page` from `offset`; headings every `every` rows stick until the next pushes them off.
QImage stickyFrameAt(const QImage& page, int offset, int every, const std::vector<QImage>& headings,
                     int rows = viewport) {
    QImage frame = page.copy(0, offset, page.width(), rows);
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
    const QImage truth = stickyFrameAt(page, 0, every, headings, page.height());
    // Steps that end with a heading pinned, half pushed off, or just arriving at the top.
    for (const int step : {37, 90, 143, 211}) {
        ScrollStitcher stitcher(stickyFrameAt(page, 0, every, headings), maximumPixels);
        int offset = 0;
        while (offset + step + viewport <= 3000) {
            offset += step;
            ASSERT_EQ(feed(stitcher, {stickyFrameAt(page, offset, every, headings)}),
                      "appended " + std::to_string(step))
                << "at " << offset;
        }
        EXPECT_TRUE(samePixels(stitcher.image(), truth.copy(0, 0, 420, offset + viewport)))
            << "step " << step;
    }
}

// Lines that differ only in their numbers: the signature blurs them, the pixels do not.
TEST(Stitcher, NumberedLinesStitchAtTheirTrueShiftEvenOneLineApart) {
    QImage page(420, 2400, QImage::Format_ARGB32_Premultiplied);
    page.fill(Qt::white);
    {
        QPainter painter(&page);
        QFont font = painter.font();
        font.setPixelSize(14);
        painter.setFont(font);
        for (int n = 1, y = 18; y < page.height(); ++n, y += 20)
            painter.drawText(8, y, QStringLiteral("Line %1: 第%1行 scrolling content …").arg(n));
    }
    auto at = [&](int offset) { return page.copy(0, offset, 420, viewport); };
    ScrollStitcher stitcher(at(0), maximumPixels);
    for (const int offset : {20, 40, 100, 167, 187, 207, 320, 340})
        EXPECT_NE(stitcher.append(at(offset), false).kind, ScrollAppendResult::Kind::unmatched)
            << offset;
    EXPECT_TRUE(samePixels(stitcher.image(), page.copy(0, 0, 420, 340 + viewport)));
    // After a frame too far ahead, scrolling back finds the place again: no dead end.
    EXPECT_EQ(feed(stitcher, {at(1200), at(400)}), "unmatched, appended 60");
    EXPECT_TRUE(samePixels(stitcher.image(), page.copy(0, 0, 420, 400 + viewport)));
}

TEST(Stitcher, BlankAndBadFramesAreNeverAppended) {
    const QImage page = scenes::longDocument(400, 2000);
    QImage blank(400, viewport, QImage::Format_RGB32);
    blank.fill(Qt::white);
    ScrollStitcher fromBlank(blank, maximumPixels);
    QImage almost = blank;
    almost.setPixel(200, 100, qRgb(250, 250, 250));
    EXPECT_EQ(feed(fromBlank, {almost, page.copy(0, 0, 400, viewport)}), "unchanged, unmatched");

    ScrollStitcher stitcher(page.copy(0, 0, 400, viewport), maximumPixels);
    EXPECT_EQ(feed(stitcher, {blank, page.copy(0, 50, 399, viewport),
                              page.copy(0, 50, 400, viewport + 1), QImage()}),
              "unmatched, unmatched, unmatched, unmatched");
    const QImage rgb = page.copy(0, 50, 400, viewport).convertToFormat(QImage::Format_RGB888);
    EXPECT_EQ(feed(stitcher, {rgb}), "appended 50");

    // One-row frames can never overlap enough.
    ScrollStitcher line(page.copy(0, 15, 400, 1), maximumPixels);
    EXPECT_EQ(feed(line, {page.copy(0, 15, 400, 1), page.copy(0, 0, 400, 1)}),
              "unchanged, unmatched");

    // An empty first frame gives a stitcher that accepts and shows nothing.
    ScrollStitcher empty{QImage(), maximumPixels};
    EXPECT_EQ(feed(empty, {QImage()}), "unmatched");
    EXPECT_FALSE(empty.image());

    // A very long run of identical small frames stays one viewport.
    const QImage small = page.copy(0, 10, 72, 8);
    ScrollStitcher same(small, maximumPixels);
    for (int i = 0; i < 100000; ++i)
        ASSERT_TRUE(same.append(small, true) == ScrollAppendResult::unchanged()) << i;
    EXPECT_EQ(same.height(), 8);
}

TEST(Stitcher, LimitsLeaveTheImageUnchanged) {
    const QImage page = scenes::longDocument(100, 30600, 9);
    auto at = [&](int offset) { return page.copy(0, offset, 100, 400); };
    ScrollStitcher tall(at(0), 1'000'000'000);
    int offset = 0;
    while (tall.height() + 250 <= 30000) {
        offset += 250;
        ASSERT_EQ(feed(tall, {at(offset)}), "appended 250") << "at " << offset;
    }
    const auto image = tall.image();
    // 29,900 rows now: 250 more would pass 30,000, 100 just reach it.
    EXPECT_EQ(tall.height(), 29900);
    EXPECT_EQ(feed(tall, {at(offset + 250)}), "limit");
    EXPECT_TRUE(samePixels(tall.image(), *image));
    EXPECT_EQ(feed(tall, {at(offset + 100), at(offset + 101)}), "appended 100, limit");
    EXPECT_EQ(tall.height(), 30000);

    // The pixel budget: 100 × 600 pixels allowed; never below the first frame.
    ScrollStitcher budget(at(0), 100 * 600);
    EXPECT_EQ(feed(budget, {at(100), at(201), at(200)}), "appended 100, limit, appended 100");
    ScrollStitcher tiny(at(0), 1);
    EXPECT_EQ(feed(tiny, {at(1)}), "limit");
}

// 205 / 10000 × 10000 rows must be 205, not 204; no height still leaves a pixel.
TEST(Stitcher, PreviewFitsTheHeightToTheRowAndKeepsAPixel) {
    QImage tall(1000, 10000, QImage::Format_RGB32);
    tall.fill(Qt::gray);
    ScrollStitcher stitcher(tall, maximumPixels);
    EXPECT_EQ(stitcher.image(true, 205)->size(), QSize(20, 205));
    EXPECT_EQ(stitcher.image(true, 0)->size(), QSize(1, 1));
}

// Quarter turns and reversal are checked through the stream and korvel-stitch.
TEST(LongCapture, CropsLeaveAtLeastARow) {
    QImage column(1, 10, QImage::Format_RGB32);
    column.fill(Qt::black);
    EXPECT_EQ((LongCaptureCrop{2, 3}.apply(column).value_or(QImage()).height()), 5);
    EXPECT_TRUE((LongCaptureCrop{9, 0}.apply(column)));
    for (const LongCaptureCrop crop : {LongCaptureCrop{10, 0}, {4, 6}, {-1, 0}, {0, -1}})
        EXPECT_FALSE(crop.apply(column)) << crop.leading << " " << crop.trailing;
    EXPECT_FALSE(reversedScrollImage(QImage()));
}

// Slices span blocks, outlive the arena and survive their neighbours' release.
TEST(SliceArena, SlicesStayExactAcrossBlocksAndReleases) {
    const QImage page = scenes::longDocument(1000, 3000, 5).convertToFormat(longCaptureFormat);
    const auto sameRows = [&](const QImage& slice, int firstRow) {
        return slice.format() == longCaptureFormat &&
               slice == page.copy(0, firstRow, page.width(), slice.height());
    };
    std::vector<QImage> slices;
    {
        SliceArena arena;
        // About 4 MB each: 40 fill several blocks; 997 rows leave slices unaligned to pages.
        for (int n = 0; n < 40; ++n) {
            auto slice = arena.copy(page, QRect(0, n * 50, 1000, 997));
            ASSERT_TRUE(slice);
            slices.push_back(*slice);
        }
    }
    for (size_t n = 1; n < slices.size(); n += 2)
        slices[n] = QImage(); // every other one dies, the arena already gone
    for (size_t n = 0; n < slices.size(); n += 2)
        EXPECT_TRUE(sameRows(slices[n], int(n) * 50)) << n;

    // Writing into a copy must not reach the other slices or the source.
    QImage written = slices[0];
    written.fill(Qt::red);
    EXPECT_TRUE(sameRows(slices[0], 0));
    EXPECT_TRUE(sameRows(slices[2], 100));
}

// Copies the arena cannot make come from copiedCrop, converted or refused.
TEST(SliceArena, OddInputFallsBackOrFails) {
    SliceArena arena;
    const QImage rgb = scenes::longDocument(200, 400, 1).convertToFormat(QImage::Format_RGB888);
    auto converted = arena.copy(rgb, QRect(10, 20, 100, 50));
    ASSERT_TRUE(converted);
    EXPECT_EQ(converted->format(), longCaptureFormat);
    EXPECT_EQ(converted->pixel(0, 0), rgb.pixel(10, 20));
    EXPECT_FALSE(arena.copy(rgb, QRect(0, 390, 200, 20))); // past the bottom
    EXPECT_FALSE(arena.copy(QImage(), QRect(0, 0, 1, 1)));
}

// korvel-stitch on frames saved as files: a line per frame, the image, the exit status.
struct Stitch : Document {
    QTemporaryDir dir;
    const QImage wide = *restore(LongCaptureAxis::horizontal, scenes::longDocument(260, 3000, 3));

    QString path(const QString& name) const { return dir.filePath(name); }
    // Words of `text` with %1 standing for the folder.
    QStringList words(const char* text) const {
        return QString::fromUtf8(text).arg(dir.path()).split(QLatin1Char(' '));
    }
    QString save(const QImage& image, const QString& name) const {
        EXPECT_TRUE(image.save(path(name), "PNG"));
        return path(name);
    }
    QStringList frames(std::initializer_list<int> offsets) const {
        QStringList files;
        for (const int offset : offsets)
            files += save(at(offset), QStringLiteral("v%1.png").arg(offset));
        return files;
    }
    struct Run {
        int status;
        QString lines, errors;
    };
    static Run run(const QStringList& arguments) {
        QProcess stitch;
        stitch.start(QStringLiteral(KORVEL_STITCH), arguments);
        EXPECT_TRUE(stitch.waitForFinished(20000)) << "korvel-stitch hangs";
        return {stitch.exitCode(), QString::fromUtf8(stitch.readAllStandardOutput()),
                QString::fromUtf8(stitch.readAllStandardError())};
    }
};

TEST_F(Stitch, PrintsALinePerFrameAndWritesTheImage) {
    // Each stretch once, a frame too far ahead skipped, scrolling back cropped; the
    // header once at the top, the latest footer at the bottom.
    Run r = run(words("--auto-crop -o %1/out.png") +
                frames({100, 100, 160, 160, 230, 231, 350, 900, 460, 640, 820, 1000, 1200, 1150}));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines, QStringLiteral("1 first\n2 unchanged\n3 appended 60\n4 unchanged\n"
                                      "5 appended 70\n6 appended 1\n7 appended 119\n8 unmatched\n"
                                      "9 appended 110\n10 appended 180\n11 appended 180\n"
                                      "12 appended 180\n13 appended 200\n14 cropped 50\n"));
    EXPECT_TRUE(samePixels(QImage(path(QStringLiteral("out.png"))), stitched(100, 1150)));

    // Scrolling back first gives the natural order and crops the other way.
    r = run(words("--auto-crop -o %1/out.png") +
            frames({1500, 1440, 1300, 1300, 1150, 1000, 1050}));
    EXPECT_EQ(r.lines, QStringLiteral("1 first\n2 appended 60\n3 appended 140\n4 unchanged\n"
                                      "5 appended 150\n6 appended 150\n7 cropped 50\n"));
    EXPECT_TRUE(samePixels(QImage(path(QStringLiteral("out.png"))), stitched(1050, 1500)));

    // A horizontal capture: a wide page whose new columns enter on the right.
    QStringList wideFrames;
    for (const int x : {200, 320, 500, 700})
        wideFrames += save(wide.copy(x, 0, 500, 260), QStringLiteral("h%1.png").arg(x));
    r = run(words("--horizontal -o %1/out.png") + wideFrames);
    EXPECT_EQ(r.lines, QStringLiteral("1 first\n2 appended 120\n3 appended 180\n4 appended 200\n"));
    EXPECT_TRUE(samePixels(QImage(path(QStringLiteral("out.png"))), wide.copy(200, 0, 1000, 260)));

    // Later bad frames are reported by name and skipped.
    save(page.copy(0, 0, 400, viewport), QStringLiteral("other-size.png"));
    const QString truncated = save(at(160), QStringLiteral("truncated.png"));
    QFile::resize(truncated, QFileInfo(truncated).size() / 2);
    QFile(path(QStringLiteral("empty.png"))).open(QIODevice::WriteOnly);
    r = run(words("-o %1/out.png %1/v100.png %1/other-size.png %1/truncated.png %1/empty.png "
                  "%1/v160.png"));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.lines, QStringLiteral("1 first\n2 unmatched\n3 unreadable\n4 unreadable\n"
                                      "5 appended 60\n"));
    for (const QString& bad : words("%1/truncated.png %1/empty.png"))
        EXPECT_TRUE(r.errors.contains(QStringLiteral("cannot read ") + bad))
            << r.errors.toStdString();
}

// An unreadable first frame, bad usage or an unwritable output: no image.
TEST_F(Stitch, RefusesWhatItCannotStitchOrWrite) {
    frames({100});
    QFile(path(QStringLiteral("empty.png"))).open(QIODevice::WriteOnly);
    ASSERT_EQ(::mkfifo(QFile::encodeName(path(QStringLiteral("fifo.png"))).constData(), 0600), 0);
    // Arguments, exit status, words on standard error.
    const std::tuple<const char*, int, const char*> cases[] = {
        {"-o %1/out.png %1/empty.png %1/v100.png", 2, "cannot read %1/empty.png"},
        // A FIFO would block for ever.
        {"-o %1/out.png %1/fifo.png %1/v100.png", 2, "%1/fifo.png: not a regular file"},
        {"%1/v100.png", 2, "usage"},
        {"--bogus -o %1/out.png %1/v100.png", 2, "unknown option --bogus"},
        {"-o %1/no/such/dir/out.png %1/v100.png", 1, "cannot write %1/no/such/dir/out.png"},
    };
    for (const auto& [arguments, status, error] : cases) {
        const Run r = run(words(arguments));
        EXPECT_EQ(r.status, status) << arguments;
        EXPECT_TRUE(r.errors.contains(QString::fromUtf8(error).arg(dir.path())))
            << r.errors.toStdString();
        EXPECT_FALSE(QFile::exists(path(QStringLiteral("out.png")))) << arguments;
    }
}

// A new output follows the umask; a replaced one keeps its mode and other names.
TEST_F(Stitch, AReplacedOutputKeepsItsModeAndLinks) {
    const QByteArray out = QFile::encodeName(path(QStringLiteral("private.png")));
    const auto mode = [&] {
        struct stat s {};
        return ::stat(out.constData(), &s) == 0 ? s.st_mode & 0777 : 0;
    };
    const mode_t saved = ::umask(077);
    run(words("-o %1/private.png") + frames({100}));
    EXPECT_EQ(mode(), 0600u);
    const QString second = path(QStringLiteral("second-name.png"));
    ASSERT_EQ(::link(out.constData(), QFile::encodeName(second).constData()), 0);
    ::umask(022);
    run(words("-o %1/private.png") + frames({100, 160}));
    ::umask(saved);
    EXPECT_EQ(mode(), 0600u);
    EXPECT_EQ(QImage(second).height(), viewport + 60);
}

} // namespace
} // namespace korvel
