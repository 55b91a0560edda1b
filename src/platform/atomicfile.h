#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

namespace korvel {

// Writes `data` to `path` so that a reader, or a crash at any moment, sees
// either the old file or the complete new one: a temporary file in the same
// folder is written, flushed to disk and renamed over the target. Without
// `mode` a new file follows the umask and a replaced one keeps its mode; a
// file with other hard links is rewritten in place, so that the links keep
// seeing it, and a link is followed to the file it names. Returns the error
// text on failure, when the target is untouched and no temporary file is
// left behind.
std::optional<QString> writeFileAtomically(const QString& path, const QByteArray& data,
                                           std::optional<unsigned> mode = std::nullopt);

// Whether a file name is what a write killed half way leaves behind:
// ".<target name>.XXXXXX".
bool isAtomicWriteLeftover(const QString& fileName);

} // namespace korvel
