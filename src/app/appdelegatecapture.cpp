// The capture's lifecycle in the delegate: starting one, handing its
// snapshots to an editor or a long capture, and what follows its end.
#include "appdelegate.h"

#include "capture/capturefailure.h"
#include "capture/childregionpermissionguide.h"
#include "capture/screencapture.h"
#include "capturepreferences.h"
#include "diagnostics.h"
#include "history/screenshothistory.h"
#include "longshot/longscreenshot.h"
#include "platform/error.h"
#include "platform/heapmemory.h"
#include "platform/pngcheck.h"
#include "settingsvalues.h"

#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QTimer>

namespace korvel {
namespace {

// Without a compositor, windows under a menu that just closed repaint a moment
// later; a capture taken at once would freeze the menu's shadow.
constexpr int settleDelayMs = 150;

} // namespace

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
    services.noScrollReason = platform_.noScrollReason;
    services.history = &ScreenshotHistory::shared();
    services.ownPid = QCoreApplication::applicationPid();
    const std::vector<Display> displays = platform_.screens->displays();
    services.layout = desktopLayout(displays, platform_.scale);
    services.primaryTop = primaryTop(displays, services.layout);
    services.displayScale = displayScale(*platform_.screens, displays, services.layout, frame);
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
    // Dismissed at the desktop's own dialog: nothing to tell.
    if (error.code() == ScreenSource::cancelled) {
        if (editor_)
            editor_->showWindow();
        return;
    }
    auto box = ScreenCaptureFailure::alert(error, !platform_.screens->accessGranted(),
                                           platform_.screens->accessSetting());
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

} // namespace korvel
