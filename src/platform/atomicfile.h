#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korvel {

// Writes `data` to `path` so that a reader, or a crash at any moment, sees
// either the old file or the complete new one: a temporary file in the same
// folder is written, flushed to disk and renamed over the target. The file
// gets `mode` whatever the umask. Returns the error text on failure, when the
// target is untouched and no temporary file is left behind.
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& data,
                                           unsigned mode = 0600);

} // namespace korvel
