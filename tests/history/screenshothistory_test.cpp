#include "../testpng.h"
#include "history/screenshothistory.h"
#include "platform/atomicfile.h"

#include <gtest/gtest.h>
#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace korvel;

namespace {

// A distinct PNG for each seed; `noise` makes it incompressible and large.
QByteArray png(int seed, QSize size = QSize(16, 16), bool noise = false) {
    QImage image(size, QImage::Format_RGB32);
    quint32 state = quint32(seed) * 2654435761u + 1;
    for (int y = 0; y < size.height(); ++y)
        for (int x = 0; x < size.width(); ++x) {
            state = state * 1664525u + 1013904223u;
            image.setPixel(x, y, noise ? (state >> 8) : quint32(seed * 40503));
        }
    return pngOf(image);
}

void write(const QString& path, const QByteArray& content) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(content);
}

QByteArray read(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Permission bits, of a link itself rather than what it leads to.
mode_t mode(const QString& path) {
    struct stat st {};
    ::lstat(QFile::encodeName(path).constData(), &st);
    return st.st_mode & 07777;
}

QImage thumbnailOf(QByteArray bytes) {
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    return ScreenshotHistory::thumbnail(&buffer, 96);
}

struct History : ::testing::Test {
    QTemporaryDir dir;
    QTemporaryDir outside;
    QString folder() const { return dir.filePath(QStringLiteral("Dastra/History")); }
    std::unique_ptr<QSettings> settings() const {
        return std::make_unique<QSettings>(dir.filePath(QStringLiteral("k.conf")),
                                           QSettings::IniFormat);
    }
    std::unique_ptr<ScreenshotHistory>
    history(qint64 maximum = ScreenshotHistory::defaultMaximumBytes) {
        return std::make_unique<ScreenshotHistory>(
            folder(), [this] { return settings(); }, maximum);
    }
    void enable(int limit = 20) {
        auto s = settings();
        s->setValue(QStringLiteral("historyEnabled"), true);
        s->setValue(QStringLiteral("historyLimit"), limit);
    }
    qint64 t = 1'700'000'000'000'000;
    void record(ScreenshotHistory& h, const QByteArray& data) { h.recordNow(data, t += 1000); }
    QString entry(int n, char digest = 'a') const {
        return folder() + QStringLiteral("/%1-%2.png")
                              .arg(n, 20, 10, QLatin1Char('0'))
                              .arg(QString(64, QLatin1Char(digest)));
    }
    // A file outside the store that must survive whatever the store does.
    QString precious() {
        const QString path = outside.filePath(QStringLiteral("precious.png"));
        write(path, png(7));
        return path;
    }
};

} // namespace

TEST_F(History, NothingIsRecordedWhileDisabledAndEachOfTheFourLimitsEvictsTheOldestFirst) {
    auto h = history();
    h->recordNow(png(1), t);
    h->record(png(2));
    h->waitForIdle();
    EXPECT_FALSE(QDir(folder()).exists());
    settings()->setValue(QStringLiteral("historyLimit"), 30);
    EXPECT_EQ(h->limit(), 20);
    h->setLimit(7);
    EXPECT_EQ(settings()->value(QStringLiteral("historyLimit")).toInt(), 20);
    settings()->setValue(QStringLiteral("historyLimit"), QStringLiteral("many"));
    EXPECT_EQ(h->limit(), 20);
    // Names have a fixed width: fewer digits still sort as older.
    EXPECT_LT(ScreenshotHistory::fileName(999, png(1)), ScreenshotHistory::fileName(1000, png(1)));
    for (int limit : {10, 20, 50, 100}) {
        QDir(folder()).removeRecursively();
        enable(limit);
        EXPECT_EQ(h->limit(), limit);
        for (int i = 0; i <= limit; ++i)
            record(*h, png(i));
        const QStringList entries = h->entries();
        ASSERT_EQ(entries.size(), limit);
        // The newest is first; the very first recording is gone.
        EXPECT_TRUE(entries.front().endsWith(ScreenshotHistory::fileName(t, png(limit))));
        EXPECT_FALSE(
            entries.join(u'|').contains(ScreenshotHistory::fileName(t - 1000 * limit, png(0))));
    }
}

TEST_F(History, ByteCapEvictsOldEntriesAndRefusesHugeOnesDuplicatesAndNonImages) {
    enable(100);
    const QByteArray a = png(1, QSize(64, 64), true), b = png(2, QSize(64, 64), true);
    auto h = history(a.size() + b.size() - 1); // room for one of them, not two
    record(*h, a);
    record(*h, b);
    ASSERT_EQ(h->entries().size(), 1);
    EXPECT_TRUE(h->entries().front().contains(ScreenshotHistory::fileName(t, b).mid(21)));
    // Small ones can stay; one image twice in a row is kept once, no cut PNG.
    for (int seed : {3, 3, 4, 3})
        record(*h, png(seed));
    record(*h, QByteArray("not a png"));
    record(*h, png(5).left(40));
    EXPECT_EQ(h->entries().size(), 4);
    // Larger than the cap on its own: not recorded, no error.
    auto tiny = history(100);
    record(*tiny, a);
    EXPECT_EQ(tiny->entries().size(), 4);
    EXPECT_FALSE(tiny->lastError());
}

TEST_F(History, StrayFilesAreNeverListedOrDeleted) {
    enable(10);
    auto h = history();
    record(*h, png(100));
    QDir d(folder());
    for (const char* name : {"notes.txt", "SHOT.PNG", "shot.png"})
        write(d.filePath(QLatin1String(name)), png(5));
    ASSERT_TRUE(d.mkdir(entry(2)));
    const QString kept = precious();
    ASSERT_TRUE(QFile::link(kept, entry(3)));
    // A truncated PNG under an entry's name is an entry, old, and may go.
    write(entry(4, 'b'), png(8).left(30));

    EXPECT_EQ(h->entries().size(), 2); // the recording and the truncated file
    for (int i = 0; i < 12; ++i)
        record(*h, png(200 + i));
    EXPECT_EQ(h->entries().size(), 10);
    // Removal goes through entries only.
    EXPECT_FALSE(h->remove(kept));
    EXPECT_FALSE(h->clear());
    EXPECT_TRUE(h->entries().isEmpty());
    EXPECT_TRUE(QFile::exists(kept));
    for (const char* name : {"notes.txt", "SHOT.PNG", "shot.png"})
        EXPECT_TRUE(QFile::exists(d.filePath(QLatin1String(name)))) << name;
    EXPECT_TRUE(QFileInfo(entry(2)).isDir());
    EXPECT_TRUE(QFileInfo(entry(3)).isSymLink());
}

// Small copies beside the entries never stand in for a missing or larger one.
TEST_F(History, ThumbnailCopiesAreUsedRepairedAndRemovedWithTheirEntries) {
    enable();
    const QSize size(800, 200);
    auto h = history(png(1, size).size() + png(2, size).size() + png(3, size).size() - 1); // 2 fit
    h->record(png(1, size)); // in the background, in order
    h->record(png(2, size));
    h->waitForIdle();
    ASSERT_EQ(h->entries().size(), 2);
    const QString newest = h->entries().front();
    EXPECT_TRUE(newest.contains(ScreenshotHistory::fileName(0, png(2, size)).mid(21)));
    const auto copyOf = [&](const QString& entry) {
        return folder() + QStringLiteral("/.thumbnails/") + QFileInfo(entry).fileName();
    };
    EXPECT_EQ(QImage(copyOf(newest)).size(), QSize(192, 48));

    // A marked copy shows that small requests read it and larger ones do not.
    write(copyOf(newest), filledPng(QSize(192, 48), Qt::green));
    EXPECT_EQ(ScreenshotHistory::thumbnail(newest, 96).pixel(10, 10), QColor(Qt::green).rgb());
    const QImage preview = ScreenshotHistory::thumbnail(newest, 400);
    EXPECT_EQ(preview.size(), QSize(400, 100));
    EXPECT_NE(preview.pixel(10, 10), QColor(Qt::green).rgb());

    // A broken copy falls back to the entry and is written again.
    write(copyOf(newest), "not a png");
    EXPECT_EQ(ScreenshotHistory::thumbnail(newest, 96).size(), QSize(96, 24));
    EXPECT_EQ(QImage(copyOf(newest)).size(), QSize(192, 48));

    // Pruning, removing and clearing take the copies along.
    const QString oldest = h->entries().back();
    record(*h, png(3, size));
    EXPECT_FALSE(QFileInfo::exists(copyOf(oldest)));
    EXPECT_FALSE(h->remove(newest));
    EXPECT_FALSE(QFileInfo::exists(copyOf(newest)));
    EXPECT_TRUE(ScreenshotHistory::thumbnail(newest, 96).isNull());
    EXPECT_FALSE(h->clear());
    EXPECT_FALSE(QFileInfo::exists(folder() + QStringLiteral("/.thumbnails")));
}

// A chunk claiming more than the file made the decoder allocate it all; other
// damage goes through the same check: PngCheck.
TEST(HistoryThumbnail, OnlyWholePngsWithinTheGuardAreDecoded) {
    QImage huge(20000, 20000, QImage::Format_Mono); // 50 MB to hold, a few kB as PNG
    ASSERT_FALSE(huge.isNull());
    huge.fill(0);
    EXPECT_TRUE(thumbnailOf(pngOf(huge)).isNull());

    const QByteArray good = png(4, QSize(40, 30));
    ASSERT_EQ(thumbnailOf(good).size(), QSize(40, 30));
    QByteArray claim = good; // a text chunk after the header claiming 1.8 GB
    claim.insert(33, QByteArray::fromHex("70485973") + "zTXt" + QByteArray(8, 'x'));
    rusage before{}, after{};
    getrusage(RUSAGE_SELF, &before);
    EXPECT_TRUE(thumbnailOf(claim).isNull());
    getrusage(RUSAGE_SELF, &after);
    EXPECT_LT(after.ru_maxrss - before.ru_maxrss, 200 * 1024) << "kilobytes";
}

// A killed writer leaves the old or the new file, never a part of one; a link
// leads to the file it names. Modes: Stitch.AReplacedOutputKeepsItsModeAndLinks.
TEST(AtomicFile, KilledWritersAndLinks) {
    QTemporaryDir dir;
    auto path = [&](const char* name) { return dir.filePath(QLatin1String(name)); };
    const QByteArray old(1000, 'o'), fresh(64 * 1024 * 1024, 'n');
    for (int delayUs : {0, 2000, 20000, 200000}) {
        ASSERT_FALSE(writeFileAtomically(path("target.png"), old));
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            writeFileAtomically(path("target.png"), fresh);
            ::_exit(0);
        }
        ::usleep(useconds_t(delayUs));
        ::kill(child, SIGKILL);
        ::waitpid(child, nullptr, 0);
        const QByteArray now = read(path("target.png"));
        EXPECT_TRUE(now == old || now == fresh) << "size " << now.size();
    }
    const mode_t mask = ::umask(077);
    ASSERT_FALSE(writeFileAtomically(path("private.png"), "a"));
    ::umask(022);
    ASSERT_TRUE(QFile::link(path("private.png"), path("link.png")));
    ASSERT_FALSE(writeFileAtomically(path("link.png"), "d"));
    EXPECT_TRUE(QFileInfo(path("link.png")).isSymLink());
    EXPECT_EQ(read(path("private.png")), "d");
    EXPECT_EQ(mode(path("private.png")), 0600u);
    ::umask(mask);
    EXPECT_TRUE(isAtomicWriteLeftover(QStringLiteral(".x.png.Ab12Cd")));
    EXPECT_FALSE(isAtomicWriteLeftover(QStringLiteral("x.png.Ab12Cd")));
    EXPECT_FALSE(isAtomicWriteLeftover(QStringLiteral(".x.png")));
}

// Nothing written or deleted leaves the folder through a link; all is private
// whatever the umask; leftovers of killed writes go; entries dated ahead of the
// clock never make a new recording the one that is pruned.
TEST_F(History, LinksLeftoversOldFoldersAndEntriesDatedAheadAreHandled) {
    enable(10);
    const QString kept = precious();
    ASSERT_TRUE(QDir().mkpath(folder()));
    for (const QString& f : {QFileInfo(folder()).absolutePath(), folder()})
        ::chmod(QFile::encodeName(f).constData(), 0755);
    const QString copies = folder() + QStringLiteral("/.thumbnails");
    ASSERT_TRUE(QFile::link(outside.path(), copies));
    const QString name = ScreenshotHistory::fileName(t, png(1));
    const QString leftover = folder() + QStringLiteral("/.") + name + QStringLiteral(".aB3dE9");
    const QString foreign = folder() + QStringLiteral("/.notes.txt.aB3dE9");
    write(leftover, "partial");
    write(foreign, "partial");

    const mode_t old = ::umask(0);
    auto h = history();
    EXPECT_FALSE(QFileInfo::exists(leftover));
    for (int i = 0; i < 10; ++i)
        h->recordNow(png(i), 4'102'444'800'000'000 + i); // the year 2100
    h->recordNow(png(99), t);
    ::umask(old);
    for (const QString& f : {QFileInfo(folder()).absolutePath(), folder(), copies}) {
        EXPECT_TRUE(QFileInfo(f).isDir() && !QFileInfo(f).isSymLink()) << f.toStdString();
        EXPECT_EQ(mode(f), 0700u) << f.toStdString();
    }
    ASSERT_EQ(h->entries().size(), 10);
    EXPECT_EQ(read(h->entries().front()), png(99));
    EXPECT_EQ(mode(h->entries().front()), 0600u);
    EXPECT_EQ(QDir(outside.path()).entryList(QDir::Files),
              QStringList{QStringLiteral("precious.png")});

    // Clearing removes a link it finds there, never what the link leads to.
    const QString leftoverCopy = copies + QStringLiteral("/.") + name + QStringLiteral(".Zz0000");
    write(leftoverCopy, {});
    ASSERT_FALSE(h->clear());
    EXPECT_FALSE(QFileInfo::exists(copies));
    ASSERT_TRUE(QFile::link(outside.path(), copies));
    ASSERT_FALSE(h->clear());
    EXPECT_TRUE(QFileInfo::exists(kept));
    EXPECT_FALSE(QFileInfo(copies).isSymLink());
    EXPECT_TRUE(QFileInfo::exists(foreign));
}
