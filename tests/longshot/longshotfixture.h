#pragma once

// For the long capture's window tests: a history in a folder of their own, the clipboard's PNG.
#include "../capture/testevents.h"
#include "history/screenshothistory.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QClipboard>
#include <QMimeData>
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

} // namespace korvel
