#pragma once

#include <QByteArray>
#include <QFileDialog>

#include <memory>
#include <optional>

namespace korvel::ScreenshotExport {

// "截图-<Unix seconds>.png"
QString proposedFileName(qint64 unixSeconds);

// The save dialog, configured and not yet shown: opens in the last folder
// saved to when it still exists.
std::unique_ptr<QFileDialog> savePanel();

// Writes the bytes atomically; on success remembers the folder in
// "lastSaveDirectory" (not during the self-test). Returns the error text on
// failure, when nothing is remembered.
std::optional<QString> writePng(const QByteArray& png, const QString& path);

} // namespace korvel::ScreenshotExport
