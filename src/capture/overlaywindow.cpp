#include "overlaywindow.h"

#include "platform/windowhints.h"

#include <QGuiApplication>
#include <QScreen>
#include <QUndoStack>
#include <QVBoxLayout>

#include <algorithm>
#include <utility>

namespace korvel {

OverlayWindow::OverlayWindow(ScreenSnapshot snapshot)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                           Qt::X11BypassWindowManagerHint)
    , edits_(new QUndoStack(this)) {
    setWindowTitle(QStringLiteral("Korvel"));
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    showSnapshot(std::move(snapshot));
}

void OverlayWindow::showSnapshot(ScreenSnapshot snapshot) {
    const QRect geometry = QRectF(snapshot.screenOrigin, snapshot.frame.size()).toAlignedRect();
    delete view_;
    view_ = new SelectionView(std::move(snapshot), this);
    layout()->addWidget(view_);
    setGeometry(geometry);
    setFocusProxy(view_);
}

void OverlayWindow::present() {
    if (!compositorPlacesWindows()) {
        show();
        return;
    }
    // Qt keeps the geometry as its idea of where the window is, so global
    // positions of events still follow the layout.
    const QRect area = geometry();
    if (QScreen* screen = QGuiApplication::screenAt(area.center()))
        setScreen(screen);
    setGeometry(area);
    showFullScreen();
}

namespace {

struct KeptOverlays {
    bool reuse = false;
    std::vector<OverlayWindow*> windows;
};

KeptOverlays& kept() {
    static KeptOverlays store;
    return store;
}

} // namespace

OverlayWindow* OverlayWindow::obtain(ScreenSnapshot snapshot) {
    std::vector<OverlayWindow*>& windows = kept().windows;
    const QRect geometry = QRectF(snapshot.screenOrigin, snapshot.frame.size()).toAlignedRect();
    const auto same = std::find_if(windows.begin(), windows.end(),
                                   [&](OverlayWindow* w) { return w->geometry() == geometry; });
    if (same == windows.end())
        return new OverlayWindow(std::move(snapshot));
    OverlayWindow* window = *same;
    windows.erase(same);
    window->showSnapshot(std::move(snapshot));
    return window;
}

void OverlayWindow::giveBack(OverlayWindow* window) {
    if (!window)
        return;
    KeptOverlays& store = kept();
    const bool taken =
        std::any_of(store.windows.begin(), store.windows.end(),
                    [&](OverlayWindow* w) { return w->geometry() == window->geometry(); });
    if (!store.reuse || taken) {
        delete window;
        return;
    }
    window->hide();
    window->edits_->clear();
    // The frozen pixels and the marks go now; only the window and its
    // backing store stay.
    delete window->view_;
    window->view_ = nullptr;
    store.windows.push_back(window);
}

void OverlayWindow::setReuse(bool reuse) {
    kept().reuse = reuse;
    if (!reuse)
        releaseKept();
}

void OverlayWindow::releaseKept() {
    for (OverlayWindow* window : std::exchange(kept().windows, {}))
        delete window;
}

} // namespace korvel
