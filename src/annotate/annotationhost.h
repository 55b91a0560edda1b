#pragma once

#include <QImage>

#include <functional>

class QByteArray;
class QDialog;
class QKeyEvent;
class QObject;
class QUndoStack;
class QWidget;

namespace korvel {

class AnnotationToolbar;
class Canvas;
class ScreenshotHistory;

// Modifiers that make a key a command rather than typing or a tool key.
inline constexpr auto editingModifiers = Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier;

// What a window annotating a screenshot needs from the rest of the
// application.
struct AnnotationServices {
    ScreenshotHistory* history = nullptr;
    // The "复制后退出截图" preference, read at the moment of use.
    std::function<bool()> copyCloses = [] { return true; };
    // Runs a save panel, a dialog or an alert modally and returns its result
    // code; tests replace it.
    std::function<int(QDialog&)> runModal;
    // Opens the text recognition window on the image. It calls `copied`
    // when its text went to the clipboard and `closed` when it closes.
    // Without it the toolbar offers no text recognition.
    std::function<void(const QImage& image, bool copyWhenReady, std::function<void()> copied,
                       std::function<void()> closed)>
        recognizeText;
};

// What the capture editor and the long image's result window have in common:
// a canvas with its toolbar, what their buttons and keys do with the
// annotated image (copy, save, pin, recognise text), and how they close. The
// window says where a pin goes, how it hides and whether it steps aside
// while a panel it opened has the user.
class AnnotationHost {
public:
    AnnotationHost(const AnnotationHost&) = delete;
    AnnotationHost& operator=(const AnnotationHost&) = delete;

    Canvas* canvas() const { return canvas_; }
    AnnotationToolbar* toolbar() const { return toolbar_; }
    bool isClosed() const { return closed_; }

    void copy();
    void save();
    void pin();
    void recognizeText(bool copyWhenReady);

protected:
    // `owner` is the object this host is part of: it watches the
    // application's events from `startMonitoring` until closing, and late
    // callbacks check that it still exists.
    AnnotationHost(QObject& owner, AnnotationServices services);
    virtual ~AnnotationHost();

    // The closing steps, run once: the application's events are no longer
    // watched, then the window closes itself (`closeWindow`).
    void closeHost();
    virtual void closeWindow() = 0;
    // Hands the PNG to a new pin; whether one was made.
    virtual bool pinPng(const QByteArray& png) = 0;
    virtual void selectTool(int index) = 0;
    virtual QUndoStack* edits() const = 0;
    // A full-screen overlay hides while a save panel, a dialog or the text
    // recognition window has the user, and comes back when it closes
    // without a result; an ordinary window stays.
    virtual bool stepsAside() const { return false; }
    virtual void stepAside(bool /*aside*/) {}
    // The window an alert belongs to; none while the window steps aside.
    virtual QWidget* alertParent() { return nullptr; }

    void startMonitoring();
    // The toolbar's buttons, the style controls and the canvas's copy and
    // style change, wired to this host.
    void connectToolbar();
    void showStyle();
    void rememberStyle();
    void copied();
    int runModal(QDialog& dialog);

    // While text is typed, keys belong to the text.
    bool typing() const;
    // The keys both windows share: the toolbar's Shift shortcuts first, then
    // `ownKeys`, then Esc closes and Return copies. A Return with Control,
    // Alt or Super copies only with `anyReturn`; without it those belong to
    // the window's key equivalents.
    bool handleSharedKey(QKeyEvent& event, const std::function<bool()>& ownKeys, bool anyReturn);

    AnnotationServices services_;
    Canvas* canvas_ = nullptr;
    AnnotationToolbar* toolbar_ = nullptr;
    // A save panel, a dialog or (while the window steps aside) the text
    // recognition window is open.
    bool busy_ = false;
    // The self-test neither reads nor writes the remembered style.
    bool remembersStyle_ = true;

private:
    void stopMonitoring();

    QObject& owner_;
    bool closed_ = false;
    bool monitoring_ = false;
};

} // namespace korvel
