#include "../testpng.h"
#include "../testwait.h"
#include "history/historylistmodel.h"
#include "history/screenshothistory.h"
#include "history/screenshothistorywindow.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QListView>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QSettings>
#include <QTemporaryDir>

using namespace korvel;

namespace {

constexpr qint64 firstTime = 1'700'000'000'000'000; // microseconds
using State = HistoryListModel::ThumbnailState;

// Three captures, a second apart: red, green, blue.
struct HistoryWindowTest : ::testing::Test {
    QTemporaryDir dir;
    const QString folder = dir.filePath(QStringLiteral("Dastra/History"));
    std::unique_ptr<ScreenshotHistory> store;
    std::unique_ptr<ScreenshotHistoryWindow> window;
    std::function<int(QDialog&)> modal = [](QDialog&) { return int(QDialog::Rejected); };
    int dialogs = 0;

    void SetUp() override {
        QSettings().setValue(QStringLiteral("historyEnabled"), true);
        store = std::make_unique<ScreenshotHistory>(folder,
                                                    [] { return std::make_unique<QSettings>(); });
        store->recordNow(filledPng(QSize(400, 200), Qt::red), firstTime);
        store->recordNow(filledPng(QSize(200, 400), Qt::green), firstTime + 1'000'000);
        store->recordNow(filledPng(QSize(300, 300), Qt::blue), firstTime + 2'000'000);
    }
    void open() {
        window = std::make_unique<ScreenshotHistoryWindow>(*store);
        window->runModal = [this](QDialog& d) {
            ++dialogs;
            return modal(d);
        };
        window->showWindow();
    }
    HistoryListModel* model() { return window->model(); }
    QVariant data(int row, int role) { return model()->data(model()->index(row), role); }
    State state(int row) { return State(data(row, HistoryListModel::ThumbnailStateRole).toInt()); }
    bool thumbnailsDone() {
        for (int row = 0; row < model()->rowCount(); ++row)
            if (state(row) == State::loading)
                return false;
        return true;
    }
    void select(int row) { window->table()->setCurrentIndex(model()->index(row)); }
    // Answers the clear confirmation with its button titled `choice`.
    void answer(const char* choice) {
        modal = [choice](QDialog& d) {
            auto& box = static_cast<QMessageBox&>(d);
            EXPECT_EQ(box.text(), QStringLiteral("清空截图历史？"));
            EXPECT_EQ(box.informativeText(),
                      QStringLiteral("删除本机保存的历史记录，已另存的截图不受影响。"));
            for (QAbstractButton* b : box.buttons())
                if (b->text() == QString::fromUtf8(choice))
                    b->click();
            return 0;
        };
    }
};

// A new recording shows up while thumbnails load; the selection stays.
TEST_F(HistoryWindowTest, ListsCapturesNewestFirstWithThumbnailsAndTimesAndFollowsTheFolder) {
    open();
    ASSERT_EQ(model()->rowCount(), 3);
    EXPECT_EQ(model()->entries(), store->entries());
    select(1);
    const QString selected = *window->selectedEntry();
    store->recordNow(filledPng(QSize(100, 100), Qt::yellow), firstTime + 5'000'000);
    ASSERT_TRUE(waitFor([&] { return model()->rowCount() == 4; })); // the folder is watched
    EXPECT_EQ(window->selectedEntry(), selected);
    EXPECT_EQ(window->status()->text(), QStringLiteral("4 张 · 正在记录"));
    // Dates read microseconds whatever the leading zeros.
    const auto date = [](qint64 s) {
        return QDateTime::fromSecsSinceEpoch(s).toString(QStringLiteral("MM-dd HH:mm:ss"));
    };
    EXPECT_EQ(data(3, Qt::DisplayRole).toString(), date(1'700'000'000));
    EXPECT_EQ(historyEntryDate(QStringLiteral("00001700000000999999-ab.png")), date(1'700'000'000));
    EXPECT_EQ(historyEntryDate(QStringLiteral("1700000000000000-ab.png")), date(1'700'000'000));
    EXPECT_EQ(historyEntryDate(QStringLiteral("notanumber-ab.png")), date(0));
    // Far beyond any real time: a date, not a crash.
    EXPECT_FALSE(historyEntryDate(QStringLiteral("99999999999999999999-ab.png")).isEmpty());
    ASSERT_TRUE(waitFor([&] { return thumbnailsDone(); }));
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(state(row), State::ready);
        EXPECT_EQ(data(row, Qt::DecorationRole).value<QImage>().size(), QSize(96, 96));
    }
    // Row 1 is blue; the selected green one is previewed at up to 700 pixels.
    EXPECT_EQ(data(1, Qt::DecorationRole).value<QImage>().pixelColor(48, 48), QColor(Qt::blue));
    ASSERT_TRUE(waitFor([&] { return !window->preview()->image().isNull(); }));
    EXPECT_EQ(window->preview()->image().size(), QSize(200, 400));

    QSettings().setValue(QStringLiteral("historyEnabled"), false);
    window->reload();
    EXPECT_EQ(window->status()->text(), QStringLiteral("4 张 · 未开启记录，可在截图偏好中开启"));
}

// "删除", and clearing past stray files: e2e.Capture.
TEST_F(HistoryWindowTest, ClearAsksFirstAndCancelKeepsAll) {
    open();
    answer("取消");
    window->clearHistory();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(store->entries().size(), 3);

    answer("清空");
    window->clearHistory();
    EXPECT_EQ(model()->rowCount(), 0);

    // Empty: the selection's buttons are off and clearing still asks.
    for (QPushButton* b : window->selectionActions())
        EXPECT_FALSE(b->isEnabled());
    EXPECT_TRUE(window->clearButton()->isEnabled());
    EXPECT_TRUE(window->preview()->image().isNull());
    window->preview()->grab(); // an empty preview paints nothing
    window->clearHistory();
    EXPECT_EQ(dialogs, 3);
}

TEST_F(HistoryWindowTest, ACorruptPngShowsAsUnreadableAndCopyPinAndEditHandOverFileBytes) {
    QFile file(QDir(folder).filePath(QStringLiteral("00001700000001500000-") +
                                     QString(64, QLatin1Char('b')) + QStringLiteral(".png")));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(filledPng(QSize(50, 50), Qt::black).left(60)); // a header, then nothing
    file.close();
    open();
    ASSERT_EQ(model()->rowCount(), 4);
    EXPECT_EQ(model()->entries()[1], file.fileName());
    ASSERT_TRUE(waitFor([&] { return thumbnailsDone(); }));
    EXPECT_EQ(state(1), State::unreadable);
    EXPECT_EQ(data(1, Qt::AccessibleDescriptionRole).toString(), QStringLiteral("图片无法预览"));
    EXPECT_FALSE(data(1, Qt::DecorationRole).value<QImage>().isNull());

    QFile newest(store->entries()[0]);
    ASSERT_TRUE(newest.open(QIODevice::ReadOnly));
    const QByteArray bytes = newest.readAll();
    QByteArray pinned, edited;
    window->onPin = [&](const QByteArray& b) { pinned = b; };
    window->onEdit = [&](const QByteArray& b) { edited = b; };
    window->copyImage();
    window->pinImage();
    window->editImage();
    EXPECT_EQ(QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")), bytes);
    EXPECT_EQ(pinned, bytes);
    EXPECT_EQ(edited, bytes);
    store->waitForIdle();
    EXPECT_EQ(store->entries().size(), 4); // copying from the history records nothing new

    // The corrupt one's bytes go to the host to refuse; a file gone does nothing.
    select(1);
    window->editImage();
    EXPECT_EQ(edited.size(), 60);
    select(3);
    ASSERT_TRUE(QFile::remove(model()->entries()[3]));
    edited.clear();
    window->editImage();
    EXPECT_TRUE(edited.isEmpty());
}

TEST_F(HistoryWindowTest, TheStoresRecordingErrorTakesTheStatusLine) {
    // A file where the folder should be: recording cannot create it.
    ASSERT_TRUE(QDir(folder).removeRecursively() && QFile(folder).open(QIODevice::WriteOnly));
    store->recordNow(filledPng(QSize(10, 10), Qt::red), firstTime);
    ASSERT_TRUE(store->lastError());
    open();
    EXPECT_TRUE(window->status()->text().startsWith(QStringLiteral("历史记录失败：")));
    EXPECT_EQ(model()->rowCount(), 0);
}

} // namespace
