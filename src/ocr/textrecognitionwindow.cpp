#include "textrecognitionwindow.h"

#include "platform/clipboard.h"
#include "platform/error.h"
#include "textrecognition.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QThreadPool>
#include <QTimer>
#include <QVBoxLayout>

#include <atomic>

namespace korvel {

// Shared between the window and its worker, which may outlive the window by
// as long as the engine takes to notice the cancellation.
struct TextRecognitionWindow::Task {
    std::atomic<bool> cancelled{false};
};

TextRecognitionWindow::TextRecognitionWindow(const QImage& image, bool copyWhenReady,
                                             std::function<void()> onCopied,
                                             std::function<void()> onClose, EngineFactory engine)
    : QWidget(nullptr, Qt::Window)
    , onClose_(std::move(onClose))
    , onCopied_(std::move(onCopied))
    , copyWhenReady_(copyWhenReady) {
    setWindowTitle(QStringLiteral("Korvel · 识别文字"));
    resize(620, 460);
    setMinimumSize(400, 280);

    statusLabel_ = new QLabel(QStringLiteral("正在识别…"));
    textView_ = new QPlainTextEdit;
    QFont font = textView_->font();
    font.setPixelSize(16);
    textView_->setFont(font);
    textView_->document()->setDocumentMargin(8);
    textView_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    textView_->installEventFilter(this);
    backButton_ = new QPushButton(QStringLiteral("返回"));
    backButton_->setFixedSize(80, 32);
    copyButton_ = new QPushButton(QStringLiteral("复制文字"));
    copyButton_->setFixedSize(114, 32);
    copyButton_->setEnabled(false);
    copyButton_->setDefault(true);

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(backButton_);
    buttons->addStretch();
    buttons->addWidget(copyButton_);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 16, 16, 14);
    layout->setSpacing(10);
    layout->addWidget(statusLabel_);
    layout->addWidget(textView_, 1);
    layout->addLayout(buttons);

    connect(backButton_, &QPushButton::clicked, this, &TextRecognitionWindow::closeWindow);
    connect(copyButton_, &QPushButton::clicked, this, &TextRecognitionWindow::copy);

    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
    start(image, std::move(engine));
}

TextRecognitionWindow::~TextRecognitionWindow() {
    if (task_)
        task_->cancelled = true;
}

std::map<QUuid, std::unique_ptr<TextRecognitionWindow>>& TextRecognitionWindow::active() {
    static std::map<QUuid, std::unique_ptr<TextRecognitionWindow>> windows;
    return windows;
}

TextRecognitionWindow* TextRecognitionWindow::open(const QImage& image, bool copyWhenReady,
                                                   std::function<void()> onCopied,
                                                   std::function<void()> onClose,
                                                   EngineFactory engine) {
    auto window = std::make_unique<TextRecognitionWindow>(image, copyWhenReady, std::move(onCopied),
                                                          std::move(onClose), std::move(engine));
    TextRecognitionWindow* w = window.get();
    active()[w->id()] = std::move(window);
    // A quick copy may already have closed it.
    if (!w->isClosed()) {
        w->show();
        w->raise();
        w->activateWindow();
    }
    return w;
}

void TextRecognitionWindow::start(const QImage& image, EngineFactory engine) {
    auto task = std::make_shared<Task>();
    task_ = task;
    QPointer<TextRecognitionWindow> self(this);
    QThreadPool::globalInstance()->start([task, self, image, engine = std::move(engine)] {
        QString text;
        std::optional<QString> error;
        try {
            TextRecognition recognition(engine ? engine() : createTextRecognizer());
            text = recognition.recognize(image, task->cancelled);
        } catch (const RecognitionCancelled&) {
            return;
        } catch (const Error& e) {
            error = e.description();
        } catch (const std::exception&) {
            error = QStringLiteral("文字识别引擎出错");
        }
        // Delivered only while the window exists; it checks the rest.
        QMetaObject::invokeMethod(
            qApp,
            [task, self, text, error] {
                if (!self || task->cancelled.load() || self->closed_ || self->task_ != task)
                    return;
                self->task_.reset();
                if (error)
                    self->failed(*error);
                else
                    self->finished(text);
            },
            Qt::QueuedConnection);
    });
}

void TextRecognitionWindow::finished(const QString& text) {
    textView_->setPlainText(text);
    statusLabel_->setText(text.isEmpty() ? QStringLiteral("未识别到文字")
                                         : QStringLiteral("识别完成，可编辑后复制"));
    copyButton_->setEnabled(!text.isEmpty());
    if (copyWhenReady_ && !text.isEmpty())
        copy();
}

void TextRecognitionWindow::failed(const QString& description) {
    statusLabel_->setText(QStringLiteral("识别失败：") + description);
    copyButton_->setEnabled(false);
}

void TextRecognitionWindow::copy() {
    if (closed_ || !copyButton_->isEnabled())
        return;
    if (!Clipboard::copyText(textView_->toPlainText()))
        return;
    if (onCopied_)
        onCopied_();
    closeWindow();
}

void TextRecognitionWindow::closeWindow() {
    if (closed_)
        return;
    closed_ = true;
    if (task_) {
        task_->cancelled = true;
        task_.reset();
    }
    hide();
    if (auto onClose = std::exchange(onClose_, nullptr))
        onClose();
    onCopied_ = nullptr;
    // Leaving the registry deletes the window, so it waits until whatever
    // called this has returned.
    QTimer::singleShot(0, qApp, [id = id_] { active().erase(id); });
}

void TextRecognitionWindow::closeEvent(QCloseEvent* event) {
    // The window never closes by itself; everything goes through closeWindow.
    event->ignore();
    closeWindow();
}

void TextRecognitionWindow::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        closeWindow();
        return;
    }
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) &&
        (event->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier) {
        copy();
        return;
    }
    QWidget::keyPressEvent(event);
}

bool TextRecognitionWindow::eventFilter(QObject* watched, QEvent* event) {
    // Return copies even while the text has focus; Shift+Return breaks a line.
    if (watched == textView_ && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            mods == Qt::NoModifier) {
            copy();
            return true;
        }
        if ((key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) &&
            mods == Qt::ShiftModifier) {
            textView_->insertPlainText(QStringLiteral("\n"));
            return true;
        }
        if (key->key() == Qt::Key_Escape && mods == Qt::NoModifier) {
            closeWindow();
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace korvel
