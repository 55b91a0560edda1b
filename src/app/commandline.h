#pragma once

#include <QStringList>

namespace korvel {

enum class Mode {
    longLiveCheck,
    regionCheck,
    accessibilityStatus,
    mosaicBrushCheck,
    checkUpdateFeed,
    selfTest,
    normal,
};

struct Dispatch {
    Mode mode = Mode::normal;
    QStringList arguments; // the four that follow "--long-live-check"
    qint32 pid = 0;        // "--region-check"
    double x = 0;
    double y = 0;
};

// Options match whole arguments anywhere in the list; the first mode in the
// order of Mode whose option is present (with its arguments) wins.
Dispatch dispatch(const QStringList& arguments);

} // namespace korvel
