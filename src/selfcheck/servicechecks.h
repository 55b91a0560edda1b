#pragma once

#include "checksupport.h"

namespace korvel::selfcheck {

// Checks of the stores, rules and engines behind the interface.

// Recordings in a private temporary folder (never the user's history) are
// listed newest first under their names, read back byte for byte and
// decoded as thumbnails; a damaged PNG is refused.
Failure checkHistory();
// The update feed rules accept a valid release and refuse one whose
// package lies elsewhere, and a body that is no release.
Failure checkUpdateFeed();
// A short English and a short Chinese line drawn with QPainter are read
// back by the text recogniser. Fails with the recogniser's own message when
// its language data is missing.
Failure checkTextRecognition();
// Shortcut labels of key presses, key codes to X keysyms and back,
// modifier masks to X masks and back, and stored shortcuts loaded again.
Failure checkShortcut();

} // namespace korvel::selfcheck
