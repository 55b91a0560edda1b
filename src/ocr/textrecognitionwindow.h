#pragma once

#include "platform/ocr/textrecognizer.h"

#include <QImage>
#include <QUuid>
#include <QWidget>

#include <functional>
#include <map>
#include <memory>

class QLabel;
class QPlainTextEdit;
class QPushButton;

namespace korvel {

// Shows the text recognised in an image, editable, with a button that
// copies it as plain text. Recognition runs on a worker thread and is
// cancelled when the window closes; a late result is ignored.
class TextRecognitionWindow final : public QWidget {
public:
    using EngineFactory = std::function<std::unique_ptr<TextRecognizer>()>;

    // Starts recognising at once. With `copyWhenReady`, text found is copied
    // and the window closes by itself.
    TextRecognitionWindow(const QImage& image, bool copyWhenReady, std::function<void()> onCopied,
                          std::function<void()> onClose, EngineFactory engine = {});
    ~TextRecognitionWindow() override;

    // Every open window, keyed by its id; a window leaves it shortly after
    // it closes, which deletes it.
    static std::map<QUuid, std::unique_ptr<TextRecognitionWindow>>& active();
    // Creates a window, registers it in active(), shows and activates it.
    static TextRecognitionWindow* open(const QImage& image, bool copyWhenReady,
                                       std::function<void()> onCopied,
                                       std::function<void()> onClose, EngineFactory engine = {});

    const QUuid& id() const { return id_; }
    QPlainTextEdit* textView() const { return textView_; }
    QLabel* statusLabel() const { return statusLabel_; }
    QPushButton* copyButton() const { return copyButton_; }
    bool isClosed() const { return closed_; }
    bool isRecognizing() const { return task_ != nullptr; }

    void copy();
    // The one way the window closes: back, copy, Escape and the title bar.
    void closeWindow();

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct Task;
    void start(const QImage& image, EngineFactory engine);
    void finished(const QString& text);
    void failed(const QString& description);

    QUuid id_ = QUuid::createUuid();
    std::shared_ptr<Task> task_;
    std::function<void()> onClose_;
    std::function<void()> onCopied_;
    QPlainTextEdit* textView_ = nullptr;
    QLabel* statusLabel_ = nullptr;
    QPushButton* copyButton_ = nullptr;
    QPushButton* backButton_ = nullptr;
    bool copyWhenReady_ = false;
    bool closed_ = false;
};

} // namespace korvel
