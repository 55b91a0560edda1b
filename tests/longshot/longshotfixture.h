#pragma once

// Set-up shared by the long capture's window tests: a history in a folder of
// the test's own, the clipboard's PNG, and drags sent as real mouse events.
#include "history/screenshothistory.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
#include <QMouseEvent>
#include <QSettings>
#include <QTemporaryDir>

namespace korvel {

struct HistoryTest : ::testing::Test {
    QTemporaryDir dir;
    std::unique_ptr<ScreenshotHistory> history = std::make_unique<ScreenshotHistory>(
        dir.filePath(QStringLiteral("History")), [] { return std::make_unique<QSettings>(); });

    // After the windows of the derived fixture are gone.
    ~HistoryTest() override { history->waitForIdle(); }
    int entries() {
        history->waitForIdle();
        return int(history->entries().size());
    }
    static QImage clipboardImage() {
        return QImage::fromData(
            QGuiApplication::clipboard()->mimeData()->data(QStringLiteral("image/png")), "PNG");
    }
};

// A left-button drag from `from` to `to` by way of the middle.
inline void drag(QWidget* target, QPointF from, QPointF to) {
    const auto send = [&](QEvent::Type type, QPointF p, Qt::MouseButtons held) {
        QMouseEvent e(type, p, target->mapToGlobal(p), Qt::LeftButton, held, Qt::NoModifier);
        QApplication::sendEvent(target, &e);
    };
    send(QEvent::MouseButtonPress, from, Qt::LeftButton);
    send(QEvent::MouseMove, (from + to) / 2, Qt::LeftButton);
    send(QEvent::MouseMove, to, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, to, Qt::NoButton);
}

} // namespace korvel
