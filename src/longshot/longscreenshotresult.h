#pragma once

#include <QImage>
#include <QWidget>

#include <functional>

class QDialog;
class QScrollArea;
class QUndoStack;

namespace korvel {

class AnnotationToolbar;
class Canvas;
class ScreenshotHistory;

// What a result window needs from the rest of the application.
struct LongScreenshotServices {
    ScreenshotHistory* history = nullptr;
    // The "复制后退出截图" preference, read at the moment of use.
    std::function<bool()> copyCloses = [] { return true; };
    // Runs the save panel or an alert modally and returns its result code;
    // tests replace it.
    std::function<int(QDialog&)> runModal;
    // Opens the text recognition window on the image; it calls `copied` when
    // its text went to the clipboard and `closed` when it closes. Without it
    // the toolbar offers no text recognition.
    std::function<void(const QImage& image, bool copyWhenReady, std::function<void()> copied,
                       std::function<void()> closed)>
        recognizeText;
};

// An ordinary window in which a long image (or any image handed to it) is
// annotated with the overlay editor's canvas and toolbar, then copied, saved,
// pinned or passed to text recognition. The canvas sits in a scroll area,
// scaled down to fit 880 points of width; it paints only what is exposed, so
// images of tens of thousands of rows scroll freely.
class LongScreenshotResult final : public QWidget {
    Q_OBJECT

public:
    // `onPin` takes the PNG and returns whether a pin was made; without it
    // the toolbar's "贴图" is disabled.
    LongScreenshotResult(const QImage& image, const QString& title,
                         std::function<bool(const QByteArray& png)> onPin,
                         LongScreenshotServices services);
    ~LongScreenshotResult() override;

    // Called once, when the window has closed.
    std::function<void()> onClose;

    void showWindow();
    // The close button comes here too; runs once.
    void closeResult();
    bool isClosed() const { return closed_; }

    void copy();
    void save();
    void pin();
    void recognizeText(bool copyWhenReady);
    void selectTool(int index);

    Canvas* canvas() const { return canvas_; }
    AnnotationToolbar* toolbar() const { return toolbar_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QUndoStack* edits() const { return edits_; }
    // Points per image pixel: min(880 / image width, 1).
    double scale() const { return scale_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutContent();
    void showStyle();
    void rememberStyle();
    void copied();
    int runModal(QDialog& dialog);
    bool handleKey(QKeyEvent* event);

    LongScreenshotServices services_;
    std::function<bool(const QByteArray&)> onPin_;
    QUndoStack* edits_;
    QScrollArea* scroll_;
    Canvas* canvas_;
    AnnotationToolbar* toolbar_;
    double scale_ = 1;
    bool closed_ = false;
    bool monitoring_ = false;
    bool busy_ = false; // a save panel or text recognition window is open
};

} // namespace korvel
