#include "../testwait.h"
#include "ocr/textrecognitionwindow.h"
#include "platform/fake/faketextrecognizer.h"
#include "textscenes.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// Finds `lines`, only once `release` is set if given (to act while it runs).
TextRecognitionWindow::EngineFactory engine(QStringList lines,
                                            std::shared_ptr<std::atomic<bool>> release = {},
                                            std::optional<Error> failure = {}) {
    return [=] {
        auto fake = std::make_unique<fake::TextRecognizer>();
        fake->languageFailure = failure;
        fake->read = [=](const QImage&, int) {
            for (int i = 0; release && !release->load() && i < 2500; ++i)
                QThread::msleep(2);
            std::vector<RecognizedLine> found;
            for (int i = 0; i < lines.size(); ++i)
                found.push_back({lines[i], QRect(0, 10 + 30 * i, 100, 16)});
            return found;
        };
        return fake;
    };
}

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
}

struct Window : ::testing::Test {
    int copied = 0;
    int closed = 0;

    TextRecognitionWindow* open(bool copyWhenReady, TextRecognitionWindow::EngineFactory factory) {
        QImage picture(200, 120, QImage::Format_RGB32);
        picture.fill(Qt::white);
        return TextRecognitionWindow::open(
            picture, copyWhenReady, [this] { ++copied; }, [this] { ++closed; }, std::move(factory));
    }
    // The registry lets go of a window once the current call has returned.
    static bool released(const QUuid& id) {
        return waitFor([id] { return TextRecognitionWindow::active().count(id) == 0; });
    }
    void TearDown() override {
        waitFor([] { return TextRecognitionWindow::active().empty(); });
        TextRecognitionWindow::active().clear();
    }
};

} // namespace

TEST_F(Window, ShowsTextAndCopiesTheEditedVersion) {
    TextRecognitionWindow* w =
        open(false, engine({QStringLiteral("第一行"), QStringLiteral("second line")}));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("正在识别…"));
    EXPECT_FALSE(w->copyButton()->isEnabled());
    ASSERT_TRUE(waitFor([w] { return !w->isRecognizing(); }));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("识别完成，可编辑后复制"));
    EXPECT_EQ(w->textView()->toPlainText(), QStringLiteral("第一行\nsecond line"));
    EXPECT_TRUE(w->copyButton()->isEnabled());

    // Shift+Return breaks the line; Return copies what the user now sees.
    w->textView()->moveCursor(QTextCursor::End);
    press(w->textView(), Qt::Key_Return, Qt::ShiftModifier);
    w->textView()->insertPlainText(QStringLiteral("补充"));
    EXPECT_EQ(copied, 0);
    const QUuid id = w->id();
    press(w->textView(), Qt::Key_Return);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("第一行\nsecond line\n补充"));
    EXPECT_EQ(copied, 1);
    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(TextRecognitionWindow::active().count(id), 1u);
    EXPECT_TRUE(released(id));
}

// A failure (or no text: e2e.Capture) leaves copying off even for a quick copy,
// and the window open until it is closed.
TEST_F(Window, QuickCopyClosesByItselfButAFailureLeavesCopyOff) {
    open(true, engine({QStringLiteral("快速复制 42")}));
    ASSERT_TRUE(waitFor([this] { return closed == 1; }));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("快速复制 42"));
    const Error missing(QStringLiteral("TextRecognition"), 1, QStringLiteral("缺少数据"));
    TextRecognitionWindow* w = open(true, engine({QStringLiteral("x")}, {}, missing));
    ASSERT_TRUE(waitFor([w] { return !w->isRecognizing(); }));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("识别失败：缺少数据"));
    EXPECT_FALSE(w->copyButton()->isEnabled());
    press(w->textView(), Qt::Key_Return);
    EXPECT_FALSE(w->isClosed());
    press(w, Qt::Key_Escape);
    EXPECT_TRUE(w->isClosed());
    EXPECT_EQ(copied, 1);
}

TEST_F(Window, ClosingDuringRecognitionIgnoresTheLateResult) {
    for (int how = 0; how < 2; ++how) {
        auto release = std::make_shared<std::atomic<bool>>(false);
        closed = 0;
        TextRecognitionWindow* w = open(true, engine({QStringLiteral("late")}, release));
        const QUuid id = w->id();
        if (how == 0) {
            press(w->textView(), Qt::Key_Escape);
        } else {
            // The title bar's close button goes through the same path.
            QCloseEvent event;
            QApplication::sendEvent(w, &event);
            EXPECT_FALSE(event.isAccepted());
        }
        EXPECT_TRUE(w->isClosed());
        EXPECT_FALSE(w->isRecognizing());
        w->closeWindow();
        EXPECT_EQ(closed, 1);
        const QString clipboard = QApplication::clipboard()->text();
        release->store(true);
        EXPECT_TRUE(released(id));
        // Let a late delivery arrive, if there were one.
        QThread::msleep(50);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::clipboard()->text(), clipboard);
        EXPECT_EQ(copied, 0);
    }
}
