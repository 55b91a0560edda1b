#pragma once

#include <QByteArray>
#include <QString>

namespace korvel {

// The desktop clipboard. The application keeps owning the X selection after
// the window that copied closes, so other programs can still paste.
namespace Clipboard {

// Clears the clipboard and offers the PNG bytes as "image/png" together with
// the decoded image for programs that ask for other image types. Returns
// whether the clipboard took them.
bool copyPng(const QByteArray& png);
bool copyText(const QString& text);

} // namespace Clipboard
} // namespace korvel
