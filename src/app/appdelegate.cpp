#include "appdelegate.h"

#include "appservices.h"
#include "capturepreferences.h"
#include "diagnostics.h"
#include "history/screenshothistory.h"
#include "history/screenshothistorywindow.h"
#include "longshot/longscreenshot.h"
#include "ocr/textrecognitionwindow.h"
#include "platform/pngcheck.h"
#include "settingsvalues.h"

#include <QAction>
#include <QApplication>
#include <QCursor>
#include <QEventLoop>
#include <QIcon>
#include <QKeyEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QPixmap>
#include <QSettings>
#include <QSvgRenderer>
#include <QSystemTrayIcon>
#include <QTimer>
#include <QUndoStack>

#include <utility>

namespace korvel {
namespace {

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
