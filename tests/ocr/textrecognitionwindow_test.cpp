#include "../testwait.h"
#include "ocr/textrecognitionwindow.h"
#include "platform/fake/faketextrecognizer.h"
#include "textscenes.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QThread>

#include <gtest/gtest.h>

using namespace korvel;

namespace {

// An engine that finds the given lines, optionally only once `release` is
// set (so the test can act while recognition runs).
TextRecognitionWindow::EngineFactory engine(QStringList lines,
                                            std::shared_ptr<std::atomic<bool>> release = {},
                                            std::optional<Error> failure = {}) {
    return [=] {
        auto fake = std::make_unique<fake::TextRecognizer>();
        fake->languageFailure = failure;
        fake->read = [=](const QImage&, int) {
            QElapsedTimer waited;
            waited.start();
            while (release && !release->load() && waited.elapsed() < 5000)
                QThread::msleep(2);
            std::vector<RecognizedLine> found;
            int y = 10;
            for (const QString& line : lines) {
                found.push_back({line, QRect(0, y, 100, 16)});
                y += 30;
            }
            return found;
        };
        return fake;
    };
}

QImage picture() {
    QImage image(200, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
}

void press(QWidget* target, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QKeyEvent event(QEvent::KeyPress, key, modifiers);
    QApplication::sendEvent(target, &event);
}

struct Calls {
    int copied = 0;
    int closed = 0;
};

TextRecognitionWindow* open(Calls& calls, bool copyWhenReady,
                            TextRecognitionWindow::EngineFactory factory) {
    return TextRecognitionWindow::open(
        picture(), copyWhenReady, [&calls] { ++calls.copied; }, [&calls] { ++calls.closed; },
        std::move(factory));
}

class TextRecognitionWindowTest : public ::testing::Test {
protected:
    void TearDown() override {
        waitFor([] { return TextRecognitionWindow::active().empty(); });
        TextRecognitionWindow::active().clear();
    }
};

} // namespace

TEST_F(TextRecognitionWindowTest, ShowsTextAndCopiesTheEditedVersion) {
    Calls calls;
    TextRecognitionWindow* w =
        open(calls, false, engine({QStringLiteral("第一行"), QStringLiteral("second line")}));
    EXPECT_EQ(w->windowTitle(), QStringLiteral("Korvel · 识别文字"));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("正在识别…"));
    EXPECT_FALSE(w->copyButton()->isEnabled());
    EXPECT_EQ(w->copyButton()->text(), QStringLiteral("复制文字"));
    EXPECT_EQ(w->backButton()->text(), QStringLiteral("返回"));
    EXPECT_EQ(TextRecognitionWindow::active().count(w->id()), 1u);

    ASSERT_TRUE(waitFor([w] { return !w->isRecognizing(); }));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("识别完成，可编辑后复制"));
    EXPECT_EQ(w->textView()->toPlainText(), QStringLiteral("第一行\nsecond line"));
    EXPECT_TRUE(w->copyButton()->isEnabled());

    // Shift+Return breaks the line; Return copies what the user now sees.
    w->textView()->moveCursor(QTextCursor::End);
    press(w->textView(), Qt::Key_Return, Qt::ShiftModifier);
    w->textView()->insertPlainText(QStringLiteral("补充"));
    EXPECT_EQ(calls.copied, 0);
    const QUuid id = w->id();
    press(w->textView(), Qt::Key_Return);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("第一行\nsecond line\n补充"));
    EXPECT_EQ(calls.copied, 1);
    EXPECT_EQ(calls.closed, 1);
    EXPECT_TRUE(w->isClosed());
    EXPECT_FALSE(w->isVisible());
    // The registry lets go of it once the current call has returned.
    EXPECT_EQ(TextRecognitionWindow::active().count(id), 1u);
    EXPECT_TRUE(waitFor([id] { return TextRecognitionWindow::active().count(id) == 0; }));
}

TEST_F(TextRecognitionWindowTest, NoTextLeavesCopyOffEvenForQuickCopy) {
    QApplication::clipboard()->setText(QStringLiteral("before"));
    Calls calls;
    TextRecognitionWindow* w = open(calls, true, engine({}));
    ASSERT_TRUE(waitFor([w] { return !w->isRecognizing(); }));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("未识别到文字"));
    EXPECT_FALSE(w->copyButton()->isEnabled());
    press(w->textView(), Qt::Key_Return);
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("before"));
    EXPECT_FALSE(w->isClosed());
    EXPECT_EQ(calls.copied, 0);
    // The back button closes.
    w->backButton()->click();
    EXPECT_TRUE(w->isClosed());
    EXPECT_EQ(calls.closed, 1);
}

TEST_F(TextRecognitionWindowTest, QuickCopyCopiesAndClosesByItself) {
    Calls calls;
    TextRecognitionWindow* w = open(calls, true, engine({QStringLiteral("快速复制 42")}));
    const QUuid id = w->id();
    ASSERT_TRUE(waitFor([&calls] { return calls.closed == 1; }));
    EXPECT_EQ(QApplication::clipboard()->text(), QStringLiteral("快速复制 42"));
    EXPECT_EQ(calls.copied, 1);
    EXPECT_TRUE(waitFor([id] { return TextRecognitionWindow::active().count(id) == 0; }));
}

TEST_F(TextRecognitionWindowTest, FailureIsAStatusLine) {
    Calls calls;
    TextRecognitionWindow* w =
        open(calls, true,
             engine({QStringLiteral("x")}, {},
                    Error(QStringLiteral("TextRecognition"), 1, QStringLiteral("缺少数据"))));
    ASSERT_TRUE(waitFor([w] { return !w->isRecognizing(); }));
    EXPECT_EQ(w->statusLabel()->text(), QStringLiteral("识别失败：缺少数据"));
    EXPECT_FALSE(w->copyButton()->isEnabled());
    EXPECT_FALSE(w->isClosed());
    press(w, Qt::Key_Escape);
    EXPECT_TRUE(w->isClosed());
    EXPECT_EQ(calls.closed, 1);
    EXPECT_EQ(calls.copied, 0);
}

TEST_F(TextRecognitionWindowTest, ClosingDuringRecognitionIgnoresTheLateResult) {
    for (int how = 0; how < 2; ++how) {
        auto release = std::make_shared<std::atomic<bool>>(false);
        Calls calls;
        TextRecognitionWindow* w = open(calls, true, engine({QStringLiteral("late")}, release));
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
        EXPECT_EQ(calls.closed, 1);
        const QString clipboard = QApplication::clipboard()->text();
        release->store(true);
        EXPECT_TRUE(waitFor([id] { return TextRecognitionWindow::active().count(id) == 0; }));
        // Let a late delivery arrive, if there were one.
        QThread::msleep(50);
        QApplication::processEvents();
        EXPECT_EQ(QApplication::clipboard()->text(), clipboard);
        EXPECT_EQ(calls.copied, 0);
        EXPECT_EQ(calls.closed, 1);
    }
}
