#pragma once

#include <QByteArray>
#include <QFileDialog>

#include <memory>
#include <optional>

namespace korvel {
class ScreenshotHistory;
}

namespace korvel::ScreenshotExport {

// "截图-<Unix seconds>.png"
QString proposedFileName(qint64 unixSeconds);

// The save dialog, configured and not yet shown: opens in the last folder
// saved to when it still exists, else in the pictures folder. A name typed
// with another extension gets ".png" appended.
std::unique_ptr<QFileDialog> savePanel();

// Writes the bytes atomically; on success remembers the folder in
// "lastSaveDirectory" (not during the self-test). On failure returns the
// alert's text ("保存失败", the file name and the reason) and remembers
// nothing.
std::optional<QString> writePng(const QByteArray& png, const QString& path);

// What every window's "复制" does with the final PNG: onto the clipboard
// and, only when the clipboard took it, into the history. Returns whether the
// copy happened.
bool copy(const QByteArray& png, ScreenshotHistory& history);

// What "保存" does once a file was chosen: the atomic write and, on success,
// the history record. Returns the error text on failure.
std::optional<QString> save(const QByteArray& png, const QString& path, ScreenshotHistory& history);

} // namespace korvel::ScreenshotExport
