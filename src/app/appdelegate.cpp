#include "appdelegate.h"

#include "appservices.h"
#include "capture/capturefailure.h"
#include "capture/childregionpermissionguide.h"
#include "capture/screencapture.h"
#include "capturepreferences.h"
#include "diagnostics.h"
#include "history/screenshothistory.h"
#include "history/screenshothistorywindow.h"
#include "longshot/longscreenshot.h"
#include "ocr/textrecognitionwindow.h"
#include "pin/pinnedimage.h"
#include "pin/pinnedimageview.h"
#include "platform/error.h"
#include "platform/heapmemory.h"
#include "platform/pngcheck.h"
#include "settingsvalues.h"
#include "shortcutdialog.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QDesktopServices>
#include <QEventLoop>
#include <QIcon>
#include <QImage>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QScreen>
#include <QSettings>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUndoStack>
#include <QUrl>

#include <algorithm>
#include <cmath>
#include <utility>

namespace korvel {
namespace {

// Without a compositor, windows under a menu that just closed repaint a moment
// later; a capture taken at once would freeze the menu's shadow.
constexpr int settleDelayMs = 150;

QString captureTitle(const CaptureShortcut& shortcut) {
    return QStringLiteral("截图  ") + shortcut.label;
}

// The artwork drawn at the sizes trays ask for. An icon loaded straight from
// SVG reports no sizes, and trays that take a list of pixmaps would get none.
QIcon renderedIcon(const QString& artwork) {
    QSvgRenderer renderer(artwork);
    if (!renderer.isValid())
        return {};
    QIcon icon;
    for (const int side : {16, 22, 24, 32, 48, 64}) {
        QPixmap pixmap(side, side);
        pixmap.fill(Qt::transparent);
        QPainter painter(&pixmap);
        renderer.render(&painter);
        painter.end();
        icon.addPixmap(pixmap);
    }
    return icon;
}

QIcon statusIcon() {
    if (QIcon icon = renderedIcon(QStringLiteral(":/korvel/menubar.svg")); !icon.isNull())
        return icon;
    if (QIcon fallback = renderedIcon(QStringLiteral(":/korvel/viewfinder.svg"));
        !fallback.isNull())
        return fallback;
    return QIcon::fromTheme(QStringLiteral("camera-photo"));
}

// The undo stack of the window that has the keyboard, if it keeps one.
QUndoStack* undoStackOf(QWidget* window) {
    if (!window)
        window = QApplication::activeWindow();
    return window ? window->findChild<QUndoStack*>() : nullptr;
}

} // namespace

// The editor reports a pin's frame in global bottom-left points; windows are
// placed in Qt's global coordinates. Every snapshot of the capture relates
// the two. The crop behind the pin widened the selection to whole pixels, so
// the pin covers exactly those pixels and shows them one to one.
QRectF pinFrame(const QRectF& bottomLeft, const QSize& pixels, const ScreenSnapshot& reference) {
    const QRectF& f = reference.frame;
    QRectF frame(reference.screenOrigin.x() + bottomLeft.x() - f.x(),
                 reference.screenOrigin.y() + f.y() + f.height() - bottomLeft.y() -
                     bottomLeft.height(),
                 bottomLeft.width(), bottomLeft.height());
    const double scale = f.width() > 0 ? reference.image.width() / f.width() : 0;
    if (!(scale > 0) || pixels.isEmpty())
        return frame;
    const QSizeF cropped(pixels.width() / scale, pixels.height() / scale);
    const double slack = 1.0 / scale + 1e-6;
    if (std::abs(cropped.width() - frame.width()) > slack ||
        std::abs(cropped.height() - frame.height()) > slack)
        return frame;
    return {std::floor(frame.x() * scale + 1e-6) / scale,
            std::floor(frame.y() * scale + 1e-6) / scale, cropped.width(), cropped.height()};
}

QRectF pinPlacement(const QSize& pixels, std::optional<QRectF> visibleFrame) {
    const QRectF visible = visibleFrame.value_or(QRectF(0, 0, 1000, 700));
    if (pixels.isEmpty())
        return QRectF(visible.center(), QSizeF(0, 0));
    const double scale = std::min(
        {visible.width() * 0.6 / pixels.width(), visible.height() * 0.6 / pixels.height(), 1.0});
    const QSizeF size(pixels.width() * scale, pixels.height() * scale);
    return QRectF(visible.center().x() - size.width() / 2, visible.center().y() - size.height() / 2,
                  size.width(), size.height());
}

AppDelegate::AppDelegate(Platform& platform, EditorFactory makeEditor, QObject* parent)
    : QObject(parent)
    , platform_(platform)
    , makeEditor_(std::move(makeEditor))
    , appServices_(
          std::make_unique<AppServices>(createLoginItem(), AppServices::Config::fromBuild())) {
    resultServices.history = &ScreenshotHistory::shared();
    resultServices.copyCloses = &CapturePreferences::copyCloses;
    // Long images are where reading text in bands matters most.
    resultServices.recognizeText = [](const QImage& image, bool copyWhenReady,
                                      std::function<void()> copied, std::function<void()> closed) {
        TextRecognitionWindow::open(image, copyWhenReady, std::move(copied), std::move(closed));
    };
    appServices_->runAlert = [this](QMessageBox& box) { return presentAlert(box); };
}

AppDelegate::~AppDelegate() {
    if (platform_.hotKeys) {
        platform_.hotKeys->onPressed = nullptr;
        platform_.hotKeys->unregisterHotKey();
    }
}

void AppDelegate::applicationDidFinishLaunching() {
    buildMenus();
    shortcut_ = CaptureShortcut::load(QSettings(), keyNames());
    buildStatusItem();
    registerInitialHotKey();
    startWidgetDiagnostics(this);
}

void AppDelegate::buildMenus() {
    // Linux has no global menu bar: quit, undo and redo become shortcuts of
    // every Korvel window (see windowActions) and quit also sits in the tray.
    quitAction_ = new QAction(QStringLiteral("退出Korvel"), this);
    quitAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q));
    // Not quit(): that asks every window to close first, and pins and
    // result windows refuse in order to run their own closing.
    connect(
        quitAction_, &QAction::triggered, qApp, [] { QCoreApplication::exit(0); },
        Qt::QueuedConnection);
    undoAction_ = new QAction(QStringLiteral("撤销"), this);
    undoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_Z));
    connect(undoAction_, &QAction::triggered, this, [this] {
        if (QUndoStack* stack = undoStackOf(keyWindow_))
            stack->undo();
    });
    redoAction_ = new QAction(QStringLiteral("重做"), this);
    redoAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z));
    connect(redoAction_, &QAction::triggered, this, [this] {
        if (QUndoStack* stack = undoStackOf(keyWindow_))
            stack->redo();
    });
    qApp->installEventFilter(this);
}

bool AppDelegate::eventFilter(QObject* watched, QEvent* event) {
    // A key press reaches the window itself only when nothing inside took
    // it: a text field keeps its own undo, a toolbar its own shortcuts.
    if (event->type() != QEvent::KeyPress || !watched->isWidgetType())
        return false;
    auto* window = static_cast<QWidget*>(watched);
    if (!window->isWindow())
        return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    const QKeySequence pressed(key->keyCombination());
    for (QAction* action : windowActions()) {
        if (action->shortcut() == pressed) {
            keyWindow_ = window;
            action->trigger();
            keyWindow_ = nullptr;
            return true;
        }
    }
    return false;
}

QList<QAction*> AppDelegate::windowActions() const {
    return {quitAction_, undoAction_, redoAction_};
}

void AppDelegate::buildStatusItem() {
    menu_ = std::make_unique<QMenu>();
    menu_->setTitle(QStringLiteral("Korvel"));
    captureMenuItem_ =
        menu_->addAction(captureTitle(shortcut_), this, &AppDelegate::takeScreenshot);
    // Where no application may take keys, the desktop's own settings bind them.
    if (!platform_.hotKeys || platform_.hotKeys->global())
        menu_->addAction(QStringLiteral("设置截图快捷键…"), this, &AppDelegate::configureShortcut);
    menu_->addAction(QStringLiteral("截图偏好…"), this, &AppDelegate::openPreferences);
    menu_->addAction(QStringLiteral("截图历史…"), this, &AppDelegate::openHistory);
    menu_->addSeparator();
    loginMenuItem_ = menu_->addAction(QStringLiteral("开机启动"), this, &AppDelegate::toggleLogin);
    loginMenuItem_->setCheckable(true);
    autoUpdateMenuItem_ = menu_->addAction(QStringLiteral("自动检查更新"), this,
                                           &AppDelegate::toggleAutomaticUpdates);
    autoUpdateMenuItem_->setCheckable(true);
    menu_->addAction(QStringLiteral("检查更新…"), this, &AppDelegate::checkUpdates);
    menu_->addAction(QStringLiteral("更新日志"), this, &AppDelegate::openChangelog);
    appServices_->start([this] { return canPresent(); });
    menu_->addSeparator();
    menu_->addAction(quitAction_);
    connect(menu_.get(), &QMenu::aboutToShow, this, &AppDelegate::menuWillOpen);
    connect(menu_.get(), &QMenu::aboutToHide, this, [this] { menuClosed_.start(); });

    status_ = std::make_unique<QSystemTrayIcon>(statusIcon());
    status_->setToolTip(QStringLiteral("Korvel截图"));
    status_->setContextMenu(menu_.get());
    // A left click opens the same menu, as the right click does.
    connect(status_.get(), &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::Trigger)
                    menu_->popup(QCursor::pos());
            });
    status_->show();

    if (!trayAvailable()) {
        QTimer::singleShot(0, this, [this] {
            QMessageBox box(QMessageBox::Information, QStringLiteral("Korvel"),
                            QStringLiteral("没有找到系统托盘，Korvel将在后台运行。"));
            box.setInformativeText(QStringLiteral("按 ") + shortcut_.label +
                                   QStringLiteral(" 截图。"));
            box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
            presentAlert(box);
        });
    }
}

bool AppDelegate::trayAvailable() const {
    return QSystemTrayIcon::isSystemTrayAvailable();
}

void AppDelegate::registerInitialHotKey() {
    HotKeys* keys = platform_.hotKeys.get();
    if (!keys)
        return;
    // Deferred: the press arrives inside the native event dispatch.
    keys->onPressed = [this] { QTimer::singleShot(0, this, &AppDelegate::takeScreenshot); };
    if (!keys->global()) {
        showShortcutBindingHint();
        return;
    }
    hotKey_ = keys->registerHotKey(shortcut_.keyCode, shortcut_.modifiers);
    if (hotKey_)
        return;
    QTimer::singleShot(0, this, [this] {
        QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"), QStringLiteral("Korvel"));
        box.setInformativeText(QStringLiteral("快捷键 ") + shortcut_.label +
                               QStringLiteral(" 注册失败，可能已被其他应用或系统占用。"
                                              "可从菜单栏设置其他快捷键，或点击截图。"));
        box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
        presentAlert(box);
    });
}

void AppDelegate::showShortcutBindingHint() {
    // Once per user: the binding, once made, stays in the desktop's settings.
    const QString shownKey = QStringLiteral("shortcutBindingHintShown");
    if (readBool(QSettings(), shownKey, false))
        return;
    QSettings().setValue(shownKey, true);
    QTimer::singleShot(0, this, [this] {
        QMessageBox box(QMessageBox::Information, QStringLiteral("Korvel"),
                        QStringLiteral("请在桌面设置中为截图绑定快捷键"));
        box.setInformativeText(
            QStringLiteral("Wayland 下应用程序不能自行注册全局快捷键。请在桌面或窗口管理器的"
                           "快捷键设置中，把 ") +
            shortcut_.label +
            QStringLiteral(" 绑定到命令 korvel --capture。\n例如 sway：在配置文件中加入 "
                           "bindsym Ctrl+1 exec korvel --capture"));
        box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
        alert(box);
    });
}

int AppDelegate::alert(QMessageBox& box) {
    writeAlertDiagnostics(box);
    if (runAlert)
        return runAlert(box);
    box.exec();
    return int(box.buttons().indexOf(box.clickedButton()));
}

int AppDelegate::presentAlert(QMessageBox& box) {
    for (;;) {
        waitUntilIdle();
        presentedAlert_ = &box;
        const int choice = alert(box);
        presentedAlert_ = nullptr;
        if (!std::exchange(alertPutAway_, false))
            return choice;
    }
}

void AppDelegate::waitUntilIdle() {
    if (canPresent())
        return;
    QEventLoop loop;
    QTimer poll;
    connect(&poll, &QTimer::timeout, &loop, [this, &loop] {
        if (canPresent())
            loop.quit();
    });
    poll.start(100);
    loop.exec();
}

KeyNames AppDelegate::keyNames() const {
    HotKeys* keys = platform_.hotKeys.get();
    return [keys](quint32 keyCode) { return keys ? keys->keyName(keyCode) : usKeyName(keyCode); };
}

bool AppDelegate::canPresent() const {
    return !capturing_ && !configuring_ && !editor_ && !longScreenshotRunning_;
}

void AppDelegate::menuWillOpen() {
    // A menu item has no mixed state: approval pending shows as on, which the
    // toggle then turns off.
    loginMenuItem_->setChecked(loginMenuState(appServices_->loginItemStatus()) != Qt::Unchecked);
    autoUpdateMenuItem_->setChecked(
        readBool(QSettings(), QStringLiteral("automaticUpdateChecks"), true));
    writeMenuDiagnostics(*menu_);
}

void AppDelegate::takeScreenshot() {
    if (capturing_ || configuring_ || longScreenshotRunning_)
        return;
    if (editor_) {
        if (editor_->isSaving())
            return;
        capturing_ = true;
        for (QWidget* overlay : editor_->overlays())
            overlay->hide();
    } else {
        capturing_ = true;
    }
    // An alert open now goes first; it comes back when the capture is over.
    const bool putAway = presentedAlert_ && presentedAlert_->isVisible();
    if (putAway) {
        alertPutAway_ = true;
        presentedAlert_->done(-1);
    }
    if (!offerAccessibility())
        return;
    const bool menuJustClosed = menuClosed_.isValid() && menuClosed_.elapsed() < 500;
    hideApplication();
    const bool settle = menuJustClosed || putAway || !hiddenWindows_.empty() || editor_;
    QTimer::singleShot(settle ? settleDelayMs : 0, this, &AppDelegate::captureNow);
}

bool AppDelegate::offerAccessibility() {
    // Once: what enabling desktop accessibility adds to region detection.
    const QString shownKey = QStringLiteral("childRegionPermissionGuideShown");
    QSettings settings;
    if (!platform_.accessibility->usable() || readBool(settings, shownKey, false) ||
        platform_.accessibility->isTrusted())
        return true;
    auto guide = ChildRegionPermissionGuide::alert(shortcut_.label);
    const int choice = alert(*guide);
    settings.setValue(shownKey, true);
    if (choice != 0)
        return true;
    retireEditor();
    capturing_ = false;
    if (auto refused = ChildRegionPermissionGuide::openSettings(*platform_.accessibility))
        alert(*refused);
    return false;
}

void AppDelegate::captureNow() {
    std::vector<ScreenSnapshot> snapshots;
    try {
        CaptureOptions options;
        options.ownPid = QCoreApplication::applicationPid();
        options.scale = platform_.scale;
        options.usingAccessibility = platform_.accessibility->usable();
        options.accessibility = platform_.accessibility;
        snapshots = captureScreens(*platform_.screens, *platform_.windows, options);
    } catch (const Error& error) {
        captureFailed(error);
        return;
    }
    captureSucceeded(std::move(snapshots));
}

void AppDelegate::captureSucceeded(std::vector<ScreenSnapshot> snapshots) {
    capturing_ = false;
    writeSnapshotDiagnostics(snapshots);
    retireEditor();
    // Kept for converting pin frames; the image is shared, not copied.
    const ScreenSnapshot reference = snapshots.empty() ? ScreenSnapshot{} : snapshots.front();
    std::unique_ptr<CaptureEditor> next = makeEditor_ ? makeEditor_(std::move(snapshots)) : nullptr;
    unhideApplication();
    if (!next) {
        forgetQueuedPresses();
        return;
    }
    const quint64 serial = ++editorSerial_;
    QPointer<AppDelegate> self(this);
    next->onPin = [self, reference](const QByteArray& png, const QRectF& frame) {
        if (!self)
            return false;
        const QImage image = decodedPng(png);
        return !image.isNull() &&
               self->showPin(png, image, pinFrame(frame, image.size(), reference));
    };
    next->onLongCapture = [self](const QRectF& frame, const QRectF& region) {
        return self && self->startLongScreenshot(frame, region);
    };
    next->onClose = [self, serial] {
        QTimer::singleShot(0, self, [self, serial] {
            // A late close of an older editor never clears a newer one.
            if (self && self->editor_ && self->editorSerial_ == serial)
                self->retireEditor();
        });
    };
    editor_ = std::move(next);
    editor_->showWindow();
    forgetQueuedPresses();
}

bool AppDelegate::startLongScreenshot(const QRectF& frame, const QRectF& region) {
    if (longScreenshot_ || !platform_.openWindowStream)
        return false;
    LongCaptureServices services;
    services.windows = platform_.windows.get();
    services.openStream = platform_.openWindowStream;
    services.keys = platform_.keyTap.get();
    services.scrolls = platform_.scrolls.get();
    services.canScroll = platform_.capabilities.syntheticScroll;
    services.history = &ScreenshotHistory::shared();
    services.ownPid = QCoreApplication::applicationPid();
    const std::vector<Display> displays = platform_.screens->displays();
    services.layout = desktopLayout(displays, platform_.scale);
    services.primaryTop = primaryTop(displays, services.layout);
    auto capture = std::make_unique<LongScreenshot>(frame, region, std::move(services));
    QPointer<AppDelegate> self(this);
    capture->onFinish = [self](const QImage& image) {
        if (self)
            self->showResult(image, QStringLiteral("长截图"));
    };
    capture->onPin = [self](const QByteArray& png) {
        return self && self->showPin(png, std::nullopt);
    };
    capture->onClose = [self] {
        QTimer::singleShot(0, self, [self] {
            if (!self)
                return;
            self->longScreenshot_.reset();
            self->setLongScreenshotRunning(false);
            self->scheduleHeapTrim();
        });
    };
    longScreenshot_ = std::move(capture);
    setLongScreenshotRunning(true);
    QTimer::singleShot(0, longScreenshot_.get(), &LongScreenshot::start);
    return true;
}

void AppDelegate::captureFailed(const Error& error) {
    capturing_ = false;
    forgetQueuedPresses();
    unhideApplication();
    auto box = ScreenCaptureFailure::alert(error, !platform_.screens->accessGranted());
    alert(*box);
    if (editor_)
        editor_->showWindow();
}

void AppDelegate::forgetQueuedPresses() {
    // Presses made while the screens were frozen are no new request.
    if (platform_.hotKeys)
        platform_.hotKeys->discardQueuedPresses();
}

void AppDelegate::retireEditor() {
    if (!editor_)
        return;
    std::unique_ptr<CaptureEditor> old = std::move(editor_);
    old->onClose = nullptr;
    old->close();
    // Destroyed outside the caller's stack: the editor may be inside its own
    // event handling right now.
    QTimer::singleShot(0, this, [old = std::shared_ptr<CaptureEditor>(std::move(old))] {});
    scheduleHeapTrim();
}

void AppDelegate::scheduleHeapTrim() {
    // After the deferred deletions above: their pixels are free by then.
    QTimer::singleShot(0, this, [] { returnFreeHeapMemory(); });
}

void AppDelegate::hideApplication() {
    hiddenWindows_.clear();
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && !(w->windowFlags() & Qt::Popup)) {
            hiddenWindows_.emplace_back(w);
            w->hide();
        }
    }
}

void AppDelegate::unhideApplication() {
    for (const QPointer<QWidget>& w : hiddenWindows_) {
        if (w)
            w->show();
    }
    hiddenWindows_.clear();
}

bool AppDelegate::showPin(const QByteArray& png, std::optional<QRectF> frame) {
    return showPin(png, decodedPng(png), frame);
}

bool AppDelegate::showPin(const QByteArray& png, const QImage& image, std::optional<QRectF> frame) {
    if (image.isNull())
        return false;
    if (!frame) {
        const QScreen* screen = QGuiApplication::primaryScreen();
        frame =
            pinPlacement(image.size(), screen ? std::optional(QRectF(screen->availableGeometry()))
                                              : std::nullopt);
    }
    std::unique_ptr<PinnedImage> pin = PinnedImage::create(png, image, *frame);
    if (!pin)
        return false;
    const QUuid id = QUuid::createUuid();
    QPointer<AppDelegate> self(this);
    pin->onClose = [self, id] {
        // Released later: the pin is inside its own close handling now.
        QTimer::singleShot(0, self, [self, id] {
            if (self && self->pinnedImages_.erase(id))
                self->writePins();
        });
    };
    PinnedImage* shown = pin.get();
    pinnedImages_.emplace(id, std::move(pin));
    // A pin stays in view when the user switches desktops. Without a
    // compositor it has no shadow, and a border tells it from the screen.
    if (platform_.windowHints) {
        platform_.windowHints->showOnAllDesktops(shown->window()->winId());
        shown->view()->setFramed(!platform_.windowHints->compositing());
    }
    shown->showWindow();
    writePins();
    return true;
}

bool AppDelegate::showPinAtPointer(const QByteArray& png, const QImage& image) {
    if (image.isNull())
        return false;
    const QScreen* screen = QGuiApplication::screenAt(QCursor::pos());
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return showPin(
        png, image,
        pinPlacement(image.size(),
                     screen ? std::optional(QRectF(screen->availableGeometry())) : std::nullopt));
}

void AppDelegate::writePins() const {
    std::vector<QRect> geometries;
    for (const auto& [id, pin] : pinnedImages_) {
        if (auto* p = qobject_cast<PinnedImage*>(pin.get()); p && p->window())
            geometries.push_back(p->window()->geometry());
    }
    writePinDiagnostics(geometries);
}

bool AppDelegate::registerShortcut(quint32 keyCode, quint32 modifiers) {
    if (hotKey_ && keyCode == shortcut_.keyCode && modifiers == shortcut_.modifiers)
        return true;
    HotKeys* keys = platform_.hotKeys.get();
    if (!keys || !keys->registerHotKey(keyCode, modifiers))
        return false;
    hotKey_ = true;
    return true;
}

void AppDelegate::configureShortcut() {
    if (configuring_ || capturing_)
        return;
    configuring_ = true;
    unhideApplication();
    HotKeys* keys = platform_.hotKeys.get();
    const auto keyCodeOf = [keys](const QKeyEvent& event) -> std::optional<quint32> {
        // Platforms without native key symbols still give Latin keys as Qt
        // keys, whose values are the symbols' upper-case forms.
        const quint32 keysym = event.nativeVirtualKey() ? event.nativeVirtualKey()
                               : event.key() < 0x7f     ? quint32(event.key())
                                                        : 0;
        if (keys)
            return keys->keyCodeForKey(event.nativeScanCode(), keysym);
        return keyCodeForKeysym(keysym);
    };
    ShortcutDialog dialog(shortcut_, keyCodeOf, keyNames());
    const std::optional<CaptureShortcut> chosen = dialog.result(alert(dialog.box()));
    if (chosen) {
        if (registerShortcut(chosen->keyCode, chosen->modifiers)) {
            shortcut_ = *chosen;
            QSettings settings;
            shortcut_.store(settings);
            captureMenuItem_->setText(captureTitle(shortcut_));
        } else {
            QMessageBox box(QMessageBox::Warning, QStringLiteral("Korvel"),
                            QStringLiteral("Korvel"));
            box.setInformativeText(QStringLiteral("无法注册 ") + chosen->label +
                                   QStringLiteral("，请换一个组合键。原快捷键保持不变。"));
            box.addButton(QStringLiteral("知道了"), QMessageBox::AcceptRole);
            alert(box);
        }
    }
    configuring_ = false;
}
void AppDelegate::openPreferences() {
    if (!preferencesWindow_)
        preferencesWindow_ =
            std::make_unique<CapturePreferencesWindow>(ScreenshotHistory::shared());
    preferencesWindow_->showWindow();
}

void AppDelegate::openHistory() {
    if (!historyWindow_) {
        historyWindow_ = std::make_unique<ScreenshotHistoryWindow>(ScreenshotHistory::shared());
        QPointer<AppDelegate> self(this);
        historyWindow_->onEdit = [self](const QByteArray& png) {
            const QImage image = decodedPng(png);
            if (self && !image.isNull())
                self->showResult(image, QStringLiteral("历史截图"));
        };
        historyWindow_->onPin = [self](const QByteArray& png) {
            if (self)
                self->showPin(png, std::nullopt);
        };
    }
    historyWindow_->showWindow();
}

void AppDelegate::showResult(const QImage& image, const QString& title) {
    if (image.isNull())
        return;
    QPointer<AppDelegate> self(this);
    auto result = std::make_unique<LongScreenshotResult>(
        image, title,
        [self](const QByteArray& png) { return self && self->showPin(png, std::nullopt); },
        resultServices);
    const QUuid id = QUuid::createUuid();
    result->onClose = [self, id] {
        // Released later: the window is inside its own close handling.
        QTimer::singleShot(0, self, [self, id] {
            if (self)
                self->longResults_.erase(id);
        });
    };
    LongScreenshotResult* window = result.get();
    longResults_.emplace(id, std::move(result));
    window->showWindow();
}

std::vector<LongScreenshotResult*> AppDelegate::resultWindows() const {
    std::vector<LongScreenshotResult*> windows;
    for (const auto& [id, window] : longResults_) {
        if (auto* result = qobject_cast<LongScreenshotResult*>(window.get()))
            windows.push_back(result);
    }
    return windows;
}
void AppDelegate::toggleLogin() {
    appServices_->toggleLoginItem();
}

void AppDelegate::checkUpdates() {
    appServices_->check(true);
}

void AppDelegate::openChangelog() {
    appServices_->openUrl(appServices_->changelog());
}

void AppDelegate::toggleAutomaticUpdates() {
    QSettings settings;
    const bool current = readBool(settings, QStringLiteral("automaticUpdateChecks"), true);
    settings.setValue(QStringLiteral("automaticUpdateChecks"), !current);
}

} // namespace korvel
