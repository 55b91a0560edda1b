#pragma once

#include "capture/captureeditor.h"
#include "longshot/longscreenshotresult.h"
#include "platform/platform.h"
#include "shortcut/captureshortcut.h"

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QUuid>

#include <functional>
#include <map>
#include <memory>
#include <optional>

class QAction;
class QMenu;
class QMessageBox;
class QSystemTrayIcon;

namespace korvel {

class AppServices;
class CapturePreferencesWindow;
class Error;
class LongScreenshot;
class ScreenshotHistoryWindow;

// Where a pin without a given frame goes: scaled to at most 60 % of the
// visible screen area (never enlarged) and centred on it.
QRectF pinPlacement(const QSize& pixels, std::optional<QRectF> visibleFrame);

// An editor's pin frame (global bottom-left points) in Qt's global
// coordinates, by way of any snapshot of the same capture; snapped to the
// whole pixels of the crop when `pixels` is the crop's size.
QRectF pinFrame(const QRectF& bottomLeft, const QSize& pixels, const ScreenSnapshot& reference);

// The one long-lived controller: tray menu, global shortcut, the capture
// lifecycle and every window a capture leaves behind.
class AppDelegate final : public QObject {
    Q_OBJECT

public:
    AppDelegate(Platform& platform, EditorFactory makeEditor, QObject* parent = nullptr);
    ~AppDelegate() override;

    void applicationDidFinishLaunching();

    // Tray menu actions.
    void takeScreenshot();
    void configureShortcut();
    void openPreferences();
    void openHistory();
    void toggleLogin();
    void toggleAutomaticUpdates();
    void checkUpdates();
    void openChangelog();
    void menuWillOpen();

    // `frame` in Qt's global coordinates; without one the pin goes where
    // pinPlacement puts it on the primary screen.
    bool showPin(const QByteArray& png, std::optional<QRectF> frame);
    // The same with the PNG decoded already.
    bool showPin(const QByteArray& png, const QImage& image, std::optional<QRectF> frame);
    // Hands a region of the editor's display to a new long capture.
    bool startLongScreenshot(const QRectF& frame, const QRectF& region);
    LongScreenshot* longScreenshot() const { return longScreenshot_.get(); }
    // A pin placed as without a frame, but on the screen under the pointer.
    bool showPinAtPointer(const QByteArray& png, const QImage& image);
    // Registers the combination as the global shortcut, keeping the old one
    // when it is taken; the active combination succeeds untouched.
    bool registerShortcut(quint32 keyCode, quint32 modifiers);
    // Opens a result window on the image, titled "Korvel · <title> W × H px".
    void showResult(const QImage& image, const QString& title);

    // What result windows are given: the shared history and the capture
    // preferences unless replaced.
    LongScreenshotServices resultServices;

    // Whether an automatic update result may be shown now.
    bool canPresent() const;

    // Runs a modal alert and returns the index of the chosen button (0 is the
    // first). Tests replace it.
    std::function<int(QMessageBox&)> runAlert;
    // What a stored key code is called on the user's keyboard layout.
    KeyNames keyNames() const;

    QMenu* statusMenu() const { return menu_.get(); }
    QAction* captureMenuItem() const { return captureMenuItem_; }
    QAction* loginMenuItem() const { return loginMenuItem_; }
    QAction* autoUpdateMenuItem() const { return autoUpdateMenuItem_; }
    QList<QAction*> windowActions() const;
    const CaptureShortcut& shortcut() const { return shortcut_; }
    bool isCapturing() const { return capturing_; }
    bool isConfiguring() const { return configuring_; }
    CaptureEditor* editor() const { return editor_.get(); }
    bool trayAvailable() const;
    CapturePreferencesWindow* preferencesWindow() const { return preferencesWindow_.get(); }
    size_t pinnedImageCount() const { return pinnedImages_.size(); }
    ScreenshotHistoryWindow* historyWindow() const { return historyWindow_.get(); }
    std::vector<LongScreenshotResult*> resultWindows() const;
    // Login item and update checks; tests replace its seams before launching.
    AppServices& appServices() const { return *appServices_; }

    // A running long capture blocks new captures; set by the long-capture
    // subsystem.
    void setLongScreenshotRunning(bool running) { longScreenshotRunning_ = running; }

private:
    void buildMenus();
    void buildStatusItem();
    void registerInitialHotKey();
    void showShortcutBindingHint();
    // The tray's capture item, naming the shortcut.
    static QString captureTitle(const CaptureShortcut& shortcut);
    // False when the user chose to switch accessibility on instead.
    bool offerAccessibility();
    void captureNow();
    void captureSucceeded(std::vector<ScreenSnapshot> snapshots);
    void captureFailed(const Error& error);
    void hideApplication();
    void unhideApplication();
    void retireEditor();
    void forgetQueuedPresses();
    // After a capture or long capture ends.
    void scheduleHeapTrim();
    int alert(QMessageBox& box);
    // An alert that is no part of a capture: shown only while no capture
    // runs, and put away for one that starts meanwhile, then shown again. A
    // modal alert over a frozen capture would take all of its input.
    int presentAlert(QMessageBox& box);
    void waitUntilIdle();
    // Quit, undo and redo wherever a Korvel window has the keyboard.
    bool eventFilter(QObject* watched, QEvent* event) override;
    void writePins() const;

    Platform& platform_;
    EditorFactory makeEditor_;

    std::unique_ptr<QSystemTrayIcon> status_;
    std::unique_ptr<QMenu> menu_;
    bool hotKey_ = false;
    std::unique_ptr<CaptureEditor> editor_;
    quint64 editorSerial_ = 0;
    std::map<QUuid, std::unique_ptr<QObject>> pinnedImages_;
    bool longScreenshotRunning_ = false;
    std::unique_ptr<LongScreenshot> longScreenshot_;
    std::map<QUuid, std::unique_ptr<QObject>> longResults_;
    std::unique_ptr<CapturePreferencesWindow> preferencesWindow_;
    std::unique_ptr<ScreenshotHistoryWindow> historyWindow_;
    bool capturing_ = false;
    bool configuring_ = false;
    QAction* captureMenuItem_ = nullptr;
    CaptureShortcut shortcut_;
    std::unique_ptr<AppServices> appServices_;
    QAction* loginMenuItem_ = nullptr;
    QAction* autoUpdateMenuItem_ = nullptr;
    QAction* undoAction_ = nullptr;
    QAction* redoAction_ = nullptr;
    QAction* quitAction_ = nullptr;
    QWidget* keyWindow_ = nullptr; // where a window action's key was pressed

    QPointer<QMessageBox> presentedAlert_;
    bool alertPutAway_ = false;
    std::vector<QPointer<QWidget>> hiddenWindows_;
    QElapsedTimer menuClosed_;
};

} // namespace korvel
